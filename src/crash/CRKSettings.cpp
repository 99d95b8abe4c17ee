#include "crash/CRKSettings.h"

#include "kithost/KTHLog.h"
#include "platform/BundleInfo.h"
#include "platform/Lenient.h"

#include <QProcessEnvironment>
#include <algorithm>

namespace {

bool isScalar(const QVariant& v)
{
    switch (v.typeId()) {
    case QMetaType::Bool:
    case QMetaType::QString:
    case QMetaType::QByteArray:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Double:
    case QMetaType::Float:
        return true;
    default:
        return false;
    }
}

}  // namespace

QVariant CRKSettings::value(const char* section, const char* key) const
{
    if (!settings_)
        return {};
    const QVariant s = settings_->value(QLatin1String(section));
    if (s.typeId() != QMetaType::QVariantMap)
        return {};
    const QVariant v = s.toMap().value(QLatin1String(key));
    return isScalar(v) ? v : QVariant();
}

bool CRKSettings::boolValue(const char* section, const char* key, bool fallback) const
{
    const QVariant v = value(section, key);
    return v.isValid() ? lenient::toBool(v) : fallback;
}

quint32 CRKSettings::sizeValue(const char* section, const char* key, quint32 fallback, quint32 maximum) const
{
    const QVariant v = value(section, key);
    if (!v.isValid())
        return fallback;
    const qint64 n = lenient::toInteger(v);
    return quint32(std::clamp<qint64>(n, 0, maximum));
}

bool CRKSettings::crashReportingEnabled() const { return boolValue("features", "collect_reports", true); }
bool CRKSettings::errorReportingEnabled() const { return boolValue("features", "collect_logged_exceptions", true); }
bool CRKSettings::userPromptEnabled() const { return boolValue("features", "prompt_enabled", false); }
quint32 CRKSettings::logBufferSize() const { return sizeValue("session", "log_buffer_size", 65536, kMaxLogBufferSize); }
quint32 CRKSettings::maxCustomExceptions() const
{
    return sizeValue("session", "max_custom_exception_events", 16, kMaxCount);
}
quint32 CRKSettings::maxCustomKeys() const { return sizeValue("session", "max_custom_key_value_pairs", 16, kMaxCount); }

QVariant CRKSettings::betaSuspendDuration() const
{
    const QVariant v = value("beta", "update_suspend_duration");
    return v.isValid() ? QVariant(lenient::toDouble(v)) : QVariant(3600);
}

QString CRKSettings::promptValueForSettingsKey(const QString& key, const QString&, const QString& defaultValue) const
{
    // No strings tables on this platform: the settings' text, else the default.
    const QVariant v = value("prompt", key.toUtf8().constData());
    const QString text = v.isValid() ? lenient::toString(v) : QString();
    return text.isEmpty() ? defaultValue : text;
}

QString CRKSettings::interactivePromptTitle() const
{
    return promptValueForSettingsKey(QStringLiteral("title"), QStringLiteral("CrashKitCrashSubmissionPromptTitle"),
                                     QStringLiteral("Send Crash Report?"));
}
QString CRKSettings::interactivePromptMessage() const
{
    return promptValueForSettingsKey(
        QStringLiteral("message"), QStringLiteral("CrashKitCrashSubmissionPromptMessage"),
        QStringLiteral("Looks like we crashed! Please help us fix the problem by sending a crash report."));
}
QString CRKSettings::interactivePromptCancelTitle() const
{
    return promptValueForSettingsKey(QStringLiteral("cancel_button_title"),
                                     QStringLiteral("CrashKitCrashSubmissionCancelTitle"), QStringLiteral("Don't Send"));
}
QString CRKSettings::interactivePromptSendTitle() const
{
    return promptValueForSettingsKey(QStringLiteral("send_button_title"),
                                     QStringLiteral("CrashKitCrashSubmissionSendTitle"), QStringLiteral("Send"));
}
QString CRKSettings::interactivePromptAlwaysSendTitle() const
{
    return promptValueForSettingsKey(QStringLiteral("always_send_button_title"),
                                     QStringLiteral("CrashKitCrashSubmissionAlwaysSendTitle"),
                                     QStringLiteral("Always Send"));
}

QVariantMap CRKSettings::configuration()
{
    const QVariant c = BundleInfo::objectForInfoDictionaryKey(QStringLiteral("CrashKit"));
    return c.typeId() == QMetaType::QVariantMap ? c.toMap() : QVariantMap();
}

QVariantMap CRKSettings::defaultConfiguration()
{
    return {{QStringLiteral("ReportsEndpoint"), QStringLiteral("https://reports.kit.mirvok.example")},
            {QStringLiteral("BetaEndpoint"), QStringLiteral("https://api.kit.mirvok.example")},
            {QStringLiteral("PackageReports"), true},
            {QStringLiteral("SubmitReports"), true},
            {QStringLiteral("UrgentReports"), true}};
}

QVariant CRKSettings::valueForConfigurationKey(const QString& key)
{
    const QString variable = QStringLiteral("CrashKit") + key;
    const QByteArray name = variable.toUtf8();
    if (qEnvironmentVariableIsSet(name.constData())) {
        const QString v = qEnvironmentVariable(name.constData());
        KTHLog::write(QStringLiteral("[CrashKit:Crash] override: '%1' => '%2'").arg(key, v));
        return v;
    }
    const QVariantMap config = configuration();
    if (config.contains(key))
        return config.value(key);
    return defaultConfiguration().value(key);
}

QString CRKSettings::reportsEndpoint() const { return lenient::toString(valueForConfigurationKey(QStringLiteral("ReportsEndpoint"))); }
QString CRKSettings::betaEndpoint() const { return lenient::toString(valueForConfigurationKey(QStringLiteral("BetaEndpoint"))); }
bool CRKSettings::shouldPackageReports() const { return lenient::toBool(valueForConfigurationKey(QStringLiteral("PackageReports"))); }
bool CRKSettings::shouldSubmitReports() const { return lenient::toBool(valueForConfigurationKey(QStringLiteral("SubmitReports"))); }
bool CRKSettings::canProcessUrgentReports() const { return lenient::toBool(valueForConfigurationKey(QStringLiteral("UrgentReports"))); }
