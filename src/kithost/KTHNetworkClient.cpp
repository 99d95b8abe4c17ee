#include "kithost/KTHNetworkClient.h"

#include "kithost/KTHCertificatePinner.h"
#include "kithost/KTHLog.h"
#include "kithost/KTHNetworkResponseHandler.h"

#include <QRandomGenerator>
#include <atomic>
#include <cmath>

// What a retry chain needs of its client; the chain holds it weakly, so a
// client dropped between attempts ends the chain with -3 instead of
// starting on a dead session.
struct KTHNetworkClient::Shared {
    std::shared_ptr<CRKURLSession> session;
    bool pinning = false;

    CRKTrust trust() const
    {
        // Debug mode verifies against the system roots, never not at all.
        return pinning && !KTHLog::debug() ? CRKTrust::Pinned : CRKTrust::System;
    }
};

KTHNetworkClient::KTHNetworkClient(std::optional<QList<QSslCertificate>> pinnedCertificates,
                                   const CRKURLSessionConfiguration& configuration)
{
    CRKURLSessionConfiguration config = configuration;
    if (pinnedCertificates) {
        pinner_ = std::make_unique<KTHCertificatePinner>(*pinnedCertificates);
        config.pinnedRoots = *pinnedCertificates;
    }
    session_ = CRKURLSession::sessionWithConfiguration(config);
    shared_ = std::make_shared<Shared>();
    shared_->session = session_;
    shared_->pinning = pinnedCertificates.has_value();
}

KTHNetworkClient::~KTHNetworkClient()
{
    session_->finishTasksAndInvalidate();
}

void KTHNetworkClient::invalidateAndCancel()
{
    session_->invalidateAndCancel();
}

void KTHNetworkClient::startDataTaskWithRequest(const KTHURLRequest& request, int retryLimit, DataHandler handler)
{
    startDataTaskWithRequest(request, retryLimit, 0, std::move(handler));
}

void KTHNetworkClient::startDataTaskWithRequest(const KTHURLRequest& request, int retryLimit, int tries,
                                                DataHandler handler)
{
    runData(shared_, request, retryLimit, tries, std::move(handler));
}

void KTHNetworkClient::startDownloadTaskWithRequest(const KTHURLRequest& request, int retryLimit,
                                                    DownloadHandler handler)
{
    startDownloadTaskWithRequest(request, retryLimit, 0, std::move(handler));
}

void KTHNetworkClient::startDownloadTaskWithRequest(const KTHURLRequest& request, int retryLimit, int tries,
                                                    DownloadHandler handler)
{
    runDownload(shared_, request, retryLimit, tries, std::move(handler));
}

void KTHNetworkClient::runData(std::weak_ptr<Shared> weak, KTHURLRequest request, int retryLimit, int tries,
                               DataHandler handler)
{
    namespace H = KTHNetworkResponseHandler;
    auto shared = weak.lock();
    CRKURLSessionTaskPtr task;
    if (shared) {
        task = shared->session->dataTaskWithRequest(
            request,
            [weak, request, retryLimit, tries, handler](const QByteArray& data, const KTHHTTPResponse& response,
                                                        const KTHError& error) {
                H::handleCompletedResponse(response, request, error, [&](bool retry, const KTHError& e) {
                    if (!retry) {
                        handler(data, response, e);
                    } else if (tries < retryLimit) {
                        retryLater(response, tries, [weak, request, retryLimit, tries, handler] {
                            runData(weak, request, retryLimit, tries + 1, handler);
                        });
                    } else {
                        handler(QByteArray(), KTHHTTPResponse(), H::errorForCode(H::ErrorRetryLimit));
                    }
                });
            },
            shared->trust());
    }
    if (!task) {
        handler(QByteArray(), KTHHTTPResponse(), H::errorForCode(H::ErrorNoTask));
        return;
    }
    task->resume();
}

void KTHNetworkClient::runDownload(std::weak_ptr<Shared> weak, KTHURLRequest request, int retryLimit, int tries,
                                   DownloadHandler handler)
{
    namespace H = KTHNetworkResponseHandler;
    auto shared = weak.lock();
    CRKURLSessionTaskPtr task;
    if (shared) {
        task = shared->session->downloadTaskWithRequest(
            request,
            [weak, request, retryLimit, tries, handler](const QString& file, const KTHHTTPResponse& response,
                                                        const KTHError& error) {
                H::handleCompletedResponse(response, request, error, [&](bool retry, const KTHError& e) {
                    if (!retry) {
                        handler(file, response, e);
                    } else if (tries < retryLimit) {
                        retryLater(response, tries, [weak, request, retryLimit, tries, handler] {
                            runDownload(weak, request, retryLimit, tries + 1, handler);
                        });
                    } else {
                        handler(QString(), KTHHTTPResponse(), H::errorForCode(H::ErrorRetryLimit));
                    }
                });
            },
            shared->trust());
    }
    if (!task) {
        handler(QString(), KTHHTTPResponse(), H::errorForCode(H::ErrorNoTask));
        return;
    }
    task->resume();
}

void KTHNetworkClient::retryLater(const KTHHTTPResponse& response, int tries, std::function<void()> attempt)
{
    const double seconds = computeDelayForResponse(response, tries, generateRandomJitter());
    const double ms = seconds * 1000.0;
    CRKURLSession::runAfter(int(std::clamp(ms, 0.0, 24.0 * 3600 * 1000)), std::move(attempt));
}

double KTHNetworkClient::computeDelayForResponse(const KTHHTTPResponse& response, int tries, double jitter)
{
    const double retryValue = KTHNetworkResponseHandler::retryValueForResponse(response);
    const double factor = tries > 0 ? tries : 1;
    return jitter * (retryValue * factor);
}

double KTHNetworkClient::randomDoubleWithMin(double min, double max)
{
    return min + QRandomGenerator::global()->generateDouble() * (max - min);
}

double KTHNetworkClient::generateRandomJitter()
{
    return randomDoubleWithMin(double(0.9f), double(1.1f));
}
