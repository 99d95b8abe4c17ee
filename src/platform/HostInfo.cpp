#include "platform/HostInfo.h"

#include <QFile>
#include <QMutex>
#include <QMutexLocker>
#include <QStringList>

#include <sys/utsname.h>

namespace HostInfo {

namespace {

QMutex g_mutex;
QString g_root = QStringLiteral("/");

QString rootedPath(const QString& absolute)
{
    QMutexLocker lock(&g_mutex);
    if (g_root == u"/")
        return absolute;
    return g_root + absolute;
}

}  // namespace

QString readFirstLine(const QString& absolute)
{
    QFile f(rootedPath(absolute));
    if (!f.open(QIODevice::ReadOnly))
        return QString();
    const QString line = QString::fromUtf8(f.readLine(4096)).trimmed();
    return line.isEmpty() ? QString() : line;
}

QString readSmallFile(const QString& absolute)
{
    QFile f(rootedPath(absolute));
    if (!f.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromUtf8(f.read(64 * 1024));
}

QString productName()
{
    return readFirstLine(QStringLiteral("/sys/class/dmi/id/product_name"));
}

QString kernelRelease()
{
    struct utsname u {};
    if (uname(&u) != 0)
        return QString();
    return QString::fromUtf8(u.release);
}

QString osReleaseValue(const QString& text, const QString& key)
{
    for (const QString& raw : text.split(u'\n')) {
        const QString line = raw.trimmed();
        const qsizetype eq = line.indexOf(u'=');
        if (eq <= 0 || line.left(eq) != key)
            continue;
        QString value = line.mid(eq + 1).trimmed();
        if (value.size() >= 2 && (value.front() == u'"' || value.front() == u'\'') && value.back() == value.front())
            value = value.mid(1, value.size() - 2);
        return value;
    }
    return QString();
}

QString osVersionId()
{
    const QString text = readSmallFile(QStringLiteral("/etc/os-release"));
    if (text.isNull())
        return QString();
    return osReleaseValue(text, QStringLiteral("VERSION_ID"));
}

void setFileRootForTesting(const QString& root)
{
    QMutexLocker lock(&g_mutex);
    g_root = root.isEmpty() ? QStringLiteral("/") : root;
}

}  // namespace HostInfo
