#include "tally/CRKEventLogFile.h"

#include "kithost/KTHLog.h"
#include "platform/PrivateFiles.h"
#include "tally/CRKEventLogEvent.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

KTHError CRKPosixError(int code, const QString& what)
{
    KTHError e;
    e.domain = QStringLiteral("NSPOSIXErrorDomain");
    e.code = code;
    e.description = QStringLiteral("%1: %2").arg(what, QString::fromLocal8Bit(std::strerror(code)));
    return e;
}

std::unique_ptr<CRKEventLogFile> CRKEventLogFile::open(const QString& path)
{
    const QFileInfo info(path);
    if (info.isDir() && !QDir(path).removeRecursively())
        KTHLog::debugWrite(QStringLiteral("[CrashKit:Tally] CRKEventLogFile: Unable to delete blocking directory %1 "
                                          "[error: %2]")
                               .arg(path, QStringLiteral("cannot remove")));
    KTHError error;
    if (QFileInfo::exists(path) && !truncateToWholeRecords(path, &error)) {
        KTHLog::debugWrite(QStringLiteral("[CrashKit:Tally] CRKEventLogFile: Unable to get attributes for item at "
                                          "path %1 [error: %2]")
                               .arg(path, error.description));
        return nullptr;
    }
    std::unique_ptr<CRKEventLogFile> file(new CRKEventLogFile(path));
    if (!file->openFileHandleForWriting())
        return nullptr;
    struct stat st {};
    if (::fstat(file->fd_, &st) != 0) {
        KTHLog::debugWrite(QStringLiteral("[CrashKit:Tally] CRKEventLogFile: Unable to get attributes for item at "
                                          "path %1 [error: %2]")
                               .arg(path, QString::fromLocal8Bit(std::strerror(errno))));
        return nullptr;
    }
    file->fileSize_ = quint64(st.st_size);
    return file;
}

CRKEventLogFile::~CRKEventLogFile()
{
    closeFileHandle();
}

bool CRKEventLogFile::openFileHandleForWriting()
{
    if (fd_ >= 0)
        return false;
    const QByteArray native = QFile::encodeName(path_);
    fd_ = ::open(native.constData(), O_WRONLY | O_CREAT | O_CLOEXEC, privatefiles::kFileMode);
    if (fd_ < 0 || ::lseek(fd_, 0, SEEK_END) < 0) {
        KTHLog::debugWrite(QStringLiteral("[CrashKit:Tally] CRKEventLogFile: Unable to get open file for writing at "
                                          "path %1 [error: %2]")
                               .arg(path_, QString::fromLocal8Bit(std::strerror(errno))));
        closeFileHandle();
        return false;
    }
    return true;
}

void CRKEventLogFile::closeFileHandle()
{
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

bool CRKEventLogFile::appendData(const QByteArray& data, KTHError* error)
{
    if (fd_ < 0) {
        if (error)
            *error = CRKPosixError(EBADF, QStringLiteral("append to a closed log file"));
        return false;
    }
    const char* p = data.constData();
    qint64 left = data.size();
    while (left > 0) {
        const ssize_t n = ::pwrite(fd_, p, size_t(left), off_t(fileSize_ + quint64(data.size() - left)));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            const int code = n < 0 ? errno : ENOSPC;
            // Whatever part reached the file would break every later line.
            if (::ftruncate(fd_, off_t(fileSize_)) != 0)
                KTHLog::debugWrite(QStringLiteral("[CrashKit:Tally] CRKEventLogFile: Unable to cut back %1").arg(path_));
            if (error)
                *error = CRKPosixError(code, QStringLiteral("append to %1").arg(path_));
            return false;
        }
        p += n;
        left -= n;
    }
    fileSize_ += quint64(data.size());
    return true;
}

bool CRKEventLogFile::appendEvent(const CRKEventLogEvent& event, KTHError* error)
{
    return appendData(event.eventData(), error);
}

bool CRKEventLogFile::truncateToWholeRecords(const QString& path, KTHError* error)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadWrite)) {
        if (error)
            *error = CRKPosixError(EIO, QStringLiteral("open %1: %2").arg(path, f.errorString()));
        return false;
    }
    const QByteArray bytes = f.readAll();
    const qint64 whole = CRKEventLogReader::wholeRecordsLength(bytes);
    if (whole < bytes.size() && !f.resize(whole)) {
        if (error)
            *error = CRKPosixError(EIO, QStringLiteral("truncate %1: %2").arg(path, f.errorString()));
        return false;
    }
    return true;
}
