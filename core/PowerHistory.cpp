#include "core/PowerHistory.h"

#include "core/Clock.h"

#include <QSaveFile>

#include <algorithm>
#include <cmath>
#include <utility>

namespace
{

QByteArray number(float value)
{
    return std::isfinite(value) ? QByteArray::number(double(value), 'g', 7) : QByteArray();
}

// A text field, quoted when it holds a comma, a quote or a line end.
QByteArray field(const QString& text)
{
    QByteArray bytes = text.toUtf8();
    if (!bytes.contains(',') && !bytes.contains('"') && !bytes.contains('\n') && !bytes.contains('\r'))
        return bytes;
    return '"' + bytes.replace('"', "\"\"") + '"';
}

} // namespace

PowerHistory::PowerHistory(const Clock& clock, QObject* parent)
    : QObject(parent), clock_(clock), epoch_(QDateTime::currentDateTimeUtc().addMSecs(-clock.elapsed()))
{
}

void PowerHistory::portRead(const PassReading& reading)
{
    if (reading.port < 1 || reading.port > MaxPorts)
        return;
    if (std::exchange(sessionEnded_, false))
        clear();
    Ring& ring = rings_[std::size_t(reading.port)];
    const qint64 at = clock_.elapsed();
    if (ring.count > 0 && at - ring.at(ring.count - 1).atMs < IntervalMs)
        return;
    if (ring.buffer.empty())
        ring.buffer.resize(Capacity);
    const PowerSample sample{at, float(reading.powerMw), float(reading.voltageV), float(reading.currentMa),
                             reading.status};
    if (ring.count < Capacity) {
        ring.buffer[std::size_t((ring.first + ring.count) % Capacity)] = sample;
        ++ring.count;
    } else {
        ring.buffer[std::size_t(ring.first)] = sample;
        ring.first = (ring.first + 1) % Capacity;
    }
    emit sampled(reading.port);
}

void PowerHistory::setUnit(const QString& address, const QString& model)
{
    unitAddress_ = address;
    unitModel_ = model;
}

void PowerHistory::record(OperatorAction::Kind kind, int port)
{
    const qint64 at = clock_.elapsed();
    while (!actions_.empty() && actions_.front().atMs < at - KeptMs)
        actions_.pop_front();
    actions_.push_back({at, kind, port});
    emit acted();
}

void PowerHistory::displayCleared(bool sessionEnded)
{
    // Kept until the next session reads its first port.
    if (sessionEnded)
        sessionEnded_ = true;
}

void PowerHistory::clear()
{
    for (Ring& ring : rings_)
        ring.first = ring.count = 0;
    actions_.clear();
    emit cleared();
}

bool PowerHistory::isEmpty() const
{
    return actions_.empty() &&
           std::all_of(rings_.begin(), rings_.end(), [](const Ring& ring) { return ring.count == 0; });
}

void PowerHistory::forEachAction(qint64 sinceMs,
                                 const std::function<void(const OperatorAction&)>& visit) const
{
    for (const OperatorAction& action : actions_)
        if (action.atMs >= sinceMs)
            visit(action);
}

QString PowerHistory::portDescription(int port) const
{
    return state_ && port >= 1 && port <= MaxPorts ? state_->portDescription[std::size_t(port)].trimmed()
                                                   : QString();
}

int PowerHistory::sampleCount(int port) const
{
    return port >= 1 && port <= MaxPorts ? rings_[std::size_t(port)].count : 0;
}

void PowerHistory::forEach(int port, qint64 sinceMs,
                           const std::function<void(const PowerSample&)>& visit) const
{
    if (port < 1 || port > MaxPorts)
        return;
    const Ring& ring = rings_[std::size_t(port)];
    for (int i = firstAtOrAfter(ring, sinceMs); i < ring.count; ++i)
        visit(ring.at(i));
}

int PowerHistory::firstAtOrAfter(const Ring& ring, qint64 sinceMs)
{
    int low = 0;
    int high = ring.count;
    while (low < high) {
        const int middle = (low + high) / 2;
        if (ring.at(middle).atMs < sinceMs)
            low = middle + 1;
        else
            high = middle;
    }
    return low;
}

qint64 PowerHistory::now() const
{
    return clock_.elapsed();
}

QDateTime PowerHistory::timeOf(qint64 atMs) const
{
    return epoch_.addMSecs(atMs);
}

void PowerHistory::watch(QObject* context, std::function<void(int port)> changed) const
{
    connect(this, &PowerHistory::sampled, context, changed);
    connect(this, &PowerHistory::cleared, context, [changed] { changed(0); });
    connect(this, &PowerHistory::acted, context, [changed] { changed(ActionsChanged); });
}

QByteArray PowerHistory::csv() const
{
    struct Row {
        qint64 atMs;
        int port; // 0 for an action
        int index;
    };
    std::vector<Row> rows;
    for (int port = 1; port <= MaxPorts; ++port)
        for (int i = 0; i < rings_[std::size_t(port)].count; ++i)
            rows.push_back({rings_[std::size_t(port)].at(i).atMs, port, i});
    for (std::size_t i = 0; i < actions_.size(); ++i)
        rows.push_back({actions_[i].atMs, 0, int(i)});
    std::stable_sort(rows.begin(), rows.end(), [](const Row& a, const Row& b) { return a.atMs < b.atMs; });

    const QByteArray unit = ',' + field(unitAddress_) + ',' + field(unitModel_) + ',';
    QByteArray text = QByteArray(CsvHeader) + '\n';
    text.reserve(qsizetype(rows.size()) * (64 + unit.size()) + text.size());
    for (const Row& row : rows) {
        if (row.port == 0) {
            const OperatorAction& a = actions_[std::size_t(row.index)];
            text += timeOf(a.atMs).toString(Qt::ISODateWithMs).toLatin1() + ',' +
                    (a.port > 0 ? QByteArray::number(a.port) : QByteArray()) + ",,,,," + unit.mid(1) +
                    actionText(a.kind).toLatin1() + '\n';
            continue;
        }
        const PowerSample& s = rings_[std::size_t(row.port)].at(row.index);
        text += timeOf(s.atMs).toString(Qt::ISODateWithMs).toLatin1() + ',' + QByteArray::number(row.port) +
                ',' + number(s.powerMw) + ',' + number(s.voltageV) + ',' + number(s.currentMa) + ',' +
                QByteArray::number(s.status) + unit + '\n';
    }
    return text;
}

QString PowerHistory::exportCsv(const QString& path) const
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return file.errorString();
    const QByteArray text = csv();
    if (file.write(text) != text.size()) {
        const QString reason = file.errorString();
        file.cancelWriting();
        return reason;
    }
    if (!file.commit())
        return file.errorString();
    return {};
}
