#include "kithost/KTHDownloadAndSaveSettingsOperation.h"

#include "kithost/KTHApplicationInfo.h"
#include "kithost/KTHLog.h"
#include "kithost/KTHNetworkClient.h"
#include "platform/PrivateFiles.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QSaveFile>

KTHDownloadAndSaveSettingsOperation::KTHDownloadAndSaveSettingsOperation(
    const QString& APIKey, std::weak_ptr<KTHDownloadAndSaveSettingsOperationDelegate> delegate,
    const QUrl& settingsURL, const QString& settingsDirectoryPath, const QString& settingsFilePath,
    const QString& installIdentifier, const QString& advertisingToken, std::weak_ptr<KTHNetworkClient> client)
    : KTHNetworkOperation(APIKey),
      delegate_(std::move(delegate)),
      settingsURL_(settingsURL),
      settingsDirectoryPath_(settingsDirectoryPath),
      settingsFilePath_(settingsFilePath),
      installIdentifier_(installIdentifier),
      networkClient_(std::move(client))
{
    if (KTHApplicationMayReportDeviceIdentifiers())
        advertisingToken_ = advertisingToken;
    else
        KTHLog::debugWrite(QStringLiteral("[KitHost] Suppressing device identifier reporting"));
}

KTHURLRequest KTHDownloadAndSaveSettingsOperation::mutableRequestWithDefaultHTTPHeaderFieldsAndTimeoutForURL(
    const QUrl& url) const
{
    KTHURLRequest r = KTHNetworkOperation::mutableRequestWithDefaultHTTPHeaderFieldsAndTimeoutForURL(url);
    r.method = "GET";
    r.setHeader("Accept", "application/json");
    auto set = [&](const QByteArray& name, const QString& value) {
        if (!value.isNull())
            r.setHeader(name, value.toUtf8());
    };
    set("X-CrashKit-Installation-ID", installIdentifier_);
    set("X-CrashKit-Device-Model", KTHHostModel());
    set("X-CrashKit-OS-Build-Version", KTHHostOSBuildVersion());
    set("X-CrashKit-OS-Display-Version", KTHHostOSDisplayVersion());
    set("X-CrashKit-API-Client-Version", QString::fromLatin1(kKTHDisplayVersion));
    if (!advertisingToken_.isEmpty())
        set("X-CrashKit-Advertising-Token", advertisingToken_);
    return r;
}

bool KTHDownloadAndSaveSettingsOperation::saveSettingsFile(const QString& directory, const QString& path,
                                                           const QByteArray& bytes, QString* why)
{
    if (!privatefiles::makeDir(directory)) {
        *why = QStringLiteral("cannot create %1").arg(directory);
        return false;
    }
    QSaveFile out(path);
    const bool opened = out.open(QIODevice::WriteOnly);
    if (opened)
        privatefiles::narrowOpenFile(out);
    if (!opened || out.write(bytes) != bytes.size() || !out.commit()) {
        *why = out.errorString();
        return false;
    }
    return true;
}

void KTHDownloadAndSaveSettingsOperation::main()
{
    auto client = networkClient_.lock();
    if (!client) {
        complete(KTHError{QString::fromLatin1(kKTHSettingsErrorDomain), -1, {}, QStringLiteral("no network client")});
        return;
    }
    auto self = std::static_pointer_cast<KTHDownloadAndSaveSettingsOperation>(shared_from_this());
    client->startDownloadTaskWithRequest(
        mutableRequestWithDefaultHTTPHeaderFieldsAndTimeoutForURL(settingsURL_), 1,
        [self](const QString& file, const KTHHTTPResponse&, const KTHError& error) {
            if (error) {
                self->complete(error);
                return;
            }
            QFile in(file);
            const QByteArray bytes = in.open(QIODevice::ReadOnly) ? in.readAll() : QByteArray();
            QJsonParseError parse;
            const QJsonDocument doc = QJsonDocument::fromJson(bytes, &parse);
            KTHError saveError;
            QString why;
            if (parse.error != QJsonParseError::NoError || !doc.isObject()) {
                saveError = KTHError{QString::fromLatin1(kKTHSettingsErrorDomain), -2, {},
                                     QStringLiteral("the settings are not a JSON object")};
            } else if (!saveSettingsFile(self->settingsDirectoryPath_, self->settingsFilePath_, bytes, &why)) {
                saveError = KTHError{QString::fromLatin1(kKTHSettingsErrorDomain), -3, {}, why};
            }
            if (saveError)
                KTHLog::write(QStringLiteral("[KitHost] Unable to complete settings download %1")
                                  .arg(saveError.description));
            self->complete(saveError);
        });
}

void KTHDownloadAndSaveSettingsOperation::complete(const KTHError& error)
{
    error_ = error;
    if (!isCancelled()) {
        if (auto delegate = delegate_.lock())
            delegate->operationDidDownloadAndSaveSettingsWithError(this, error);
    }
    finish();
}
