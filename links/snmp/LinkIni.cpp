#include "links/snmp/LinkIni.h"

#include "core/RegularFile.h"

#include <QDir>
#include <QStringDecoder>

#include <algorithm>

namespace
{

struct Entry {
    const char* section;
    const char* key;
    QString LinkSettings::*field; // null: written empty, never read
};

// The file's keys in the order a new file lists them.
const Entry Entries[] = {
    {"IPAdress", "IP", &LinkSettings::ip},
    {"IPAdress", "EndIP", &LinkSettings::endIp},
    {"Community", "Read", &LinkSettings::readCommunity},
    {"Community", "Set", &LinkSettings::writeCommunity},
    {"SNMPv3", "Version", nullptr},
    {"SNMPv3", "User", &LinkSettings::user},
    {"SNMPv3", "AuthPassword", &LinkSettings::authPassword},
    {"SNMPv3", "PrivPassword", &LinkSettings::privPassword},
};

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

QByteArrayView trimmed(QByteArrayView text)
{
    while (!text.isEmpty() && isBlank(text.front()))
        text = text.sliced(1);
    while (!text.isEmpty() && isBlank(text.back()))
        text.chop(1);
    return text;
}

bool isQuote(char c)
{
    return c == '"' || c == '\'';
}

bool quoted(QByteArrayView text)
{
    return text.size() >= 2 && isQuote(text.front()) && text.front() == text.back();
}

bool sameName(QByteArrayView a, QByteArrayView b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

// One line of the file: [begin, end) is its text without the line end, next the following line.
struct Line {
    enum class Kind { Other, Section, Key };
    qsizetype begin = 0;
    qsizetype end = 0;
    qsizetype next = 0;
    Kind kind = Kind::Other;
    QByteArrayView name;
    qsizetype valueBegin = 0; // the value without its surrounding blanks
    qsizetype valueEnd = 0;
    bool blank = true;
};

Line parseLine(const QByteArray& bytes, qsizetype begin)
{
    Line line;
    line.begin = begin;
    qsizetype newline = bytes.indexOf('\n', begin);
    line.next = newline < 0 ? bytes.size() : newline + 1;
    line.end = newline < 0 ? bytes.size() : newline;
    if (line.end > begin && bytes[line.end - 1] == '\r')
        --line.end;

    const QByteArrayView text(bytes.constData() + begin, line.end - begin);
    const QByteArrayView content = trimmed(text);
    line.blank = content.isEmpty();
    if (line.blank || content.front() == ';')
        return line;
    if (content.front() == '[') {
        const qsizetype close = content.lastIndexOf(']');
        if (close > 0) {
            line.kind = Line::Kind::Section;
            line.name = trimmed(content.sliced(1, close - 1));
        }
        return line;
    }
    const qsizetype equals = text.indexOf('=');
    if (equals < 0 || trimmed(text.first(equals)).isEmpty())
        return line;
    line.kind = Line::Kind::Key;
    line.name = trimmed(text.first(equals));
    line.valueBegin = begin + equals + 1;
    line.valueEnd = line.end;
    while (line.valueBegin < line.valueEnd && isBlank(bytes[line.valueBegin]))
        ++line.valueBegin;
    while (line.valueEnd > line.valueBegin && isBlank(bytes[line.valueEnd - 1]))
        --line.valueEnd;
    return line;
}

// Where a key sits: its line, or else the last non-blank line of its section.
struct Place {
    std::optional<Line> key;
    std::optional<Line> sectionEnd;
};

Place find(const QByteArray& bytes, QByteArrayView section, QByteArrayView key)
{
    Place place;
    bool inSection = false;
    for (qsizetype at = 0; at < bytes.size();) {
        const Line line = parseLine(bytes, at);
        at = line.next;
        if (line.kind == Line::Kind::Section) {
            if (inSection)
                break; // only the first section of that name counts
            inSection = sameName(line.name, section);
            if (inSection)
                place.sectionEnd = line;
            continue;
        }
        if (!inSection)
            continue;
        if (line.kind == Line::Kind::Key && sameName(line.name, key)) {
            place.key = line;
            break;
        }
        if (!line.blank)
            place.sectionEnd = line;
    }
    return place;
}

// A value as written: one line, and in quotes when its blanks or quotes would otherwise be lost
// on reading.
QByteArray stored(QByteArrayView value)
{
    QByteArray text = value.toByteArray();
    text.replace('\r', ' ').replace('\n', ' ');
    if (!text.isEmpty() && (isBlank(text.front()) || isBlank(text.back()) || quoted(text)))
        return '"' + text + '"';
    return text;
}

QString decode(const QByteArray& bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = utf8(bytes);
    return utf8.hasError() ? QString::fromLatin1(bytes) : text;
}

regularfile::Content readFile(const QString& path)
{
    return regularfile::read(path, LinkIni::SizeLimit, regularfile::Links::Refuse);
}

QByteArray bytesOf(const QString& path, std::optional<QString>* problem)
{
    regularfile::Content content = readFile(path);
    if (problem)
        *problem = content.problem;
    return content.bytes;
}

} // namespace

QByteArray IniText::value(QByteArrayView section, QByteArrayView key) const
{
    const Place place = find(bytes_, section, key);
    if (!place.key)
        return {};
    QByteArrayView text(bytes_.constData() + place.key->valueBegin,
                        place.key->valueEnd - place.key->valueBegin);
    if (quoted(text))
        text = text.sliced(1, text.size() - 2);
    qsizetype size = std::min<qsizetype>(text.size(), ValueLimit);
    // A cut inside a UTF-8 character drops the whole character.
    const auto continuation = [&](qsizetype at) { return (uchar(text[at]) & 0xC0) == 0x80; };
    if (size < text.size() && continuation(size)) {
        qsizetype lead = size - 1;
        while (lead > size - 4 && lead > 0 && continuation(lead))
            --lead;
        if ((uchar(text[lead]) & 0xC0) == 0xC0)
            size = lead;
    }
    return text.first(size).toByteArray();
}

void IniText::setValue(QByteArrayView section, QByteArrayView key, QByteArrayView value)
{
    const Place place = find(bytes_, section, key);
    const QByteArray eol = lineEnd();
    const QByteArray keyLine = key.toByteArray() + '=' + stored(value);
    if (place.key) {
        bytes_.replace(place.key->valueBegin, place.key->valueEnd - place.key->valueBegin, stored(value));
    } else if (place.sectionEnd) {
        const Line& last = *place.sectionEnd;
        // The file's last line has no line end yet (a lone carriage return is none either).
        if (last.next == bytes_.size() && !bytes_.endsWith('\n'))
            bytes_.insert(last.next, eol + keyLine);
        else
            bytes_.insert(last.next, keyLine + eol);
    } else {
        if (!bytes_.isEmpty() && !bytes_.endsWith('\n'))
            bytes_ += eol;
        bytes_ += '[' + section.toByteArray() + ']' + eol + keyLine + eol;
    }
}

QByteArray IniText::lineEnd() const
{
    const qsizetype newline = bytes_.indexOf('\n');
    return newline > 0 && bytes_[newline - 1] == '\r' ? QByteArrayLiteral("\r\n") : QByteArrayLiteral("\n");
}

LinkIni LinkIni::inWorkingDirectory()
{
    return LinkIni(QDir::current().filePath(QStringLiteral("Link.ini")));
}

QString LinkIni::value(const QString& section, const QString& key, std::optional<QString>* problem) const
{
    return decode(IniText(bytesOf(path_, problem)).value(section.toUtf8(), key.toUtf8()));
}

LinkSettings LinkIni::read(std::optional<QString>* problem) const
{
    const IniText text(bytesOf(path_, problem));
    LinkSettings settings;
    for (const Entry& entry : Entries)
        if (entry.field)
            settings.*entry.field = decode(text.value(entry.section, entry.key));
    return settings;
}

std::optional<QString> LinkIni::write(const LinkSettings& settings) const
{
    const regularfile::Content old = readFile(path_);
    if (old.problem)
        return old.problem;

    IniText text(old.bytes);
    for (const Entry& entry : Entries)
        text.setValue(entry.section, entry.key,
                      entry.field ? (settings.*entry.field).toUtf8() : QByteArray());
    if (text.bytes().size() > SizeLimit)
        return QStringLiteral("it would grow larger than %1").arg(regularfile::sizeText(SizeLimit));
    // An unchanged file is left alone unless others may read it.
    if (!old.missing && text.bytes() == old.bytes && (old.mode & 077) == 0)
        return std::nullopt;
    return regularfile::replace(path_, text.bytes());
}
