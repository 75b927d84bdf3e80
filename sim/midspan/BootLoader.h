#pragma once

#include <QByteArray>
#include <QList>

// The ASCII dialogue of the midspan's loader, entered after EnterDownload. The file's lines arrive
// without line ends, so each S-record's end is found from its own count byte.
class BootLoader
{
public:
    enum class State { AwaitEntr, Commands, Records, Finished };

    // Answer to a line that is not a good S-record, and the greeting of a loader that wants ENTR.
    static constexpr char refusal[] = "TX\r\n";
    static constexpr char waitingForEntr[] = "TLW\r\n";

    explicit BootLoader(bool wantsEntr, QList<QByteArray>& frameLog);

    // What the loader sends right after the acknowledgement of EnterDownload.
    QByteArray greeting() const;
    // Takes bytes from the line and returns the loader's answers.
    QByteArray receive(const QByteArray& bytes);
    // The line went quiet: an unfinished command or record is thrown away.
    void lineIdle();
    bool restartRequested() const { return restartRequested_; }
    State state() const { return state_; }

private:
    QByteArray takeCommand();
    QByteArray takeRecord();
    void discard(qsizetype count);

    QList<QByteArray>& frameLog_;
    QByteArray buffer_;
    State state_;
    bool erased_ = false;
    bool restartRequested_ = false;
};
