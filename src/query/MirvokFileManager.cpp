#include "query/MirvokFileManager.h"

#include "platform/BundleInfo.h"
#include "platform/PrivateFiles.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

QString MirvokFileManager::getLibraryDir() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
}

QString MirvokFileManager::getMVLibraryDir() {
    const QString dir = QDir(getLibraryDir()).filePath(BundleInfo::identifier());
    privatefiles::makeDir(dir);
    return dir + u'/';
}

bool MirvokFileManager::checkFileExists(const QString& path) {
    if (path.isEmpty()) return false;
    return QFileInfo::exists(path);
}
