#pragma once

#include "kithost/KTHURLTypes.h"

#include <QString>
#include <memory>

class CRKEventLogEvent;

// An append-only event log file with a kept-open write handle. Not locked:
// the analytics controller confines each file to one queue.
//
// An append is all or nothing: a failed or short write is cut back to the
// size before it, so a length prefix can never promise bytes that are not
// there. Opening an existing file drops a last record torn by a killed
// process, so appends never follow a broken line.
class CRKEventLogFile {
public:
    // Nullptr (logged in debug mode) when the file cannot be made or opened.
    static std::unique_ptr<CRKEventLogFile> open(const QString& path);
    ~CRKEventLogFile();
    CRKEventLogFile(const CRKEventLogFile&) = delete;
    CRKEventLogFile& operator=(const CRKEventLogFile&) = delete;

    const QString& path() const { return path_; }
    // Bytes on disk when opened plus every byte appended since.
    quint64 fileSize() const { return fileSize_; }

    bool appendData(const QByteArray& data, KTHError* error = nullptr);
    bool appendEvent(const CRKEventLogEvent& event, KTHError* error = nullptr);
    bool openFileHandleForWriting();
    void closeFileHandle();

    // Cuts the file at `path` back to its whole records. False when it could
    // not be read or cut.
    static bool truncateToWholeRecords(const QString& path, KTHError* error = nullptr);

private:
    explicit CRKEventLogFile(QString path) : path_(std::move(path)) {}

    QString path_;
    quint64 fileSize_ = 0;
    int fd_ = -1;
};

// An error from errno, in the platform's POSIX domain.
KTHError CRKPosixError(int code, const QString& what);
