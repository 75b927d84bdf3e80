#include "links/serial/SerialExchange.h"

#include "core/Clock.h"
#include "links/serial/SerialProtocol.h"

#include <QEventLoop>

SerialExchange::SerialExchange(Clock& clock) : clock_(clock), driver_(link_, clock) {}

bool SerialExchange::open(const QString& devicePath)
{
    return driver_.open(devicePath);
}

SerialExchange::Result SerialExchange::exchange(const SerialFrame& frame, std::chrono::milliseconds timeout)
{
    link_.rxFrame.fill(0);
    // A reply given up may still come, and for another request it cannot be told from the
    // answer: the line is left to go quiet first. A retry of the same request takes either.
    if (!givenUp_.isEmpty() && frame.bytes != givenUp_) {
        clock_.wait(int(timeout.count()) * 2);
        givenUp_.clear();
    }

    QEventLoop loop;
    bool replied = false;
    driver_.replyReady = [&] {
        replied = true;
        loop.quit();
    };
    QObject::connect(&clock_, &Clock::expired, &loop, [&loop](TimerId timer) {
        if (timer == TimerId::PollReply)
            loop.quit();
    });
    driver_.send(frame);
    clock_.start(TimerId::PollReply, int(timeout.count()));
    loop.exec();
    clock_.stop(TimerId::PollReply);
    driver_.pauseReader();
    driver_.replyReady = nullptr;

    if (!replied) {
        driver_.abandonReply();
        givenUp_ = frame.bytes;
        return Result::NoAnswer;
    }
    const int length = int(link_.expectedLength);
    if (length < 3 || !serialproto::replyChecksumOk(link_, length - 2) ||
        !link_.request.awaits(link_.rxFrame[0]))
        return Result::BadReply;
    link_.request.outcome = RequestOutcome::Answered;
    return Result::Reply;
}
