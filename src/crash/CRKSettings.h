#pragma once

#include <QString>
#include <QVariant>
#include <QVariantMap>
#include <optional>

// The crash kit's answers about its configuration, from the downloaded
// settings (null before the first download) and from the configuration keys
// (environment "CrashKit<Key>", then the Info.plist "CrashKit" dictionary,
// then the built-in defaults). Immutable; safe from any thread.
//
// A settings value of the wrong kind (null, an array, an object) reads as
// the table's default; strings and numbers read leniently. Sizes are
// clamped, since packaging reads whole files into memory.
class CRKSettings {
public:
    explicit CRKSettings(std::optional<QVariantMap> settings = std::nullopt) : settings_(std::move(settings)) {}

    bool crashReportingEnabled() const;
    bool errorReportingEnabled() const;
    bool customExceptionsEnabled() const { return errorReportingEnabled(); }
    bool userPromptEnabled() const;
    quint32 logBufferSize() const;
    quint32 errorLogBufferSize() const { return logBufferSize(); }
    quint32 maxCustomExceptions() const;
    quint32 maxCustomKeys() const;
    QVariant betaSuspendDuration() const;

    QString interactivePromptTitle() const;
    QString interactivePromptMessage() const;
    QString interactivePromptCancelTitle() const;
    QString interactivePromptSendTitle() const;
    QString interactivePromptAlwaysSendTitle() const;
    QString promptValueForSettingsKey(const QString& key, const QString& localizedKey, const QString& defaultValue) const;

    QString reportsEndpoint() const;
    QString betaEndpoint() const;
    bool shouldPackageReports() const;
    bool shouldSubmitReports() const;
    bool canProcessUrgentReports() const;

    static QVariantMap configuration();
    static QVariantMap defaultConfiguration();
    static QVariant valueForConfigurationKey(const QString& key);

    static constexpr quint32 kMaxLogBufferSize = 1024 * 1024;
    static constexpr quint32 kMaxCount = 256;

private:
    QVariant value(const char* section, const char* key) const;
    bool boolValue(const char* section, const char* key, bool fallback) const;
    quint32 sizeValue(const char* section, const char* key, quint32 fallback, quint32 maximum) const;

    std::optional<QVariantMap> settings_;
};
