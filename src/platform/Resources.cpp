#include "platform/Resources.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace Resources {

QString directory() {
    static const QString dir = [] {
        const QString env = qEnvironmentVariable("MIRVOK_RESOURCES");
        if (!env.isEmpty() && QFileInfo(env).isDir()) return QDir(env).absolutePath();
        if (QCoreApplication::instance()) {
            const QString installed = QCoreApplication::applicationDirPath() + QStringLiteral("/../share/mirvok");
            if (QFileInfo(installed).isDir()) return QDir(installed).canonicalPath();
        }
#ifdef MIRVOK_SOURCE_RESOURCES_DIR
        return QStringLiteral(MIRVOK_SOURCE_RESOURCES_DIR);
#else
        return QString();
#endif
    }();
    return dir;
}

QString path(const QString& relative) { return directory() + u'/' + relative; }

QString readText(const QString& relative) {
    QFile f(path(relative));
    if (!f.open(QIODevice::ReadOnly)) return QString();
    return QString::fromUtf8(f.readAll());
}

}  // namespace Resources
