// Loader replies of any content through the serial link's firmware download and its step machine,
// over the link's driver with no port open (its sends go nowhere); a download that ends resumes the
// session, one left in the loader ends it, as in the program. The first byte picks how many lines
// the firmware file has; then come records of a kind byte and a reply of up to five bytes: a reply,
// the loader's silence, or a new download once the last one has ended (started again in the loader
// when the last one failed there).
#include "FakeControls.h"
#include "RecordingFeedback.h"
#include "core/Clock.h"
#include "core/ControlIds.h"
#include "core/DeviceState.h"
#include "core/SpanmonCore.h"
#include "links/serial/FirmwareDownload.h"
#include "links/serial/SerialLink.h"
#include "links/serial/SerialState.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace
{

constexpr std::size_t ReplyBytes = 5; // the longest loader message, "TPE\r\n"
constexpr int MostLines = 4;

// Firmware files of 1 to MostLines data records and the end record, written once.
QString firmwareFile(int lines)
{
    static QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("fw%1.s19").arg(lines));
    if (!QFile::exists(path)) {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly))
            std::abort();
        for (int i = 0; i < lines; ++i)
            file.write("S1131000000102030405060708090A0B0C0D0E0F64\r\n");
        file.write("S9030000FC\r\n");
    }
    return path;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static int argc = 1;
    static char name[] = "fuzz_loader_replies";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    static const bool quiet = [] {
        qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
        return true;
    }();
    (void)quiet;

    if (size == 0)
        return 0;
    FakeControls controls;
    Clock clock;
    RecordingFeedback feedback;
    SpanmonCore core(controls, clock, feedback, SpanmonCore::alone<SerialLink>());
    auto& session = static_cast<SerialLink&>(core.link(0));
    SerialState& link = session.link();
    FirmwareDownload& download = session.download();
    link.comPortsFound = true;
    link.comPorts = {QStringLiteral("ttyV0")};
    link.comPortName = QStringLiteral("ttyV0");

    const QString path = firmwareFile(1 + data[0] % MostLines);
    feedback.chooseFile = [path] { return path; };
    link.linked = true;
    ++data;
    --size;

    download.start();
    while (size > 0) {
        const int kind = data[0] % 3;
        const std::size_t body = std::min(size - 1, ReplyBytes);
        link.rxFrame.fill(0);
        std::memcpy(link.rxFrame.data(), data + 1, body);
        data += 1 + body;
        size -= 1 + body;

        if (!link.downloadHoldsLine && download.loaderWaits())
            download.restartInLoader();
        else if (!link.downloadHoldsLine)
            download.start();
        else if (kind == 2)
            download.onLoaderSilence();
        else
            download.onReply();
        if (download.linesSent() > download.lineCount() || link.expectedLength > link.rxFrame.size())
            std::abort();
    }
    return 0;
}
