#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

// The crash kit's folder tree under the user's caches:
// com.crashkit.data/<namespace>/v3/{active,pending,processing,prepared} and
// the launch marker. One folder per run, named by its execution identifier.
//
// Hidden entries (names beginning with ".") are never listed, moved or
// removed by the folder-wide operations. A running instance holds an
// exclusive flock on the hidden ".lock" of its own report folder for its
// whole life; folders whose lock is held elsewhere are live and are left
// alone by every folder-wide operation.
//
// No state beyond the root path: safe from any thread.
class CRKFileManager {
public:
    CRKFileManager();

    QString rootPath() const { return rootPath_; }
    QString structurePath() const;
    QString activePath() const;
    QString pendingPath() const;
    QString processingPath() const;
    QString preparedPath() const;
    QStringList activePathContents() const { return contentsOfDirectory(activePath()); }
    QStringList processingPathContents() const { return contentsOfDirectory(processingPath()); }
    QStringList preparedPathContents() const { return contentsOfDirectory(preparedPath()); }

    bool createDirectoryAtPath(const QString& path) const;
    bool removeItemAtPath(const QString& path) const;
    bool removeContentsOfDirectoryAtPath(const QString& path) const;
    bool moveItemAtPath(const QString& path, const QString& directory) const;
    // Full path and extension of each entry not beginning with ".".
    void enumerateFilesInDirectory(const QString& directory,
                                   const std::function<void(const QString&, const QString&)>& block) const;
    bool moveItemsFromDirectory(const QString& from, const QString& to) const;
    std::optional<qint64> fileSizeAtPath(const QString& path) const;
    QStringList contentsOfDirectory(const QString& directory) const;
    static QString pathNamespace();

    bool prepareForNewLaunch() const;
    QString setupNewPathForExecutionIdentifier(const QString& identifier) const;
    void removeLegacyDirectories() const;
    bool removeContentsOfAllPaths() const;
    bool removeContentsOfProcessingPath() const { return removeContentsOfDirectoryAtPath(processingPath()); }
    bool removeContentsOfPendingPath() const { return removeContentsOfDirectoryAtPath(pendingPath()); }
    // Packages whose writing a kill interrupted ("prepared/.*.part").
    void removeStalePartialPackages() const;

    // Takes the exclusive lock of a report folder (creating ".lock"); the
    // descriptor, or -1 when another process holds it or the folder is gone.
    // Closing the descriptor releases the lock.
    static int lockReportFolder(const QString& folder);
    // Whether another process holds the folder's lock right now.
    static bool isReportFolderLive(const QString& folder);
    // Takes a non-blocking exclusive lock on a file; -1 when held elsewhere
    // or when the file does not exist (unless `create`).
    static int lockFile(const QString& path, bool create = false);
    static void unlock(int fd);

private:
    QString rootPath_;
};
