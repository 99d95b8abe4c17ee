#pragma once

#include "kithost/KTHURLTypes.h"

#include <QStringList>
#include <QUrl>
#include <functional>
#include <memory>
#include <optional>

class KTHNetworkClient;

// Sends one packaged fragment: a multipart POST with one file part per
// file. A file that cannot be read fails the request before it is sent, so
// a fragment is never acknowledged (and deleted) without all its files.
class CRKAnalyticsNetworkingClient {
public:
    using Completion = std::function<void(const KTHError&)>;   // null error: accepted

    CRKAnalyticsNetworkingClient();
    ~CRKAnalyticsNetworkingClient();

    // Nullopt with `error` set when a file cannot be read.
    static std::optional<KTHURLRequest> requestForLogFiles(const QStringList& files, const QUrl& url,
                                                           const QString& APIKey, KTHError* error = nullptr);
    // The completion runs on the network thread.
    void transmitLogFiles(const QStringList& files, const QUrl& url, const QString& APIKey, Completion completion);

    KTHNetworkClient& networkClient() { return *client_; }

private:
    std::unique_ptr<KTHNetworkClient> client_;
};
