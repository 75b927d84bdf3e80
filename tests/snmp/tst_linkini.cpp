#include "OrdinaryUser.h"
#include "links/snmp/LinkIni.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

// Link.ini as other programs meet it: the bytes written and what reads back from given bytes.
class tst_LinkIni : public QObject
{
    Q_OBJECT

    // A folder of its own for every test and row, so that nothing a failed one leaves behind
    // (a folder named Link.ini, say) reaches the next.
    std::unique_ptr<QTemporaryDir> dir_;

    QString path() const { return dir_->filePath(QStringLiteral("Link.ini")); }

    void putFile(const QByteArray& bytes) const
    {
        QFile file(path());
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(bytes);
    }

    QByteArray fileBytes() const
    {
        QFile file(path());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    static int mode(const QString& path)
    {
        struct stat st = {};
        return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 07777) : -1;
    }

    static LinkSettings settings()
    {
        return {QStringLiteral("192.168.1.20"), QStringLiteral("30"),    QStringLiteral("public"),
                QStringLiteral("private"),      QStringLiteral("admin"), QStringLiteral("authpass1"),
                QStringLiteral("privpass1")};
    }

private slots:
    void init() { dir_ = std::make_unique<QTemporaryDir>(); }

    void reading_data();
    void reading();
    void missingFileReadsEmpty();
    void readingAllValues();
    void writing_data();
    void writing();
    void valuesReadBackAsWritten_data();
    void valuesReadBackAsWritten();
    void newFileIsForItsOwnerOnly();
    void existingFileBecomesItsOwnersOnly_data();
    void existingFileBecomesItsOwnersOnly();
    void symbolicLinkIsNeverFollowed_data();
    void symbolicLinkIsNeverFollowed();
    void anotherUsersFileIsLeftAlone();
    void readOnlyFolderReportsAndLosesNothing();
    void whatIsNoFileIsNeitherReadNorReplaced_data();
    void whatIsNoFileIsNeitherReadNorReplaced();
    void growingPastTheLimitIsRefused();
    void hostileContentReadsAndKeepsItsBytes_data();
    void hostileContentReadsAndKeepsItsBytes();
};

void tst_LinkIni::reading_data()
{
    // Every row reads the key "Read" of section "Community".
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("value");

    const QByteArray cut = QByteArray(300, 'a');
    const QString umlauts = QString::fromUtf8("Gr\xc3\xbc\xc3\x9f"
                                              "e");
    QTest::newRow("plain") << QByteArray("[Community]\nRead=public\n") << "public";
    QTest::newRow("names in another case") << QByteArray("[cOMMUNITY]\nrEAD=public\n") << "public";
    QTest::newRow("blanks around names and value")
        << QByteArray(" \t[ Community ] \n  Read \t=  pub lic \t\n") << "pub lic";
    QTest::newRow("double quotes removed") << QByteArray("[Community]\nRead=\" public \"\n") << " public ";
    QTest::newRow("single quotes removed") << QByteArray("[Community]\nRead='public'\n") << "public";
    QTest::newRow("unmatched quotes kept") << QByteArray("[Community]\nRead=\"public'\n") << "\"public'";
    QTest::newRow("equals sign in the value") << QByteArray("[Community]\nRead=a=b\n") << "a=b";
    QTest::newRow("first key wins") << QByteArray("[Community]\nRead=first\nREAD=second\n") << "first";
    QTest::newRow("first section wins") << QByteArray("[Community]\nSet=a\n[Community]\nRead=b\n") << "";
    QTest::newRow("key of another section") << QByteArray("[SNMPv3]\nRead=x\n[Community]\nSet=y\n") << "";
    QTest::newRow("key before any section") << QByteArray("Read=x\n[Community]\n") << "";
    QTest::newRow("comment") << QByteArray("[Community]\n;Read=x\n") << "";
    QTest::newRow("CR LF line ends") << QByteArray("[Community]\r\nRead=public\r\nSet=private\r\n")
                                     << "public";
    QTest::newRow("cut at 259 bytes") << "[Community]\nRead=" + cut + "\n" << QString(259, u'a');
    QTest::newRow("UTF-8") << "[Community]\nRead=" + umlauts.toUtf8() + "\n" << umlauts;
    QTest::newRow("Windows code page") << "[Community]\nRead=" + umlauts.toLatin1() + "\n" << umlauts;
    QTest::newRow("cut inside a character") << "[Community]\nRead=" + cut.first(258) + "\xc3\xbc\n"
                                            << QString(258, u'a');
}

void tst_LinkIni::reading()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, value);

    putFile(file);
    QCOMPARE(LinkIni(path()).value(QStringLiteral("Community"), QStringLiteral("Read")), value);
}

void tst_LinkIni::missingFileReadsEmpty()
{
    QCOMPARE(LinkIni(path()).value(QStringLiteral("IPAdress"), QStringLiteral("IP")), QString());
    QCOMPARE(LinkIni(path()).read(), LinkSettings());
}

void tst_LinkIni::readingAllValues()
{
    putFile("[SNMPv3]\nPrivPassword=p\nAuthPassword=a\nUser=u\n[Community]\nSet=s\nRead=r\n"
            "[IPAdress]\nEndIP=9\nIP=127.0.40.1\n");
    const LinkSettings expected{QStringLiteral("127.0.40.1"), QStringLiteral("9"), QStringLiteral("r"),
                                QStringLiteral("s"),          QStringLiteral("u"), QStringLiteral("a"),
                                QStringLiteral("p")};
    QCOMPARE(LinkIni(path()).read(), expected);
}

void tst_LinkIni::writing_data()
{
    QTest::addColumn<bool>("exists");
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QByteArray>("after");

    const QByteArray fresh =
        "[IPAdress]\nIP=192.168.1.20\nEndIP=30\n"
        "[Community]\nRead=public\nSet=private\n"
        "[SNMPv3]\nVersion=\nUser=admin\nAuthPassword=authpass1\nPrivPassword=privpass1\n";
    QTest::newRow("new file") << false << QByteArray() << fresh;
    QTest::newRow("empty file") << true << QByteArray() << fresh;
    QTest::newRow("file of the Windows program, rearranged by hand")
        << true
        << QByteArray("; Spanmon link settings\r\n"
                      "[SNMPV3]\r\n"
                      "PRIVPASSWORD = \"old priv\"  \r\n"
                      "User=olduser\r\n"
                      "Version=\r\n"
                      "AuthPassword=oldauth\r\n"
                      "\r\n"
                      "[Extra]\r\n"
                      "IP=keep\r\n"
                      "\r\n"
                      "[ipadress]\r\n"
                      "EndIP=5\r\n"
                      "  ip = 10.0.0.1\r\n"
                      "[Community]\r\n"
                      "; the write community\r\n"
                      "Set='old'\r\n"
                      "Read=oldread\r\n")
        << QByteArray("; Spanmon link settings\r\n"
                      "[SNMPV3]\r\n"
                      "PRIVPASSWORD = privpass1  \r\n"
                      "User=admin\r\n"
                      "Version=\r\n"
                      "AuthPassword=authpass1\r\n"
                      "\r\n"
                      "[Extra]\r\n"
                      "IP=keep\r\n"
                      "\r\n"
                      "[ipadress]\r\n"
                      "EndIP=30\r\n"
                      "  ip = 192.168.1.20\r\n"
                      "[Community]\r\n"
                      "; the write community\r\n"
                      "Set=private\r\n"
                      "Read=public\r\n");
    QTest::newRow("missing keys at the end of their sections")
        << true
        << QByteArray("[IPAdress]\nIP=1.2.3.4\n\n"
                      "[Community]\nRead=r\nSet=s\n; end of communities\n\n"
                      "[SNMPv3]\nUser=u\nAuthPassword=a\nPrivPassword=p\n")
        << QByteArray("[IPAdress]\nIP=192.168.1.20\nEndIP=30\n\n"
                      "[Community]\nRead=public\nSet=private\n; end of communities\n\n"
                      "[SNMPv3]\nUser=admin\nAuthPassword=authpass1\nPrivPassword=privpass1\nVersion=\n");
    QTest::newRow("missing sections at the end of the file")
        << true << QByteArray("[Other]\r\nx=1\r\n[IPAdress]\r\nIP=1.2.3.4\r\nEndIP=7")
        << QByteArray(
               "[Other]\r\nx=1\r\n[IPAdress]\r\nIP=192.168.1.20\r\nEndIP=30\r\n"
               "[Community]\r\nRead=public\r\nSet=private\r\n"
               "[SNMPv3]\r\nVersion=\r\nUser=admin\r\nAuthPassword=authpass1\r\nPrivPassword=privpass1\r\n");
}

void tst_LinkIni::writing()
{
    QFETCH(bool, exists);
    QFETCH(QByteArray, before);
    QFETCH(QByteArray, after);

    if (exists)
        putFile(before);
    QCOMPARE(LinkIni(path()).write(settings()), std::nullopt);
    QCOMPARE(fileBytes(), after);
    QCOMPARE(QDir(dir_->path()).entryList(QDir::Files | QDir::Hidden),
             QStringList{QStringLiteral("Link.ini")});
}

void tst_LinkIni::valuesReadBackAsWritten_data()
{
    QTest::addColumn<QString>("value");
    QTest::newRow("blanks at both ends") << "  spaced  ";
    QTest::newRow("in double quotes") << "\"quoted\"";
    QTest::newRow("in single quotes") << "'quoted'";
    QTest::newRow("one quote") << "\"";
    QTest::newRow("signs of the file format") << "a=b;[c]";
    QTest::newRow("non-ASCII") << QString::fromUtf8("\xc3\xa9t\xc3\xa9");
}

void tst_LinkIni::valuesReadBackAsWritten()
{
    QFETCH(QString, value);
    LinkSettings written = settings();
    written.readCommunity = value;
    written.privPassword = value;
    QCOMPARE(LinkIni(path()).write(written), std::nullopt);
    QCOMPARE(LinkIni(path()).read(), written);
}

void tst_LinkIni::newFileIsForItsOwnerOnly()
{
    QCOMPARE(LinkIni(path()).write(settings()), std::nullopt);
    QCOMPARE(mode(path()), 0600);
}

// The pass phrases must not stay readable by others, whatever the old file allowed; even an
// unchanged file is rewritten for that.
void tst_LinkIni::existingFileBecomesItsOwnersOnly_data()
{
    QTest::addColumn<int>("oldMode");
    QTest::addColumn<bool>("sameValues");
    QTest::newRow("0666, new values") << 0666 << false;
    QTest::newRow("0644, the same values") << 0644 << true;
    QTest::newRow("0640, new values") << 0640 << false;
}

void tst_LinkIni::existingFileBecomesItsOwnersOnly()
{
    QFETCH(int, oldMode);
    QFETCH(bool, sameValues);
    putFile("[Community]\nRead=old\n");
    if (sameValues)
        QCOMPARE(LinkIni(path()).write(settings()), std::nullopt);
    QVERIFY(::chmod(QFile::encodeName(path()).constData(), mode_t(oldMode)) == 0);
    QCOMPARE(LinkIni(path()).write(settings()), std::nullopt);
    QCOMPARE(mode(path()), 0600);
    QCOMPARE(LinkIni(path()).read(), settings());
}

// In a folder others can write, Link.ini may be a link planted to make the pass phrases land
// elsewhere: it is neither read nor written through, and stays as it is.
void tst_LinkIni::symbolicLinkIsNeverFollowed_data()
{
    QTest::addColumn<bool>("targetExists");
    QTest::newRow("link to a file") << true;
    QTest::newRow("link to nowhere") << false;
}

void tst_LinkIni::symbolicLinkIsNeverFollowed()
{
    QFETCH(bool, targetExists);
    const QString target = dir_->filePath(QStringLiteral("elsewhere.ini"));
    QFile::remove(target);
    const QByteArray old = "[IPAdress]\nIP=127.0.40.7\n";
    if (targetExists) {
        QFile file(target);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(old);
    }
    QVERIFY(QFile::link(target, path()));
    const QString refused = QStringLiteral("it is a symbolic link, which is not followed");

    std::optional<QString> problem;
    QCOMPARE(LinkIni(path()).read(&problem), LinkSettings{});
    QCOMPARE(problem, std::optional(refused));
    QCOMPARE(LinkIni(path()).write(settings()), std::optional(refused));
    QCOMPARE(QFileInfo(path()).symLinkTarget(), target);
    QCOMPARE(QFileInfo::exists(target), targetExists);
    if (targetExists) {
        QFile file(target);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), old);
    }
    QCOMPARE(QDir(dir_->path()).entryList(QDir::Files | QDir::Hidden | QDir::System).filter(".Link.ini"),
             QStringList());
}

// An administrator saving in another user's folder takes nothing from that user and gives
// nothing away: that user's file stays as it is, and the refusal says why.
void tst_LinkIni::anotherUsersFileIsLeftAlone()
{
    if (::geteuid() != 0) {
        if (qgetenv("CI") == "true")
            QFAIL("giving the file to another user needs root");
        QSKIP("giving the file to another user needs root");
    }
    const QByteArray old = "[Community]\r\nRead=theirs\r\n";
    putFile(old);
    QVERIFY(::chown(QFile::encodeName(path()).constData(), 65534, 65534) == 0);
    QCOMPARE(LinkIni(path()).write(settings()), std::optional(QStringLiteral("it belongs to another user")));
    QCOMPARE(fileBytes(), old);
    struct stat st = {};
    QVERIFY(::stat(QFile::encodeName(path()).constData(), &st) == 0);
    QCOMPARE(int(st.st_uid), 65534);
}

void tst_LinkIni::readOnlyFolderReportsAndLosesNothing()
{
    QTemporaryDir base;
    const QString folder = base.filePath(QStringLiteral("readonly"));
    QVERIFY(QDir().mkdir(folder));
    const QString file = folder + QStringLiteral("/Link.ini");
    const QByteArray old = "; kept\r\n[IPAdress]\r\nIP=127.0.40.9\r\n";
    {
        QFile out(file);
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write(old);
    }
    QVERIFY(::chmod(QFile::encodeName(file).constData(), 0644) == 0);
    QVERIFY(::chmod(QFile::encodeName(folder).constData(), 0555) == 0);
    const auto writable = qScopeGuard([&] { ::chmod(QFile::encodeName(folder).constData(), 0755); });
    QVERIFY(::chmod(QFile::encodeName(base.path()).constData(), 0755) == 0);

    const QString failure = QString::fromUtf8(
        asOrdinaryUser([&] { return LinkIni(file).write(settings()).value_or(QString()).toUtf8(); }));
    QVERIFY2(!failure.isEmpty() && failure != u"root kept", qPrintable(failure));
    QFile in(file);
    QVERIFY(in.open(QIODevice::ReadOnly));
    QCOMPARE(in.readAll(), old);
    QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("Link.ini")});
}

// A pipe would hold the reading thread until someone writes to it, a device such as /dev/zero
// never ends: only a regular file up to 64 KiB is read. Writing leaves such a thing alone too.
void tst_LinkIni::whatIsNoFileIsNeitherReadNorReplaced_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("problem");
    QTest::newRow("named pipe") << "pipe"
                                << "it is a named pipe (FIFO), not a file";
    QTest::newRow("device (/dev/zero)") << "zero"
                                        << "it is a device, not a file";
    QTest::newRow("folder") << "folder"
                            << "it is a folder, not a file";
    QTest::newRow("file of 10 MB") << "huge"
                                   << "it is larger than 64 KiB";
}

void tst_LinkIni::whatIsNoFileIsNeitherReadNorReplaced()
{
    QFETCH(QString, kind);
    QFETCH(QString, problem);
    const QByteArray name = QFile::encodeName(path());
    if (kind == u"pipe") {
        QVERIFY(::mkfifo(name.constData(), 0600) == 0);
    } else if (kind == u"zero") {
        // The device itself, not a link to it (a link is refused as a link).
        if (::mknod(name.constData(), S_IFCHR | 0666, ::makedev(1, 5)) != 0) {
            if (qgetenv("CI") == "true")
                QFAIL("making a device node needs root");
            QSKIP("making a device node needs root");
        }
    } else if (kind == u"folder") {
        QVERIFY(QDir(dir_->path()).mkdir(QStringLiteral("Link.ini")));
    } else {
        putFile("[Other]\r\n" + QByteArray(10 * 1024 * 1024, ';') + "\r\n[IPAdress]\r\nIP=127.0.40.7\r\n");
    }
    struct stat before = {};
    QVERIFY(::lstat(name.constData(), &before) == 0);

    std::optional<QString> why;
    QCOMPARE(LinkIni(path()).read(&why), LinkSettings{});
    QCOMPARE(why, std::optional(problem));
    QCOMPARE(LinkIni(path()).value(QStringLiteral("IPAdress"), QStringLiteral("IP")), QString());
    QCOMPARE(LinkIni(path()).write(settings()), std::optional(problem));

    struct stat after = {};
    QVERIFY(::lstat(name.constData(), &after) == 0);
    QCOMPARE(after.st_mode, before.st_mode);
    QCOMPARE(after.st_size, before.st_size);
    QCOMPARE(after.st_ino, before.st_ino);
}

// A file close to the limit that the new values would push past it: nothing is written, or the
// file written would not be read again.
void tst_LinkIni::growingPastTheLimitIsRefused()
{
    const QByteArray old = "; " + QByteArray(64 * 1024 - 20, '-') + "\n";
    putFile(old);
    std::optional<QString> why;
    LinkIni(path()).read(&why);
    QCOMPARE(why, std::nullopt); // within the limit, it reads
    QCOMPARE(LinkIni(path()).write(settings()),
             std::optional(QStringLiteral("it would grow larger than 64 KiB")));
    QCOMPARE(fileBytes(), old);
}

// Binary garbage or a large file in place of Link.ini: reading gives short values, writing the
// settings keeps every byte that is not one of them, and the settings read back.
void tst_LinkIni::hostileContentReadsAndKeepsItsBytes_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QByteArray>("kept"); // what the rewrite must leave at the file's start

    QRandomGenerator random(31);
    QByteArray garbage(60 * 1024, Qt::Uninitialized);
    for (char& byte : garbage)
        byte = char(random.bounded(256));
    QTest::newRow("binary garbage") << garbage << garbage;
    QByteArray large = "[Other]\r\n";
    while (large.size() < 50 * 1024)
        large += "key=" + QByteArray(200, 'v') + "\r\n";
    large += "[IPAdress]\r\nIP=";
    QTest::newRow("50 KiB, a value of 5000 bytes") << large + QByteArray(5000, '1') + "\r\n" << large;
    const QByteArray bareReturn = "[Other]\r\nx=1\r\n[IPAdress]\r";
    QTest::newRow("last line ends with a bare carriage return") << bareReturn << bareReturn;
}

void tst_LinkIni::hostileContentReadsAndKeepsItsBytes()
{
    QFETCH(QByteArray, content);
    QFETCH(QByteArray, kept);
    putFile(content);
    const LinkSettings read = LinkIni(path()).read();
    for (const QString& value : {read.ip, read.endIp, read.readCommunity, read.writeCommunity, read.user,
                                 read.authPassword, read.privPassword})
        QVERIFY(value.size() <= 259); // as the row "cut at 259 bytes" of reading()

    QCOMPARE(LinkIni(path()).write(settings()), std::nullopt);
    QCOMPARE(LinkIni(path()).read(), settings());
    QVERIFY(fileBytes().startsWith(kept));
}

QTEST_GUILESS_MAIN(tst_LinkIni)
#include "tst_linkini.moc"
