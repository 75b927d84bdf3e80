#pragma once

#include "links/snmp/SearchRange.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <optional>

// The network link settings, the texts as Link.ini stores them. Section "SNMPv3" also holds the
// key "Version", which is always written empty and never read.
struct LinkSettings {
    QString ip;             // "IPAdress"/"IP": first address of the search range, dotted
    QString endIp;          // "IPAdress"/"EndIP": last octet of the range's last address, as typed
    QString readCommunity;  // "Community"/"Read"
    QString writeCommunity; // "Community"/"Set"
    QString user;           // "SNMPv3"/"User"
    QString authPassword;   // "SNMPv3"/"AuthPassword"
    QString privPassword;   // "SNMPv3"/"PrivPassword"
    // Not stored: every run starts with the communities.
    bool useV3 = false;

    ParsedRange range() const { return SearchRange::fromSettings(ip, endIp); }

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
// Only a regular file of at most SizeLimit bytes is read or rewritten, and a symbolic link is
// never followed: the folder may be one that others can write. Writing keeps the file safe: the
// new content goes to a temporary file beside it, which then replaces the old one, so a failure
// leaves the old file as it was. As the file holds pass phrases, the file written is always
// this user's and readable by this user only, whatever the old one was; another user's file is
// left alone.
class LinkIni
{
public:
    static constexpr qint64 SizeLimit = 64 * 1024;

    explicit LinkIni(QString path) : path_(std::move(path)) {}

    // Link.ini in the current working directory at the moment of the call.
    static LinkIni inWorkingDirectory();

    const QString& path() const { return path_; }

    // One value; a missing file, section or key reads as empty text, and so does a file that
    // cannot be read, whose reason goes to *problem when given.
    QString value(const QString& section, const QString& key,
                  std::optional<QString>* problem = nullptr) const;
    // All seven values at once, as value() reads them.
    LinkSettings read(std::optional<QString>* problem = nullptr) const;

    // Stores the settings, keeping every other byte of an existing file. Returns the reason
    // when the file could not be written; the file is then unchanged.
    std::optional<QString> write(const LinkSettings& settings) const;

private:
    QString path_;
};
