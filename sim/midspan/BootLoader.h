#pragma once

#include <QByteArray>
#include <QList>

#include <cstdint>
#include <optional>

// The ASCII dialogue of the midspan's loader, entered after EnterDownload. The file's lines arrive
// without line ends, so each S-record's end is found from its own count byte. The loader stays
// until RST: "E" erases again at any time before the end record, so a client can start over.
class BootLoader
{
public:
    enum class State { AwaitEntr, Commands, Records, Finished };

    // Answer to a line that is not a good S-record, and the greeting of a loader that wants ENTR.
    static constexpr char refusal[] = "TX\r\n";
    static constexpr char waitingForEntr[] = "TLW\r\n";

    // A misbehaving loader, for tests: its n-th message (the acknowledgement of EnterDownload is
    // the first) comes with X for every letter after the T, or it falls silent from there on, or
    // it is "TP\r\n", the end of the transfer, whatever came.
    struct Fault {
        enum class Kind { None, Wrong, Silent, Complete };
        int message = 0;
        Kind kind = Kind::None;
    };

    BootLoader(bool wantsEntr, QList<QByteArray>& frameLog, Fault fault);

    // The acknowledgement of EnterDownload followed by what the loader sends right after it.
    QByteArray enter(const QByteArray& acknowledgement);
    // Takes bytes from the line and returns the loader's answers.
    QByteArray receive(const QByteArray& bytes);
    // The line went quiet: an unfinished command or record is thrown away.
    void lineIdle();
    bool restartRequested() const { return restartRequested_; }
    State state() const { return state_; }
    // Every record from the first to an end record, all accepted: the new firmware.
    std::optional<QList<QByteArray>> image() const;
    // Revision byte (major in the high nibble) from "major.minor" in the text of an S0 header.
    static std::optional<std::uint8_t> revision(const QList<QByteArray>& image);

private:
    QByteArray takeCommand();
    QByteArray takeRecord();
    void discard(qsizetype count);
    QByteArray say(QByteArray message);

    QList<QByteArray>& frameLog_;
    QByteArray buffer_;
    State state_;
    bool erased_ = false;
    bool restartRequested_ = false;
    QList<QByteArray> records_;
    bool refusedRecord_ = false;
    Fault fault_;
    int messages_ = 0;
};
