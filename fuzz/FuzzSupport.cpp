#include "FuzzSupport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>
#include <memory>

namespace fuzz {

namespace {
void dropAllButFatal(QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (type == QtFatalMsg) std::fprintf(stderr, "qFatal: %s\n", qPrintable(message));
}
}  // namespace

void quietQt() { qInstallMessageHandler(dropAllButFatal); }

QString scratchFolder() {
    static std::unique_ptr<QTemporaryDir> dir = [] {
        const QString base = QDir(QStringLiteral("/dev/shm")).exists() ? QStringLiteral("/dev/shm")
                                                                        : QDir::tempPath();
        return std::make_unique<QTemporaryDir>(base + QStringLiteral("/mirvok-fuzz-XXXXXX"));
    }();
    return dir->path();
}

QString writeScratchFile(const QString& name, const char* data, std::size_t size) {
    const QString path = scratchFolder() + u'/' + name;
    QFile f(path);
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate)) f.write(data, qint64(size));
    return path;
}

}  // namespace fuzz
