#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

// One stored event: a line of an event log file. The line is the timestamp
// in decimal, TAB, the key, and, when there is a payload, TAB, its length in
// bytes, TAB and the bytes themselves; then LF. Nothing is escaped: a key
// never holds TAB or LF, and the length lets the payload hold anything.
class CRKEventLogEvent {
public:
    CRKEventLogEvent(quint64 priority, quint64 timestamp, QString key, std::optional<QByteArray> payload);
    virtual ~CRKEventLogEvent() = default;

    quint64 priority() const { return priority_; }
    quint64 timestamp() const { return timestamp_; }
    const QString& key() const { return key_; }
    const std::optional<QByteArray>& payload() const { return payload_; }

    QByteArray eventData() const;

    bool operator==(const CRKEventLogEvent& other) const;
    quint64 hash() const;

private:
    quint64 priority_;
    quint64 timestamp_;
    QString key_;
    std::optional<QByteArray> payload_;
};

// One line as read back from a log file.
struct CRKEventLogRecord {
    qint64 timestamp = 0;
    QByteArray key;
    std::optional<QByteArray> payload;
};

namespace CRKEventLogReader {

// Reads the record starting at `offset`; on success fills `record` (when
// given) and returns the offset just past its LF. -1 when the bytes there
// are not one whole record (cut short by a crash, or damaged).
qint64 readRecord(const QByteArray& bytes, qint64 offset, CRKEventLogRecord* record = nullptr);
// The length of the longest prefix made of whole records: what survives of
// a file whose last append was torn.
qint64 wholeRecordsLength(const QByteArray& bytes);

}  // namespace CRKEventLogReader
