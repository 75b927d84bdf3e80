#include "core/SignalNotice.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace
{

constexpr int Signals[] = {SIGTERM, SIGINT, SIGHUP};

// [0] is read by the event loop, [1] written by the handler.
int wakeUp[2] = {-1, -1};

void handle(int signal)
{
    const int saved = errno;
    const char byte = char(signal);
    [[maybe_unused]] const ssize_t written = ::write(wakeUp[1], &byte, 1);
    errno = saved;
}

void setHandler(void (*handler)(int))
{
    struct sigaction action = {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : Signals)
        ::sigaction(signal, &action, nullptr);
}

} // namespace

SignalNotice::SignalNotice(std::function<void(int signal)> caught, QObject* parent)
    : QObject(parent), handOver_(std::move(caught))
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, wakeUp) != 0)
        return; // the signals keep their default action
    // The handler must never block, even on a full socket.
    ::fcntl(wakeUp[1], F_SETFL, ::fcntl(wakeUp[1], F_GETFL) | O_NONBLOCK);
    notifier_ = new QSocketNotifier(wakeUp[0], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &SignalNotice::onSignal);
    setHandler(handle);
}

SignalNotice::~SignalNotice()
{
    if (!notifier_)
        return;
    setHandler(SIG_DFL);
    delete notifier_;
    for (int& fd : wakeUp) {
        ::close(fd);
        fd = -1;
    }
}

QString SignalNotice::name(int signal)
{
    switch (signal) {
    case SIGTERM:
        return QStringLiteral("SIGTERM");
    case SIGINT:
        return QStringLiteral("SIGINT");
    case SIGHUP:
        return QStringLiteral("SIGHUP");
    default:
        return QStringLiteral("signal %1").arg(signal);
    }
}

void SignalNotice::onSignal()
{
    char byte = 0;
    [[maybe_unused]] const ssize_t read = ::read(wakeUp[0], &byte, 1);
    notifier_->setEnabled(false);
    setHandler(SIG_DFL);
    caught_ = byte;
    if (handOver_)
        handOver_(caught_);
}
