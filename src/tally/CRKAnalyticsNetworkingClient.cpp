#include "tally/CRKAnalyticsNetworkingClient.h"

#include "kithost/KTHMultipartMimeStreamEncoder.h"
#include "kithost/KTHNetworkClient.h"
#include "tally/CRKEventLogFile.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>

namespace {
constexpr char kDeveloperToken[] = "5c3e9a17d0b24f86e1a7c94b2d0e6f3a18b5c702";
constexpr char kMimeType[] = "application/vnd.crashkit.ios.events";
}  // namespace

CRKAnalyticsNetworkingClient::CRKAnalyticsNetworkingClient() : client_(std::make_unique<KTHNetworkClient>()) {}

CRKAnalyticsNetworkingClient::~CRKAnalyticsNetworkingClient() = default;

std::optional<KTHURLRequest> CRKAnalyticsNetworkingClient::requestForLogFiles(const QStringList& files, const QUrl& url,
                                                                              const QString& APIKey, KTHError* error)
{
    QList<QPair<QString, QByteArray>> parts;
    for (const QString& path : files) {
        QFile f(path);
        if (!f.open(QIODevice::ReadOnly)) {
            if (error)
                *error = CRKPosixError(EIO, QStringLiteral("read %1: %2").arg(path, f.errorString()));
            return std::nullopt;
        }
        QByteArray bytes = f.readAll();
        if (f.error() != QFileDevice::NoError) {
            if (error)
                *error = CRKPosixError(EIO, QStringLiteral("read %1: %2").arg(path, f.errorString()));
            return std::nullopt;
        }
        parts.append({QFileInfo(path).fileName(), std::move(bytes)});
    }
    KTHURLRequest request;
    request.url = url;
    request.method = "POST";
    request.timeoutMs = 20000;
    request.setHeader("User-Agent", "Tally Mac SDK/1.0.1");
    request.setHeader("X-CRASHKIT-DEVELOPER-TOKEN", kDeveloperToken);
    request.setHeader("X-CRASHKIT-API-CLIENT-TYPE", "Tally Mac SDK");
    request.setHeader("X-CRASHKIT-API-CLIENT-VERSION", "4");
    request.setHeader("X-CRASHKIT-API-CLIENT-DISPLAY-VERSION", "1.0.1");
    request.setHeader("X-CRASHKIT-API-CLIENT-BUILD-VERSION", "4");
    request.setHeader("X-CRASHKIT-API-KEY", APIKey.toUtf8());
    const bool ok = KTHMultipartMimeStreamEncoder::populateRequest(request, [&](KTHMultipartMimeStreamEncoder& e) {
        for (const auto& part : parts)
            e.addFileData(part.second, part.first, QString::fromLatin1(kMimeType), part.first);
    });
    if (!ok) {
        if (error)
            *error = CRKPosixError(EIO, QStringLiteral("encode the upload body"));
        return std::nullopt;
    }
    return request;
}

void CRKAnalyticsNetworkingClient::transmitLogFiles(const QStringList& files, const QUrl& url, const QString& APIKey,
                                                    Completion completion)
{
    KTHError error;
    const auto request = requestForLogFiles(files, url, APIKey, &error);
    if (!request) {
        completion(error);
        return;
    }
    client_->startDataTaskWithRequest(*request, 10,
                                      [completion](const QByteArray&, const KTHHTTPResponse&, const KTHError& e) {
                                          completion(e);
                                      });
}
