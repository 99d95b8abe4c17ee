#include "crash/CRKFileManager.h"

#include "kithost/KTHApplicationInfo.h"
#include "kithost/KTHLog.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {
const QString kLockName = QStringLiteral(".lock");
}

CRKFileManager::CRKFileManager()
    : rootPath_(QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation)
                + QStringLiteral("/com.crashkit.data/") + pathNamespace())
{
}

QString CRKFileManager::structurePath() const { return rootPath_ + QStringLiteral("/v3"); }
QString CRKFileManager::activePath() const { return structurePath() + QStringLiteral("/active"); }
QString CRKFileManager::pendingPath() const { return structurePath() + QStringLiteral("/pending"); }
QString CRKFileManager::processingPath() const { return structurePath() + QStringLiteral("/processing"); }
QString CRKFileManager::preparedPath() const { return structurePath() + QStringLiteral("/prepared"); }

QString CRKFileManager::pathNamespace() { return KTHApplicationBundleIdentifier(); }

bool CRKFileManager::createDirectoryAtPath(const QString& path) const
{
    if (QFileInfo(path).isDir())
        return true;
    if (!QDir().mkpath(path)) {
        KTHLog::write(QStringLiteral("[FileManager] Unable to create directory %1").arg(path));
        return false;
    }
    QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner
                                    | QFileDevice::ReadGroup | QFileDevice::ExeGroup | QFileDevice::ReadOther
                                    | QFileDevice::ExeOther);
    return true;
}

bool CRKFileManager::removeItemAtPath(const QString& path) const
{
    if (path.isEmpty()) {
        KTHLog::write(QStringLiteral("[FileManager] Failed to remove file '%1' : %2").arg(path, QStringLiteral("no path")));
        return false;
    }
    const QFileInfo info(path);
    bool ok;
    if (info.isDir() && !info.isSymLink())
        ok = QDir(path).removeRecursively();
    else
        ok = QFile::remove(path);
    if (!ok)
        KTHLog::write(QStringLiteral("[FileManager] Failed to remove file '%1' : %2")
                          .arg(path, info.exists() ? QStringLiteral("not removable") : QStringLiteral("no such file")));
    return ok;
}

bool CRKFileManager::removeContentsOfDirectoryAtPath(const QString& path) const
{
    bool all = true;
    enumerateFilesInDirectory(path, [&](const QString& entry, const QString&) {
        // A running instance's folder is not ours to empty.
        if (QFileInfo(entry).isDir() && isReportFolderLive(entry))
            return;
        if (!removeItemAtPath(entry))
            all = false;
    });
    return all;
}

bool CRKFileManager::moveItemAtPath(const QString& path, const QString& directory) const
{
    if (path.isEmpty() || directory.isEmpty() || !QFileInfo::exists(path)) {
        KTHLog::write(QStringLiteral("[FileManager] Failed to move file, inputs invalid"));
        return false;
    }
    const QString target = directory + QLatin1Char('/') + QFileInfo(path).fileName();
    if (::rename(QFile::encodeName(path).constData(), QFile::encodeName(target).constData()) != 0) {
        KTHLog::write(QStringLiteral("[FileManager] Failed to move file: %1").arg(QString::fromLocal8Bit(strerror(errno))));
        return false;
    }
    return true;
}

void CRKFileManager::enumerateFilesInDirectory(
    const QString& directory, const std::function<void(const QString&, const QString&)>& block) const
{
    const QStringList names =
        QDir(directory).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System, QDir::Name);
    for (const QString& name : names) {
        if (name.startsWith(QLatin1Char('.')))
            continue;
        const int dot = name.lastIndexOf(QLatin1Char('.'));
        block(directory + QLatin1Char('/') + name, dot > 0 ? name.mid(dot + 1) : QString());
    }
}

bool CRKFileManager::moveItemsFromDirectory(const QString& from, const QString& to) const
{
    bool ok = true;
    enumerateFilesInDirectory(from, [&](const QString& entry, const QString&) {
        if (ok && !moveItemAtPath(entry, to))
            ok = false;
    });
    return ok;
}

std::optional<qint64> CRKFileManager::fileSizeAtPath(const QString& path) const
{
    const QFileInfo info(path);
    if (!info.exists()) {
        KTHLog::write(QStringLiteral("[Client] Unable to read file size: %1").arg(path));
        return std::nullopt;
    }
    return info.size();
}

QStringList CRKFileManager::contentsOfDirectory(const QString& directory) const
{
    QStringList out;
    enumerateFilesInDirectory(directory, [&](const QString& path, const QString&) { out << path; });
    return out;
}

bool CRKFileManager::prepareForNewLaunch() const
{
    return createDirectoryAtPath(activePath()) && createDirectoryAtPath(processingPath())
           && createDirectoryAtPath(preparedPath());
}

QString CRKFileManager::setupNewPathForExecutionIdentifier(const QString& identifier) const
{
    const QString path = activePath() + QLatin1Char('/') + identifier;
    return createDirectoryAtPath(path) ? path : QString();
}

void CRKFileManager::removeLegacyDirectories() const
{
    if (!QFileInfo::exists(rootPath_ + QStringLiteral("/sendable")))
        return;
    if (QDir(rootPath_).removeRecursively())
        KTHLog::write(QStringLiteral("[CrashKit:FileManager] Removed legacy structure at %1").arg(rootPath_));
    else
        KTHLog::write(QStringLiteral("[CrashKit:FileManager] Unable to remove legacy directory structure %1")
                          .arg(rootPath_));
}

bool CRKFileManager::removeContentsOfAllPaths() const
{
    bool ok = removeContentsOfDirectoryAtPath(processingPath());
    ok = removeContentsOfDirectoryAtPath(pendingPath()) && ok;
    ok = removeContentsOfDirectoryAtPath(preparedPath()) && ok;
    ok = removeContentsOfDirectoryAtPath(activePath()) && ok;
    return ok;
}

void CRKFileManager::removeStalePartialPackages() const
{
    const QStringList names = QDir(preparedPath()).entryList({QStringLiteral(".*.part")}, QDir::Files | QDir::Hidden);
    for (const QString& name : names) {
        const QString path = preparedPath() + QLatin1Char('/') + name;
        // A package another instance is writing right now is locked.
        const int fd = lockFile(path);
        if (fd < 0)
            continue;
        QFile::remove(path);
        unlock(fd);
    }
}

int CRKFileManager::lockFile(const QString& path, bool create)
{
    // Never created by default: a package another instance has just deleted
    // would come back empty, and be skipped and kept for ever.
    const int flags = O_RDWR | O_CLOEXEC | (create ? O_CREAT : 0);
    const int fd = ::open(QFile::encodeName(path).constData(), flags, 0644);
    if (fd < 0)
        return -1;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

void CRKFileManager::unlock(int fd)
{
    if (fd >= 0)
        ::close(fd);
}

int CRKFileManager::lockReportFolder(const QString& folder)
{
    if (!QFileInfo(folder).isDir())
        return -1;
    return lockFile(folder + QLatin1Char('/') + kLockName, true);
}

bool CRKFileManager::isReportFolderLive(const QString& folder)
{
    const QString path = folder + QLatin1Char('/') + kLockName;
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool held = ::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    ::close(fd);
    return held;
}
