#pragma once

#include <QByteArray>
#include <QString>
#include <QVariantMap>
#include <optional>

// What every log file's first line says about the application, the host
// and the install. Built once per run; immutable, readable from any thread.
class CRKAnalyticsMetadataController {
public:
    // `timestamp` in milliseconds; `betaToken` may be null.
    CRKAnalyticsMetadataController(quint64 timestamp, const QString& betaToken);

    const QVariantMap& metadata() const { return metadata_; }
    const QByteArray& metadataJSONData() const { return json_; }

    static QVariantMap metadataWithTimeStamp(quint64 timestamp, const QString& betaToken, const QString& adToken);
    // "2:<token>" → "<token>"; anything else → null.
    static QString unwrapBetaToken(const QString& token);
    static QString hostLocale();
    static int hostNumCores();

private:
    QVariantMap metadata_;
    QByteArray json_;
};
