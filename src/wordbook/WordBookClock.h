#pragma once

#include <QDateTime>
#include <QString>
#include <functional>

// The word book's notion of "now", replaceable so that day boundaries and
// review intervals can be exercised without waiting.
namespace wbclock {

QDateTime now();
// nullptr restores the system clock.
void setNowForTesting(std::function<QDateTime()> source);

// "yyyy-MM-dd HH:mm:ss +0000": the stored form of an instant, always UTC so
// that text order is time order.
QString describe(const QDateTime& t);
QString nowDescription();
// The local calendar day of t, "yyyy-MM-dd".
QString localDay(const QDateTime& t);
QString today();
// Reads the stored instant form (any "+hhmm"/"-hhmm" offset); invalid for
// empty or malformed text.
QDateTime dateFromTime(const QString& text);

}  // namespace wbclock
