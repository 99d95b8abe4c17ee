#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QString>

// Reads the ".crkrecord" files a run left: one JSON object per line. The
// bytes come from a process that may have died mid-write, so a line that
// does not parse (a cut last line, garbage) is skipped, never the file.
// Files are read whole: the writers bound them well below kCRKMaxRecordFile,
// and anything larger is cut there rather than read into memory.
inline constexpr qint64 kCRKMaxRecordFile = 64 * 1024 * 1024;

// Every line that parses as a JSON object, in file order. Null when the file
// cannot be read or nothing parses.
QList<QJsonObject> CRKFileReadSections(const QString& path);
// The same over bytes already read.
QList<QJsonObject> CRKRecordSectionsFromData(const QByteArray& data);

// Unsigned integer of a JSON number (addresses fit a double's 53 bits on
// every 64-bit Linux user space); 0 for anything that is not a non-negative
// number.
quint64 CRKRecordUnsigned(const QJsonValue& value);
