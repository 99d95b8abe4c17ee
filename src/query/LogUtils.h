#pragma once

#include <QList>
#include <QPair>
#include <QString>
#include <QVariant>

// Usage events ("action" = "lookup_lookup", "collect", …) sent to the
// service's log endpoint. Fire and forget: nothing waits, nothing is stored or
// retried; the outcome is only written to the application log.
//
// A service that answers slowly, or accepts and never answers, must not hold
// memory for every event of a long session: only maxInFlight requests are
// open at once, each ended by a time-out; later events wait in sending order
// as their addresses alone, and beyond maxWaiting of those they are dropped.
//
// Every key and value is percent-encoded as a query component, so text from
// a page (which may call this through the script bridge) can neither break
// the address nor add parameters of its own; plain ASCII words go out as they
// are.
class LogUtils {
public:
    using Extras = QList<QPair<QString, QVariant>>;

    // extras: a QVariantMap, QVariantHash or QJsonObject (sent in its
    // iteration order), or anything else (null, the page's undefined) for
    // none. Extra entries whose value is null or undefined are left out.
    static void log(const QString& key, const QString& value, const QVariant& extras = QVariant());
    // The same with extras in the caller's order.
    static void log(const QString& key, const QString& value, const Extras& extras);

    // As many as the network stack opens connections to one host: more would
    // only wait inside it, their time-out already running.
    static constexpr int maxInFlight = 6;
    static constexpr int maxWaiting = 256;
    static constexpr int defaultTimeoutMs = 60000;
    // For tests, which cannot wait a minute for a silent service.
    static void setTimeoutMs(int ms);

    // The address log() requests, relative to the dictionary service.
    static QByteArray logAddress(const QString& key, const QString& value, const Extras& extras);
    static Extras extrasFrom(const QVariant& extras);
};
