#include "SRecordFile.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>

#include <cstdio>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName("firmware-gen");

    QCommandLineParser parser;
    parser.setApplicationDescription(
        "Writes a firmware file in S-record form for midspan-sim's loader: an S0 header whose text "
        "carries the revision, data records with correct checksums and the end record.");
    parser.addHelpOption();
    const QCommandLineOption revision("revision", "Revision in the header text \"FW <major.minor>\".", "M.N",
                                      "1.0");
    const QCommandLineOption header("header", "Header text as given (instead of --revision).", "TEXT");
    const QCommandLineOption records("records", "Number of data records.", "N", "64");
    const QCommandLineOption dataBytes("data-bytes", "Data bytes per record, 1 to 250.", "N", "16");
    const QCommandLineOption type("type", "Data record type: 1, 2 or 3 (S1, S2, S3).", "T", "1");
    const QCommandLineOption lf("lf", "End lines with LF instead of CR LF.");
    const QCommandLineOption output("o", "Write to FILE instead of standard output.", "FILE");
    parser.addOptions({revision, header, records, dataBytes, type, lf, output});
    parser.process(app);

    const auto fail = [](const char* text) {
        std::fprintf(stderr, "firmware-gen: %s\n", text);
        return 2;
    };
    srecord::FileContents contents;
    bool ok = false;
    contents.records = parser.value(records).toInt(&ok);
    if (!ok || contents.records < 0)
        return fail("--records takes a count");
    contents.dataBytes = parser.value(dataBytes).toInt(&ok);
    if (!ok || contents.dataBytes < 1 || contents.dataBytes > 250)
        return fail("--data-bytes takes 1 to 250");
    contents.type = parser.value(type).toInt(&ok);
    if (!ok || contents.type < 1 || contents.type > 3)
        return fail("--type takes 1, 2 or 3");
    contents.header =
        parser.isSet(header) ? parser.value(header).toLatin1() : "FW " + parser.value(revision).toLatin1();
    if (contents.header.size() > 250)
        return fail("the header text takes at most 250 characters");
    contents.crlf = !parser.isSet(lf);

    const QByteArray content = srecord::file(contents);
    QFile out;
    const bool opened = parser.isSet(output)
                            ? (out.setFileName(parser.value(output)), out.open(QIODevice::WriteOnly))
                            : out.open(stdout, QIODevice::WriteOnly);
    if (!opened || out.write(content) != content.size())
        return fail("cannot write the file");
    return 0;
}
