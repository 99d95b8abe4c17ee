#pragma once

#include <QList>
#include <QPair>
#include <QString>
#include <QVariant>

// Usage events ("action" = "lookup_lookup", "collect", …) sent to the
// service's log endpoint. Fire and forget: nothing waits, nothing is stored or
// retried; the outcome is only written to the application log.
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

    // The address log() requests, relative to the dictionary service.
    static QByteArray logAddress(const QString& key, const QString& value, const Extras& extras);
    static Extras extrasFrom(const QVariant& extras);
};
