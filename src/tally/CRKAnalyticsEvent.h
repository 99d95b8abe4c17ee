#pragma once

#include "tally/CRKEventLogEvent.h"

#include <QVariantMap>
#include <memory>

class CRKTallyEvent;

inline constexpr char kNSApplicationWillTerminateNotification[] = "NSApplicationWillTerminateNotification";
inline constexpr char kNSApplicationWillResignActiveNotification[] = "NSApplicationWillResignActiveNotification";
inline constexpr char kNSApplicationDidBecomeActiveNotification[] = "NSApplicationDidBecomeActiveNotification";

// A stored analytics event: its payload is the compact JSON of the payload
// values plus "eventId". Immutable; made on any thread.
class CRKAnalyticsEvent : public CRKEventLogEvent {
public:
    static std::shared_ptr<CRKAnalyticsEvent> create(quint64 priority, quint64 timestamp, const QString& key,
                                                     const QString& eventIdentifier,
                                                     const QVariantMap& payloadValues = {});
    static std::shared_ptr<CRKAnalyticsEvent> fromTallyEvent(const CRKTallyEvent& event, quint64 timestamp,
                                                             const QString& eventIdentifier);

    // Lifecycle events (payload {"eventId": …} only). Nullptr for a
    // notification name other than the three observed ones.
    static std::shared_ptr<CRKAnalyticsEvent> lifecycleFromNotification(const QString& name, quint64 timestamp,
                                                                        const QString& eventIdentifier,
                                                                        bool highPriorityEventOnBackground);
    static std::shared_ptr<CRKAnalyticsEvent> appInstalled(quint64 timestamp, const QString& eventIdentifier);
    static std::shared_ptr<CRKAnalyticsEvent> appLaunched(quint64 timestamp, const QString& eventIdentifier);
    static std::shared_ptr<CRKAnalyticsEvent> appCrashed(quint64 timestamp, const QString& eventIdentifier);

    const QString& eventIdentifier() const { return eventIdentifier_; }
    const QVariantMap& stringPayloadValueDict() const { return values_; }
    QString description() const;

    CRKAnalyticsEvent(quint64 priority, quint64 timestamp, const QString& key, QByteArray json,
                      QString eventIdentifier, QVariantMap values);

private:
    QString eventIdentifier_;
    QVariantMap values_;
};

// The first line of every log file: key "metadata", the metadata JSON as
// payload (none when there is no metadata).
std::shared_ptr<CRKEventLogEvent> CRKAnalyticsMetadataEvent(quint64 priority, quint64 timestamp,
                                                            const std::optional<QByteArray>& metadataJSON);

// Identifiers and timestamps of events and fragments.
namespace CRKAnalyticsIdentifierGenerator {
QString generateSessionFragmentIdentifier();   // a new UUID, 36 characters
QString generateEventIdentifier();
}  // namespace CRKAnalyticsIdentifierGenerator

namespace CRKAnalyticsTimestampGenerator {
quint64 generateAnalyticsTimestamp();   // milliseconds since 1970
}  // namespace CRKAnalyticsTimestampGenerator

// Sampling: which installations keep the sampled lifecycle events.
namespace CRKAnalyticsEventFilter {
bool shouldDiscardEvent(const CRKEventLogEvent* event, const QString& betaToken, const QString& installationID,
                        qint64 factor);
bool samplingEnabledForEventType(const QString& key);
bool shouldDiscardEventWithInstallationID(const QString& installationID, qint64 factor);
qint32 javaHashCodeForString(const QString& text);
}  // namespace CRKAnalyticsEventFilter
