#pragma once

#include "kithost/KTHNetworkOperation.h"

#include <QString>
#include <QUrl>
#include <memory>

class KTHDownloadAndSaveSettingsOperation;
class KTHNetworkClient;

class KTHDownloadAndSaveSettingsOperationDelegate {
public:
    virtual ~KTHDownloadAndSaveSettingsOperationDelegate() = default;
    virtual void operationDidDownloadAndSaveSettingsWithError(KTHDownloadAndSaveSettingsOperation* operation,
                                                              const KTHError& error) = 0;
};

inline constexpr char kKTHSettingsErrorDomain[] = "KTHSettingsError";

// Downloads the settings once and saves them. The saved file is replaced
// by renaming a complete temporary file of the same folder over it, so a
// reader (or a crash) at any moment sees the old file or the new one,
// whole; an answer that is not a JSON object is a failed download and
// leaves the old file.
class KTHDownloadAndSaveSettingsOperation : public KTHNetworkOperation {
public:
    KTHDownloadAndSaveSettingsOperation(const QString& APIKey,
                                        std::weak_ptr<KTHDownloadAndSaveSettingsOperationDelegate> delegate,
                                        const QUrl& settingsURL, const QString& settingsDirectoryPath,
                                        const QString& settingsFilePath, const QString& installIdentifier,
                                        const QString& advertisingToken, std::weak_ptr<KTHNetworkClient> client);

    KTHURLRequest mutableRequestWithDefaultHTTPHeaderFieldsAndTimeoutForURL(const QUrl& url) const override;
    const QUrl& settingsURL() const { return settingsURL_; }
    KTHError error() const { return error_; }

    // Replaces `path` with `bytes` through a temporary file in its folder.
    static bool saveSettingsFile(const QString& directory, const QString& path, const QByteArray& bytes,
                                 QString* why);

protected:
    void main() override;

private:
    void complete(const KTHError& error);

    std::weak_ptr<KTHDownloadAndSaveSettingsOperationDelegate> delegate_;
    KTHError error_;
    QUrl settingsURL_;
    QString settingsDirectoryPath_;
    QString settingsFilePath_;
    QString installIdentifier_;
    QString advertisingToken_;
    std::weak_ptr<KTHNetworkClient> networkClient_;
};
