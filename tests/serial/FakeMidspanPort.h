#pragma once

#include <QByteArray>
#include <QObject>
#include <QTemporaryDir>

class QSocketNotifier;

// The far end of a pseudo-terminal standing in for a midspan the test plays by hand: what
// Spanmon sends is collected, and the test writes the replies. The slave is reached through a
// link ttyV0 in a temporary directory, as a virtual port is.
class FakeMidspanPort : public QObject
{
    Q_OBJECT

public:
    FakeMidspanPort();
    ~FakeMidspanPort() override;

    bool isOpen() const { return master_ >= 0; }
    QString directory() const { return dir_.path(); }
    QString linkPath() const { return dir_.filePath(QStringLiteral("ttyV0")); }

    // Bytes towards Spanmon.
    void write(const QByteArray& bytes);
    // Everything Spanmon has sent since the last take().
    QByteArray take();
    // Waits (bounded) until at least n bytes have come from Spanmon.
    bool waitForBytes(int n, int timeoutMs = 3000);

    // The bytes followed by their 16-bit sum, high byte first.
    static QByteArray withChecksum(QByteArray bytes);

private:
    void readLine();

    QTemporaryDir dir_;
    int master_ = -1;
    int slave_ = -1; // held open so the master never reads end-of-line
    QSocketNotifier* notifier_ = nullptr;
    QByteArray received_;
};
