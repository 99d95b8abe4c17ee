#pragma once

#include <QByteArray>
#include <QString>

// Compresses with deflate in a gzip wrapper (window bits 31, memory level 4,
// default level and strategy) in 5120-byte blocks. 0 on success, -1 on any
// failure, including a write, flush or close that did not reach the file.
int CRKAnalyticsGzipCompressFile(int sourceFd, int destinationFd);

// Compresses the file at `source` into a new file at `destination`, reading
// only its whole records when `wholeRecordsOnly` (a record torn by a killed
// process is never sent). The destination is written, flushed and synced
// before this returns 0.
int CRKAnalyticsGzipCompressLogFile(const QString& source, const QString& destination, bool wholeRecordsOnly = true);
