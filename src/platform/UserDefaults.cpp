#include "platform/UserDefaults.h"

#include "platform/Lenient.h"
#include "platform/PlainIniFormat.h"
#include "platform/PrivateFiles.h"
#include "platform/UserNotices.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutexLocker>
#include <QStandardPaths>

namespace {
QMutex g_standardMutex;
UserDefaults* g_standard = nullptr;
}  // namespace

UserDefaults::UserDefaults(const QString& iniPath, QObject* parent)
    : QObject(parent) {
    privatefiles::makeParentDir(iniPath);
    // The file holds the account's session token and cookie copies: owner
    // only. Every write makes it so (plainini::write); one left wider by an
    // older version is narrowed now.
    if (QFileInfo(iniPath).isFile() && QFile::permissions(iniPath) != privatefiles::kFilePermissions)
        privatefiles::restrictFile(iniPath);
    settings_ = std::make_unique<QSettings>(iniPath, plainini::format());
    if (settings_->status() != QSettings::NoError && QFileInfo::exists(iniPath)) {
        // A damaged file must not stop every start, nor be overwritten: it is
        // kept beside the new one for whoever wants to look at it.
        settings_.reset();
        const QString aside = privatefiles::damagedAsideName(iniPath);
        const bool moved = !QFileInfo::exists(aside) && QFile::rename(iniPath, aside);
        if (moved) {
            movedAside_ = aside;
            usernotices::post(QStringLiteral("偏好设置文件已损坏，无法读取。原文件已保存为“%1”，设置已恢复为默认值。")
                                  .arg(QDir::toNativeSeparators(aside)));
        }
        qWarning().noquote() << QStringLiteral("preferences: %1 is not a preferences file; %2, starting with defaults")
                                    .arg(iniPath, moved ? QStringLiteral("moved aside to ") + aside
                                                        : QStringLiteral("could not move it aside"));
        if (!moved) QFile::remove(iniPath);
        settings_ = std::make_unique<QSettings>(iniPath, plainini::format());
    }
}

UserDefaults::~UserDefaults() {
    QMutexLocker lock(&mutex_);
    settings_->sync();
}

QString UserDefaults::standardPath() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/mirvok/mirvok.conf");
}

UserDefaults& UserDefaults::standard() {
    QMutexLocker lock(&g_standardMutex);
    if (!g_standard) g_standard = new UserDefaults(standardPath());
    return *g_standard;
}

void UserDefaults::resetStandard() {
    QMutexLocker lock(&g_standardMutex);
    delete g_standard;
    g_standard = nullptr;
}

// QSettings reads "/" as a group separator and "\" as an escape; the keys we
// store are flat, so both are written as %-escapes (and "%" itself).
QString UserDefaults::escapeKey(const QString& key) {
    QString out;
    out.reserve(key.size());
    for (QChar c : key) {
        if (c == u'%') out += QStringLiteral("%25");
        else if (c == u'/') out += QStringLiteral("%2F");
        else if (c == u'\\') out += QStringLiteral("%5C");
        else out += c;
    }
    return out;
}

QString UserDefaults::unescapeKey(const QString& key) {
    QString out = key;
    out.replace(QStringLiteral("%2F"), QStringLiteral("/"));
    out.replace(QStringLiteral("%5C"), QStringLiteral("\\"));
    out.replace(QStringLiteral("%25"), QStringLiteral("%"));
    return out;
}

// A line kept unread (plainini::KeptLine) is, to every reader, no value.
QVariant UserDefaults::value(const QString& key) const {
    QMutexLocker lock(&mutex_);
    const QVariant stored = settings_->value(escapeKey(key));
    if (stored.isValid() && !plainini::isKept(stored)) return stored;
    return registered_.value(key);
}

bool UserDefaults::contains(const QString& key) const {
    QMutexLocker lock(&mutex_);
    const QVariant stored = settings_->value(escapeKey(key));
    return stored.isValid() && !plainini::isKept(stored);
}

void UserDefaults::setValue(const QString& key, const QVariant& given) {
    if (!given.isValid() || given.isNull()) {
        remove(key);
        return;
    }
    // Kept as it will read back after a restart.
    const QVariant value = plainini::storable(given);
    if (!value.isValid()) {
        qWarning().noquote() << QStringLiteral("preferences: a value of type %1 cannot be stored (%2)")
                                    .arg(QString::fromLatin1(given.typeName()), key);
        return;
    }
    {
        // Setting what is stored leaves the file alone: a start that changes
        // nothing must not rewrite it (with a large file that took seconds).
        QMutexLocker lock(&mutex_);
        const QString k = escapeKey(key);
        if (!settings_->contains(k) || !plainini::sameOnDisk(settings_->value(k), value)) settings_->setValue(k, value);
    }
    Q_EMIT changed(key);
}

void UserDefaults::remove(const QString& key) {
    {
        QMutexLocker lock(&mutex_);
        const QString k = escapeKey(key);
        if (settings_->contains(k)) settings_->remove(k);
    }
    Q_EMIT changed(key);
}

void UserDefaults::registerDefaults(const QVariantMap& defaults) {
    QMutexLocker lock(&mutex_);
    for (auto it = defaults.cbegin(); it != defaults.cend(); ++it) registered_.insert(it.key(), it.value());
}

QStringList UserDefaults::keys() const {
    QMutexLocker lock(&mutex_);
    QStringList out;
    for (const QString& k : settings_->allKeys())
        if (!plainini::isKept(settings_->value(k))) out << unescapeKey(k);
    return out;
}

bool UserDefaults::boolValue(const QString& key) const { return lenient::toBool(value(key)); }
qint64 UserDefaults::integerValue(const QString& key) const { return lenient::toInteger(value(key)); }
double UserDefaults::doubleValue(const QString& key) const { return lenient::toDouble(value(key)); }
QString UserDefaults::stringValue(const QString& key) const {
    const QVariant v = value(key);
    return v.typeId() == QMetaType::QString || v.typeId() == QMetaType::QByteArray ? lenient::toString(v) : QString();
}

void UserDefaults::sync() {
    QMutexLocker lock(&mutex_);
    settings_->sync();
}

QString UserDefaults::movedAside() const {
    QMutexLocker lock(&mutex_);
    return movedAside_;
}

QString UserDefaults::fileName() const {
    QMutexLocker lock(&mutex_);
    return settings_->fileName();
}
