#include "platform/CRKUserDefaults.h"

#include "platform/PrivateFiles.h"
#include "platform/PropertyList.h"
#include "platform/UserDefaults.h"

#include <QDebug>
#include <QLoggingCategory>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>
#include <memory>

namespace {

// The kits' lines: off in a terminal by default (QT_LOGGING_RULES="mirvok.kit.info=true").
Q_LOGGING_CATEGORY(lcKitDefaults, "mirvok.kit", QtWarningMsg)

QMutex g_instanceMutex;
std::unique_ptr<CRKUserDefaults> g_instance;

void logLine(const QString& line)
{
    qCInfo(lcKitDefaults).noquote() << line;
}

}  // namespace

CRKUserDefaults& CRKUserDefaults::standardUserDefaults()
{
    QMutexLocker lock(&g_instanceMutex);
    if (!g_instance)
        g_instance.reset(new CRKUserDefaults);
    return *g_instance;
}

void CRKUserDefaults::resetStandardUserDefaults()
{
    QMutexLocker lock(&g_instanceMutex);
    g_instance.reset();
}

CRKUserDefaults::CRKUserDefaults()
{
    directory_ = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)
                 + QStringLiteral("/com.crashkit");
    file_ = directory_ + QStringLiteral("/CRKUserDefaults.plist");
    QMutexLocker lock(&io_);
    data_ = loadDefaults();
}

QVariantMap CRKUserDefaults::loadDefaults()
{
    const QFileInfo info(file_);
    if (info.isDir()) {
        logLine(QStringLiteral("[KitHost:UserDefaults] found directory where file expected. Removing conflicting directory"));
        if (!QDir(file_).removeRecursively())
            logLine(QStringLiteral("[KitHost:UserDefaults] error removing conflicting directory: {error = %1}")
                        .arg(QStringLiteral("cannot remove %1").arg(file_)));
        return {};
    }
    if (!info.exists())
        return {};
    QFile f(file_);
    bool ok = false;
    QVariant root;
    if (f.open(QIODevice::ReadOnly))
        root = PropertyList::parse(f.readAll(), &ok);
    if (!ok || root.typeId() != QMetaType::QVariantMap) {
        logLine(QStringLiteral("[KitHost:UserDefaults] failed to read existing UserDefaults file"));
        // Keep the damaged file for inspection rather than overwriting it
        // at the next write.
        f.close();
        const QString aside = file_ + QStringLiteral(".bad");
        QFile::remove(aside);
        QFile::rename(file_, aside);
        return {};
    }
    return root.toMap();
}

QVariant CRKUserDefaults::objectForKey(const QString& key) const
{
    QMutexLocker lock(&access_);
    return data_.value(key);
}

QString CRKUserDefaults::stringForKey(const QString& key) const
{
    const QVariant v = objectForKey(key);
    return v.typeId() == QMetaType::QString ? v.toString() : QString();
}

bool CRKUserDefaults::boolForKey(const QString& key) const
{
    const QVariant v = objectForKey(key);
    switch (v.typeId()) {
    case QMetaType::Bool:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Double:
        return v.toDouble() != 0;
    default:
        return false;
    }
}

void CRKUserDefaults::setObject(const QVariant& value, const QString& key)
{
    QMutexLocker lock(&access_);
    if (!value.isValid() || value.isNull())
        data_.remove(key);
    else
        data_.insert(key, value);
}

void CRKUserDefaults::setString(const QString& value, const QString& key) { setObject(value, key); }
void CRKUserDefaults::setBool(bool value, const QString& key) { setObject(value, key); }

void CRKUserDefaults::removeObjectForKey(const QString& key)
{
    QMutexLocker lock(&access_);
    data_.remove(key);
}

void CRKUserDefaults::removeAllObjects()
{
    QMutexLocker lock(&access_);
    data_.clear();
}

QVariantMap CRKUserDefaults::dictionaryRepresentation() const
{
    QMutexLocker lock(&access_);
    return data_;
}

bool CRKUserDefaults::synchronize()
{
    // The snapshot is taken under the write lock: taken before it, a slower
    // writer could put an older snapshot over a newer one already written.
    QMutexLocker lock(&io_);
    const QVariantMap snapshot = dictionaryRepresentation();
    if (!privatefiles::makeDir(directory_))
        logLine(QStringLiteral("[KitHost:UserDefaults] failed to create directory with error:%1")
                    .arg(QStringLiteral("cannot create %1").arg(directory_)));
    QSaveFile out(file_);
    const bool opened = out.open(QIODevice::WriteOnly);
    if (opened)
        privatefiles::narrowOpenFile(out);
    if (!opened || out.write(PropertyList::serialize(snapshot)) < 0 || !out.commit()) {
        logLine(QStringLiteral("[KitHost:UserDefaults] Unable to open file for writing at path %1").arg(file_));
        return false;
    }
    return true;
}

QVariant CRKUserDefaults::objectForKeyByMigratingFromNSUserDefaults(const QString& key)
{
    if (key.isNull())
        return {};
    const QVariant here = objectForKey(key);
    if (here.isValid())
        return here;
    UserDefaults& standard = UserDefaults::standard();
    if (!standard.contains(key))
        return {};
    const QVariant value = standard.value(key);
    if (!value.isValid() || value.isNull())
        return {};
    setObject(value, key);
    if (synchronize()) {
        standard.remove(key);
        standard.sync();
    }
    return value;
}

void CRKUserDefaults::migrateFromNSUserDefaults(const QStringList& keys)
{
    UserDefaults& standard = UserDefaults::standard();
    bool copied = false;
    for (const QString& key : keys) {
        if (!standard.contains(key))
            continue;
        setObject(standard.value(key), key);
        copied = true;
    }
    if (copied && synchronize()) {
        for (const QString& key : keys)
            standard.remove(key);
        standard.sync();
    }
}
