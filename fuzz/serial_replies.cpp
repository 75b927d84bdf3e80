// Serial replies of any content, for any port index, through the reply appliers into the device
// record and the controls. The input is a run of records: a reply kind, the 0-based port index
// the request named (any byte) and the reply's bytes, up to a whole receive frame. Whatever a reply holds,
// its values land on its own port only: a port reply changes no other port's cells, and any
// other reply changes none.
#include "FakeControls.h"
#include "RecordingFeedback.h"
#include "core/Clock.h"
#include "core/ControlIds.h"
#include "core/SpanmonCore.h"
#include "links/serial/ReplyApplier.h"
#include "links/serial/SerialLink.h"
#include "links/serial/SerialProtocol.h"
#include "links/serial/SerialState.h"

#include <QCoreApplication>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace
{

// The cells a port reply fills, for every port.
constexpr std::array<int, 6> PortCells{ctl::PowerBase,      ctl::VoltageBase,      ctl::CurrentBase,
                                       ctl::DiscoveryRBase, ctl::ClassCurrentBase, ctl::PortDescriptionBase};

using CellTexts = std::array<std::array<QString, PortCells.size()>, MaxPorts + 1>;

CellTexts cellTexts(const FakeControls& controls)
{
    CellTexts texts;
    for (int k = 1; k <= MaxPorts; ++k)
        for (std::size_t cell = 0; cell < PortCells.size(); ++cell)
            texts[std::size_t(k)][cell] = controls.text(PortCells[cell] + k);
    return texts;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static int argc = 1;
    static char name[] = "fuzz_serial_replies";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);

    FakeControls controls;
    Clock clock;
    RecordingFeedback feedback;
    SpanmonCore core(controls, clock, feedback, SpanmonCore::alone<SerialLink>());
    SerialState& link = static_cast<SerialLink&>(core.link(0)).link();
    ReplyApplier applier(core.context(), link);

    constexpr std::size_t Header = 2;
    while (size > Header) {
        const int kind = data[0] % 5;
        link.request.portIndex = data[1];
        const std::size_t body = std::min<std::size_t>(size - Header, SerialState::FrameSize);
        link.rxFrame.fill(0);
        std::memcpy(link.rxFrame.data(), data + Header, body);
        data += Header + body;
        size -= Header + body;

        const CellTexts before = cellTexts(controls);
        switch (kind) {
        case 0:
            applier.applyIdentity();
            break;
        case 1:
            applier.applySystemStatus();
            break;
        case 2:
            applier.applyPortStatus();
            break;
        case 3:
            applier.applyPortClassification();
            break;
        default:
            serialproto::replyChecksumOk(link, link.rxFrame[0] % (SerialState::FrameSize - 1));
            break;
        }
        const bool portReply = kind == 2 || kind == 3;
        const CellTexts after = cellTexts(controls);
        for (int k = 1; k <= MaxPorts; ++k)
            if (after[std::size_t(k)] != before[std::size_t(k)] &&
                !(portReply && k == link.request.portIndex + 1))
                std::abort();
    }
    return 0;
}
