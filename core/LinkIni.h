#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <optional>

// The network link settings as Link.ini stores them. Section "SNMPv3" also holds the key
// "Version", which is always written empty and never read.
struct LinkSettings {
    QString ip;             // "IPAdress"/"IP": first address of the search range, dotted
    QString endIp;          // "IPAdress"/"EndIP": last octet of the range's last address, as typed
    QString readCommunity;  // "Community"/"Read"
    QString writeCommunity; // "Community"/"Set"
    QString user;           // "SNMPv3"/"User"
    QString authPassword;   // "SNMPv3"/"AuthPassword"
    QString privPassword;   // "SNMPv3"/"PrivPassword"

    bool operator==(const LinkSettings&) const = default;
};

// The bytes of an initialisation file, read and changed with the rules of Windows profile
// files, so that a file written by another program reads the same and keeps its layout:
// - a line "[name]" starts a section; "key=value" lines belong to the section above them;
//   lines starting with ";" are comments;
// - section and key names match without regard to case; blanks around names and values are
//   ignored; a value in matching quotes ('...' or "...") loses them;
// - the first matching section, and in it the first matching key, win;
// - a value reads as at most ValueLimit bytes.
// Changing a value replaces only that value's bytes; a missing key is added after the last
// line of its section, a missing section at the end. Added lines end like the file's lines.
class IniText
{
public:
    static constexpr int ValueLimit = 259;

    explicit IniText(QByteArray bytes = {}) : bytes_(std::move(bytes)) {}

    // The value's bytes; empty when the section or key is missing.
    QByteArray value(QByteArrayView section, QByteArrayView key) const;
    void setValue(QByteArrayView section, QByteArrayView key, QByteArrayView value);

    const QByteArray& bytes() const { return bytes_; }

private:
    QByteArray lineEnd() const;

    QByteArray bytes_;
};

// Link.ini: the network link settings, kept across runs. Texts are stored as UTF-8; a value
// that is not valid UTF-8 (written by another program in a Windows code page) reads as Latin-1.
//
// Writing keeps the file safe: the new content goes to a temporary file beside it, which then
// replaces the old one, so a failure leaves the old file as it was. A new file is readable by
// its owner only, as it holds pass phrases; an existing one keeps its permissions.
class LinkIni
{
public:
    explicit LinkIni(QString path) : path_(std::move(path)) {}

    // Link.ini in the current working directory at the moment of the call.
    static LinkIni inWorkingDirectory();

    const QString& path() const { return path_; }

    // One value; a missing file, section or key reads as empty text.
    QString value(const QString& section, const QString& key) const;
    // All seven values at once.
    LinkSettings read() const;

    // Stores the settings, keeping every other byte of an existing file. Returns the reason
    // when the file could not be written; the file is then unchanged.
    std::optional<QString> write(const LinkSettings& settings) const;

private:
    QString path_;
};
