#include "wordbook/WordBookClock.h"

#include <QMutex>
#include <QRegularExpression>

namespace wbclock {
namespace {
QMutex& clockMutex()
{
    static QMutex m;
    return m;
}
std::function<QDateTime()>& source()
{
    static std::function<QDateTime()> s;
    return s;
}
}  // namespace

QDateTime now()
{
    QMutexLocker lock(&clockMutex());
    return source() ? source()() : QDateTime::currentDateTime();
}

void setNowForTesting(std::function<QDateTime()> s)
{
    QMutexLocker lock(&clockMutex());
    source() = std::move(s);
}

QString describe(const QDateTime& t)
{
    return t.toUTC().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) + QStringLiteral(" +0000");
}

QString nowDescription()
{
    return describe(now());
}

QString localDay(const QDateTime& t)
{
    return t.toLocalTime().toString(QStringLiteral("yyyy-MM-dd"));
}

QString today()
{
    return localDay(now());
}

QDateTime dateFromTime(const QString& text)
{
    static const QRegularExpression re(
        QStringLiteral("^(\\d{4}-\\d{2}-\\d{2} \\d{2}:\\d{2}:\\d{2}) ([+-])(\\d{2})(\\d{2})$"));
    const auto m = re.match(text.trimmed());
    if (!m.hasMatch())
        return {};
    const QDateTime local = QDateTime::fromString(m.captured(1), QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    if (!local.isValid())
        return {};
    int offset = m.captured(3).toInt() * 3600 + m.captured(4).toInt() * 60;
    if (m.captured(2) == QLatin1String("-"))
        offset = -offset;
    return QDateTime(local.date(), local.time(), Qt::OffsetFromUTC, offset);
}

}  // namespace wbclock
