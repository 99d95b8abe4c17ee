#include "platform/PrivateFiles.h"

#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QSet>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>

namespace privatefiles {

namespace {
// Once per name: a preferences file on vfat is saved at every change.
void warnOnce(const QString& path, const QString& why) {
    static QMutex mutex;
    static QSet<QString> told;
    {
        QMutexLocker lock(&mutex);
        if (told.size() > 256 || told.contains(path)) return;
        told.insert(path);
    }
    qWarning().noquote() << QStringLiteral("files: cannot make %1 private (%2); written without it").arg(path, why);
}
}  // namespace

bool makeDir(const QString& path) {
    if (path.isEmpty()) return false;
    const QString absolute = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    if (QFileInfo(absolute).isDir()) return true;
    if (!makeDir(QFileInfo(absolute).path())) return false;
    // mkdir's mode is narrowed by the umask, never widened: 0700 stays 0700
    // or less, and a chmod then makes it exactly that.
    const QByteArray native = QFile::encodeName(absolute);
    if (::mkdir(native.constData(), kDirMode) != 0) return errno == EEXIST && QFileInfo(absolute).isDir();
    // The folder is there either way; one the file system keeps at its own
    // mode must still take the files.
    if (::chmod(native.constData(), kDirMode) != 0) warnOnce(absolute, QString::fromLocal8Bit(std::strerror(errno)));
    return true;
}

bool makeParentDir(const QString& filePath) { return makeDir(QFileInfo(filePath).absolutePath()); }

bool restrictFile(const QString& path) { return QFile::setPermissions(path, kFilePermissions); }

void narrowOpenFile(QFileDevice& file) {
    if (!file.setPermissions(kFilePermissions)) warnOnce(file.fileName(), file.errorString());
}

QString damagedAsideName(const QString& path, const QStringList& companionSuffixes) {
    const QString base =
        path + QStringLiteral(".damaged-") + QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-hhmmss"));
    auto taken = [&companionSuffixes](const QString& name) {
        if (QFileInfo::exists(name)) return true;
        for (const QString& suffix : companionSuffixes)
            if (QFileInfo::exists(name + suffix)) return true;
        return false;
    };
    QString name = base;
    for (int n = 2; taken(name); ++n) name = QStringLiteral("%1-%2").arg(base).arg(n);
    return name;
}

}  // namespace privatefiles
