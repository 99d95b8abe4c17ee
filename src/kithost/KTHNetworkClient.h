#pragma once

#include "kithost/CRKURLSession.h"
#include "kithost/KTHURLTypes.h"

#include <QSslCertificate>
#include <functional>
#include <memory>
#include <optional>

class KTHCertificatePinner;

// Runs the kits' requests: classifies each answer by status and retries the
// retryable ones after Retry-After × attempt factor × jitter. With pinned
// certificates every request is verified against those roots only, except
// in debug mode, where the system roots are used (never no verification).
//
// Handlers are called exactly once, on the network thread: with the answer
// (and an error for failures and client errors, body included), a transport
// or cancellation error, -3 when the session gave no task (invalidated), or
// -6 when the retry limit is used up.
class KTHNetworkClient {
public:
    using DataHandler = CRKURLSessionTask::DataHandler;
    using DownloadHandler = CRKURLSessionTask::DownloadHandler;

    explicit KTHNetworkClient(std::optional<QList<QSslCertificate>> pinnedCertificates = std::nullopt,
                              const CRKURLSessionConfiguration& configuration =
                                  CRKURLSessionConfiguration::defaultSessionConfiguration());
    ~KTHNetworkClient();   // lets running tasks finish, then the session ends
    KTHNetworkClient(const KTHNetworkClient&) = delete;
    KTHNetworkClient& operator=(const KTHNetworkClient&) = delete;

    std::shared_ptr<CRKURLSession> session() const { return session_; }
    const KTHCertificatePinner* certPinner() const { return pinner_.get(); }

    void startDataTaskWithRequest(const KTHURLRequest& request, int retryLimit, DataHandler handler);
    void startDataTaskWithRequest(const KTHURLRequest& request, int retryLimit, int tries, DataHandler handler);
    void startDownloadTaskWithRequest(const KTHURLRequest& request, int retryLimit, DownloadHandler handler);
    void startDownloadTaskWithRequest(const KTHURLRequest& request, int retryLimit, int tries,
                                      DownloadHandler handler);

    void invalidateAndCancel();

    // Seconds before the next attempt: jitter × Retry-After × max(tries, 1).
    static double computeDelayForResponse(const KTHHTTPResponse& response, int tries, double jitter);
    static double generateRandomJitter();   // uniform in [0.9, 1.1) as single-precision bounds
    static double randomDoubleWithMin(double min, double max);

private:
    struct Shared;
    static void runData(std::weak_ptr<Shared> shared, KTHURLRequest request, int retryLimit, int tries,
                        DataHandler handler);
    static void runDownload(std::weak_ptr<Shared> shared, KTHURLRequest request, int retryLimit, int tries,
                            DownloadHandler handler);
    static void retryLater(const KTHHTTPResponse& response, int tries, std::function<void()> attempt);

    std::unique_ptr<KTHCertificatePinner> pinner_;
    std::shared_ptr<CRKURLSession> session_;
    std::shared_ptr<Shared> shared_;
};
