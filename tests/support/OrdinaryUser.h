#pragma once

#include <QByteArray>

#include <functional>

#include <sys/wait.h>
#include <unistd.h>

// Runs the work as an ordinary user, whom file permissions bind (root ignores them), and returns
// what it returns. As root a child process gives up root for nobody and hands the bytes back;
// "root kept" when it could not give it up.
inline QByteArray asOrdinaryUser(const std::function<QByteArray()>& work)
{
    if (::geteuid() != 0)
        return work();
    int channel[2];
    if (::pipe(channel) != 0)
        return "no pipe";
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(channel[0]);
        const bool dropped = ::setgid(65534) == 0 && ::setuid(65534) == 0;
        const QByteArray result = dropped ? work() : QByteArray("root kept");
        [[maybe_unused]] const auto sent = ::write(channel[1], result.constData(), size_t(result.size()));
        ::_exit(0);
    }
    ::close(channel[1]);
    QByteArray result;
    char buffer[256];
    for (ssize_t n; (n = ::read(channel[0], buffer, sizeof buffer)) > 0;)
        result.append(buffer, n);
    ::close(channel[0]);
    ::waitpid(child, nullptr, 0);
    return result;
}
