#pragma once

#include <QString>

// A block of loopback addresses, 127.<n>.0.0/16, that one test program uses alone, so that two runs
// of the suite side by side (and the programs of one run) never meet on an address, whatever UDP
// or TCP ports they take there. A block is held by an exclusive lock on its file in a folder that
// every run on the machine shares; the lock is inherited by the program's children (simulators,
// agents, servers), so a block stays taken until the last of them has gone, also after a crash.
// Block 0 is never taken: 127.0.0.1 and 127.0.1.1 belong to the machine's own services. A test
// program that starts a copy of itself hands its block down in the environment, with the lock.
class LoopbackBlock
{
public:
    static constexpr const char* EnvironmentName = "SPANMON_LOOPBACK_BLOCK";

    // Takes the first of the blocks first..last whose lock no one holds.
    static LoopbackBlock take(const QString& lockFolder, int first = 1, int last = 254);
    // The block named by a handed-down value ("<block> <descriptor>"), if that descriptor is an
    // inherited lock on the block's file in the folder; none otherwise.
    static LoopbackBlock inherited(const QByteArray& value, const QString& lockFolder);
    // This program's block: the one its parent handed down, or one taken from the machine's lock
    // folder on first use and handed down to its children; the program ends with a message when
    // every block is taken.
    static const LoopbackBlock& ofThisProgram();

    LoopbackBlock(LoopbackBlock&& other) noexcept;
    LoopbackBlock& operator=(LoopbackBlock&&) = delete;
    LoopbackBlock(const LoopbackBlock&) = delete;
    ~LoopbackBlock();

    int number() const { return number_; } // 0: none was free
    QString errorText() const { return error_; }
    // "127.<n>.<third>.<fourth>"
    QString address(int third, int fourth) const;
    // What a child is given to find the block: "<block> <descriptor>".
    QByteArray handedDown() const;

private:
    LoopbackBlock() = default;

    int lock_ = -1;
    int number_ = 0;
    QString error_;
};

// An address of this program's block: "127.<n>.<third>.<fourth>".
QString loopbackAddress(int third, int fourth);
