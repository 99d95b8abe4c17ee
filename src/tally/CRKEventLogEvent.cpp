#include "tally/CRKEventLogEvent.h"

#include <QHash>

CRKEventLogEvent::CRKEventLogEvent(quint64 priority, quint64 timestamp, QString key, std::optional<QByteArray> payload)
    : priority_(priority), timestamp_(timestamp), key_(std::move(key)), payload_(std::move(payload))
{
}

QByteArray CRKEventLogEvent::eventData() const
{
    QByteArray line = QByteArray::number(qint64(timestamp_));
    line += '\t';
    line += key_.toUtf8();
    if (payload_) {
        line += '\t';
        line += QByteArray::number(qint64(payload_->size()));
        line += '\t';
        line += *payload_;
    }
    line += '\n';
    return line;
}

bool CRKEventLogEvent::operator==(const CRKEventLogEvent& other) const
{
    return priority_ == other.priority_ && timestamp_ == other.timestamp_ && key_ == other.key_
           && payload_ == other.payload_;
}

quint64 CRKEventLogEvent::hash() const
{
    const quint64 payloadHash = payload_ ? quint64(qHash(*payload_)) : 0;
    return priority_ + 2 * timestamp_ + 4 * quint64(qHash(key_)) + 8 * payloadHash;
}

namespace CRKEventLogReader {

namespace {

// Decimal digits up to `stop`; -1 when there are none, too many, or the
// stop byte is missing.
qint64 readNumber(const QByteArray& bytes, qint64& at, char stop)
{
    const qint64 n = bytes.size();
    const qint64 first = at;
    qint64 value = 0;
    while (at < n && bytes[at] >= '0' && bytes[at] <= '9') {
        if (at - first >= 18)
            return -1;
        value = value * 10 + (bytes[at] - '0');
        ++at;
    }
    if (at == first || at >= n || bytes[at] != stop)
        return -1;
    ++at;
    return value;
}

}  // namespace

qint64 readRecord(const QByteArray& bytes, qint64 offset, CRKEventLogRecord* record)
{
    const qint64 n = bytes.size();
    qint64 at = offset;
    const qint64 timestamp = readNumber(bytes, at, '\t');
    if (timestamp < 0)
        return -1;
    const qint64 keyStart = at;
    while (at < n && bytes[at] != '\t' && bytes[at] != '\n')
        ++at;
    if (at >= n || at == keyStart)
        return -1;
    CRKEventLogRecord r;
    r.timestamp = timestamp;
    r.key = bytes.mid(keyStart, at - keyStart);
    if (bytes[at] == '\t') {
        ++at;
        const qint64 length = readNumber(bytes, at, '\t');
        if (length < 0 || length > n - at - 1 || bytes[at + length] != '\n')
            return -1;
        r.payload = bytes.mid(at, length);
        at += length;
    }
    ++at;   // the LF
    if (record)
        *record = std::move(r);
    return at;
}

qint64 wholeRecordsLength(const QByteArray& bytes)
{
    qint64 at = 0;
    while (at < bytes.size()) {
        const qint64 next = readRecord(bytes, at);
        if (next < 0)
            break;
        at = next;
    }
    return at;
}

}  // namespace CRKEventLogReader
