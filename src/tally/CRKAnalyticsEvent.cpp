#include "tally/CRKAnalyticsEvent.h"

#include "kithost/KTHIdentifiers.h"
#include "tally/CRKTallyEvent.h"

#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>

CRKAnalyticsEvent::CRKAnalyticsEvent(quint64 priority, quint64 timestamp, const QString& key, QByteArray json,
                                     QString eventIdentifier, QVariantMap values)
    : CRKEventLogEvent(priority, timestamp, key, std::move(json)),
      eventIdentifier_(std::move(eventIdentifier)),
      values_(std::move(values))
{
}

std::shared_ptr<CRKAnalyticsEvent> CRKAnalyticsEvent::create(quint64 priority, quint64 timestamp, const QString& key,
                                                              const QString& eventIdentifier,
                                                              const QVariantMap& payloadValues)
{
    QVariantMap values = payloadValues;
    values.insert(QStringLiteral("eventId"), eventIdentifier);
    // Attribute values are strings and numbers only, so encoding cannot fail.
    const QJsonObject object = QJsonObject::fromVariantMap(values);
    return std::make_shared<CRKAnalyticsEvent>(priority, timestamp, key,
                                               QJsonDocument(object).toJson(QJsonDocument::Compact), eventIdentifier,
                                               payloadValues);
}

std::shared_ptr<CRKAnalyticsEvent> CRKAnalyticsEvent::fromTallyEvent(const CRKTallyEvent& event, quint64 timestamp,
                                                                     const QString& eventIdentifier)
{
    return create(2, timestamp, event.key(), eventIdentifier, event.payloadDictionary());
}

std::shared_ptr<CRKAnalyticsEvent> CRKAnalyticsEvent::lifecycleFromNotification(const QString& name,
                                                                                 quint64 timestamp,
                                                                                 const QString& eventIdentifier,
                                                                                 bool highPriorityEventOnBackground)
{
    if (name == QLatin1String(kNSApplicationWillTerminateNotification))
        return create(1, timestamp, QStringLiteral("app_terminated"), eventIdentifier);
    if (name == QLatin1String(kNSApplicationWillResignActiveNotification))
        return create(highPriorityEventOnBackground ? 0 : 1, timestamp, QStringLiteral("app_became_inactive"),
                      eventIdentifier);
    if (name == QLatin1String(kNSApplicationDidBecomeActiveNotification))
        return create(0, timestamp, QStringLiteral("app_became_active"), eventIdentifier);
    return nullptr;
}

std::shared_ptr<CRKAnalyticsEvent> CRKAnalyticsEvent::appInstalled(quint64 timestamp, const QString& eventIdentifier)
{
    return create(0, timestamp, QStringLiteral("app_installed"), eventIdentifier);
}

std::shared_ptr<CRKAnalyticsEvent> CRKAnalyticsEvent::appLaunched(quint64 timestamp, const QString& eventIdentifier)
{
    return create(1, timestamp, QStringLiteral("app_launched"), eventIdentifier);
}

std::shared_ptr<CRKAnalyticsEvent> CRKAnalyticsEvent::appCrashed(quint64 timestamp, const QString& eventIdentifier)
{
    return create(1, timestamp, QStringLiteral("app_crashed"), eventIdentifier);
}

QString CRKAnalyticsEvent::description() const
{
    return QStringLiteral("CRKAnalyticsEvent {id=%1, key=%2, stringPayloadValueDict=%3}")
        .arg(eventIdentifier_, key(),
             QString::fromUtf8(QJsonDocument(QJsonObject::fromVariantMap(values_)).toJson(QJsonDocument::Compact)));
}

std::shared_ptr<CRKEventLogEvent> CRKAnalyticsMetadataEvent(quint64 priority, quint64 timestamp,
                                                            const std::optional<QByteArray>& metadataJSON)
{
    return std::make_shared<CRKEventLogEvent>(priority, timestamp, QStringLiteral("metadata"), metadataJSON);
}

namespace CRKAnalyticsIdentifierGenerator {

QString generateSessionFragmentIdentifier() { return KTHNewUUIDString(); }
QString generateEventIdentifier() { return KTHNewUUIDString(); }

}  // namespace CRKAnalyticsIdentifierGenerator

namespace CRKAnalyticsTimestampGenerator {

quint64 generateAnalyticsTimestamp()
{
    return quint64(QDateTime::currentMSecsSinceEpoch());
}

}  // namespace CRKAnalyticsTimestampGenerator

namespace CRKAnalyticsEventFilter {

bool shouldDiscardEvent(const CRKEventLogEvent* event, const QString& betaToken, const QString& installationID,
                        qint64 factor)
{
    if (!event)
        return true;
    if (!betaToken.isNull())
        return false;
    if (!samplingEnabledForEventType(event->key()))
        return false;
    return shouldDiscardEventWithInstallationID(installationID, factor);
}

bool samplingEnabledForEventType(const QString& key)
{
    static const QSet<QString> sampled = {
        QStringLiteral("app_launched"),        QStringLiteral("app_terminated"),
        QStringLiteral("app_crashed"),         QStringLiteral("app_memory_warning"),
        QStringLiteral("app_entered_background"), QStringLiteral("app_entered_foreground"),
        QStringLiteral("app_became_inactive"), QStringLiteral("app_became_active"),
    };
    return sampled.contains(key);
}

bool shouldDiscardEventWithInstallationID(const QString& installationID, qint64 factor)
{
    if (installationID.isNull() || factor < 2)
        return false;
    return qint64(javaHashCodeForString(installationID)) % factor != 0;
}

qint32 javaHashCodeForString(const QString& text)
{
    quint32 h = 0;
    for (const QChar c : text)
        h = h * 31u + c.unicode();
    return qint32(h);
}

}  // namespace CRKAnalyticsEventFilter
