#include "query/DeviceHelper.h"

#include "platform/HostInfo.h"

#include <QMutex>
#include <QMutexLocker>
#include <QNetworkInterface>
#include <QRegularExpression>
#include <QStringList>

namespace {

// The cached texts are read from any thread (the synchronisation address is
// built at start-up, capture may ask later), so they sit behind a lock.
QMutex g_mutex;
QString g_macID;
QString g_systemVersion;

QString readFirstLine(const QString& absolute) { return HostInfo::readFirstLine(absolute); }

// Firmware fills unset DMI fields with placeholders; those identify nothing.
bool isPlaceholder(const QString& v) {
    static const QStringList junk = {QStringLiteral("None"), QStringLiteral("Not Specified"),
                                     QStringLiteral("Default string"), QStringLiteral("To Be Filled By O.E.M."),
                                     QStringLiteral("System Serial Number"), QStringLiteral("0")};
    return junk.contains(v, Qt::CaseInsensitive);
}

}  // namespace

QString DeviceHelper::formatHardwareAddress(const QByteArray& b) {
    if (b.size() != 6) return QString();
    if (b == QByteArray(6, '\0')) return QString();
    return QString::asprintf("%02X:%02X:%02X:%02X:%02X:%02X", quint8(b[0]), quint8(b[1]), quint8(b[2]),
                             quint8(b[3]), quint8(b[4]), quint8(b[5]));
}

QString DeviceHelper::macID() {
    {
        QMutexLocker lock(&g_mutex);
        if (!g_macID.isEmpty()) return g_macID;
    }
    QString found;
    for (const QNetworkInterface& iface : QNetworkInterface::allInterfaces()) {
        const auto flags = iface.flags();
        if (!(flags & QNetworkInterface::IsUp) || !(flags & QNetworkInterface::IsRunning) ||
            (flags & QNetworkInterface::IsLoopBack))
            continue;
        const QString hw = iface.hardwareAddress();
        QByteArray bytes;
        for (const QString& part : hw.split(u':')) {
            bool ok = false;
            const uint v = part.toUInt(&ok, 16);
            if (!ok || v > 0xFF) { bytes.clear(); break; }
            bytes.append(char(v));
        }
        found = formatHardwareAddress(bytes);
        if (!found.isEmpty()) break;
    }
    if (found.isEmpty()) return QString();
    QMutexLocker lock(&g_mutex);
    g_macID = found;
    return found;
}

QString DeviceHelper::serialNumber() {
    const QString serial = readFirstLine(QStringLiteral("/sys/class/dmi/id/product_serial"));
    if (!serial.isNull() && !isPlaceholder(serial)) return serial;
    return readFirstLine(QStringLiteral("/etc/machine-id"));
}

QString DeviceHelper::unknownModel() { return QStringLiteral("Just an Apple Computer"); }

QString DeviceHelper::model() {
    const QString name = HostInfo::productName();
    if (name.isNull() || isPlaceholder(name)) return unknownModel();
    return name;
}

QString DeviceHelper::versionFromOsRelease(const QString& text) {
    QString name, version;
    for (const QString& raw : text.split(u'\n')) {
        const QString line = raw.trimmed();
        const qsizetype eq = line.indexOf(u'=');
        if (eq <= 0) continue;
        const QString key = line.left(eq);
        QString value = line.mid(eq + 1).trimmed();
        if (value.size() >= 2 && (value.front() == u'"' || value.front() == u'\'') && value.back() == value.front())
            value = value.mid(1, value.size() - 2);
        if (key == u"NAME") name = value;
        else if (key == u"VERSION_ID") version = value;
    }
    if (name.isEmpty()) return QString();
    static const QRegularExpression numbers(QStringLiteral("^(\\d+)(?:\\.(\\d+))?(?:\\.(\\d+))?"));
    const auto m = numbers.match(version);
    if (!m.hasMatch()) return QString();
    return QStringLiteral("%1 %2.%3.%4")
        .arg(name)
        .arg(m.captured(1).toLongLong())
        .arg(m.captured(2).toLongLong())
        .arg(m.captured(3).toLongLong());
}

QString DeviceHelper::versionFromKernelRelease(const QString& release) {
    static const QRegularExpression numbers(QStringLiteral("^(\\d+)(?:\\.(\\d+))?(?:\\.(\\d+))?"));
    const auto m = numbers.match(release);
    if (!m.hasMatch()) return QStringLiteral("Linux 0.0.0");
    return QStringLiteral("Linux %1.%2.%3")
        .arg(m.captured(1).toLongLong())
        .arg(m.captured(2).toLongLong())
        .arg(m.captured(3).toLongLong());
}

QString DeviceHelper::systemVersion() {
    {
        QMutexLocker lock(&g_mutex);
        if (!g_systemVersion.isEmpty()) return g_systemVersion;
    }
    QString version;
    const QString osRelease = HostInfo::readSmallFile(QStringLiteral("/etc/os-release"));
    if (!osRelease.isNull()) version = versionFromOsRelease(osRelease);
    if (version.isEmpty()) version = versionFromKernelRelease(HostInfo::kernelRelease());
    QMutexLocker lock(&g_mutex);
    g_systemVersion = version;
    return version;
}

void DeviceHelper::setFileRootForTesting(const QString& root) {
    HostInfo::setFileRootForTesting(root);
    QMutexLocker lock(&g_mutex);
    g_macID.clear();
    g_systemVersion.clear();
}
