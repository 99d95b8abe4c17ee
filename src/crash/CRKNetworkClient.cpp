#include "crash/CRKNetworkClient.h"

#include "crash/CRKFileManager.h"
#include "crash/core/CRKSDKLog.h"
#include "kithost/CRKURLSession.h"
#include "kithost/KTHLog.h"
#include "kithost/KTHNetworkResponseHandler.h"
#include "kithost/KTHPinnedCertificates.h"
#include "platform/SerialQueue.h"

#include <QFileInfo>
#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>

namespace {
std::atomic<int> g_retrySecondMs{1000};
}

void CRKNetworkClient::setRetrySecondScaleForTesting(int ms) { g_retrySecondMs = ms; }

CRKNetworkClient::CRKNetworkClient(const std::shared_ptr<SerialQueue>& queue, std::shared_ptr<CRKFileManager> fileManager,
                                   CRKNetworkClientDelegate* delegate)
    : queue_(queue), fileManager_(std::move(fileManager)), delegate_(delegate)
{
    if (delegate_)
        delegate_->networkClientCanUseBackgroundSessions();
    KTHLog::debugWrite(QStringLiteral(
        "[CrashKit:Crash:Client] Background session uploading not supported, asynchronous uploading will be used"));
}

std::shared_ptr<CRKURLSession> CRKNetworkClient::session()
{
    // Made at the first upload: the pinned roots and the session's network
    // thread cost tens of milliseconds at a launch's first moment, which
    // makes this client.
    QMutexLocker lock(&sessionMutex_);
    if (!sessionMade_) {
        sessionMade_ = true;
        CRKURLSessionConfiguration configuration;
        configuration.pinnedRoots = KTHPinnedCertificates();
        session_ = CRKURLSession::sessionWithConfiguration(configuration);
        if (!session_)
            KTHLog::write(QStringLiteral("[CrashKit:Crash:Client] Failed to initialize"));
    }
    return session_;
}

CRKNetworkClient::~CRKNetworkClient()
{
    life_.end();
    QMutexLocker lock(&mutex_);
    for (int fd : std::as_const(inFlight_))
        CRKFileManager::unlock(fd);
}

void CRKNetworkClient::post(const std::weak_ptr<SerialQueue>& weakQueue, std::function<void()> task, int delayMs)
{
    const std::shared_ptr<SerialQueue> queue = weakQueue.lock();
    if (!queue)
        return;
    if (delayMs > 0)
        queue->after(std::chrono::milliseconds(delayMs), std::move(task));
    else
        queue->async(std::move(task));
}

// Debug mode verifies against the system roots rather than the pinned ones;
// nothing is ever left unverified.
bool CRKNetworkClient::isPinned() const { return !KTHLog::debug(); }

QString CRKNetworkClient::rootPath() const { return fileManager_->rootPath(); }

QString CRKNetworkClient::relativeTaskPathForAbsolutePath(const QString& path) const
{
    const QString root = rootPath() + QLatin1Char('/');
    // Only the leading root is taken off: the same text deeper in the path
    // is part of the name.
    if (!path.startsWith(root)) {
        CRKSDKLog("%s: Error: path '%s' is not at the root '%s'", __PRETTY_FUNCTION__, path.toUtf8().constData(),
                  root.toUtf8().constData());
        return QString();
    }
    return path.mid(root.size());
}

QString CRKNetworkClient::absolutePathForRelativeTaskPath(const QString& description) const
{
    return rootPath() + QLatin1Char('/') + description;
}

void CRKNetworkClient::startUploadRequest(const KTHURLRequest& request, const QString& path, bool immediately)
{
    if (immediately) {
        startImmediateUploadRequest(request, path);
        return;
    }
    const QString description = relativeTaskPathForAbsolutePath(path);
    post(queue_, [this, watch = life_.watch(), request, path, description] {
        watch.run([&] {
            {
                QMutexLocker lock(&mutex_);
                if (!description.isNull() && inFlight_.contains(description)) {
                    KTHLog::debugWrite(
                        QStringLiteral("[CrashKit:Crash:Client] A task currently exists for this upload, skipping"));
                    return;
                }
            }
            startNewUploadRequest(request, path);
        });
    });
}

void CRKNetworkClient::startNewUploadRequest(const KTHURLRequest& request, const QString& path)
{
    const QString description = relativeTaskPathForAbsolutePath(path);
    const QFileInfo info(path);
    const std::shared_ptr<CRKURLSession> session = this->session();
    if (description.isNull() || !info.isReadable() || !session) {
        KTHError error{QString::fromLatin1(kCRKNetworkErrorDomain), -2, {{QStringLiteral("path"), path}}, QStringLiteral("file unreadable")};
        finish(path, error);
        return;
    }
    const int lock = CRKFileManager::lockFile(path);
    if (lock < 0) {
        KTHLog::debugWrite(QStringLiteral("[CrashKit:Crash:Client] A task currently exists for this upload, skipping"));
        return;
    }
    {
        QMutexLocker guard(&mutex_);
        inFlight_.insert(description, lock);
    }
    // The answer arrives on the session's thread, perhaps after the client
    // is gone (quit, a controller replaced): it touches nothing of the
    // client until it runs on the work queue under the client's guard.
    auto task = session->uploadTaskWithRequest(
        request, path,
        [this, queue = queue_, watch = life_.watch(), request, path](const QByteArray&, const KTHHTTPResponse& response,
                                                                     const KTHError& error) {
            post(queue, [this, watch, request, path, response, error] {
                watch.run([&] { handleCompletion(request, path, response, error); });
            });
        },
        isPinned() ? CRKTrust::Pinned : CRKTrust::System);
    if (!task) {
        finish(path, KTHNetworkResponseHandler::errorForCode(KTHNetworkResponseHandler::ErrorNoTask));
        return;
    }
    task->setTaskDescription(description);
    task->resume();
}

void CRKNetworkClient::handleCompletion(const KTHURLRequest& request, const QString& path,
                                        const KTHHTTPResponse& response, const KTHError& error)
{
    KTHNetworkResponseHandler::handleCompletedResponse(response, request, error, [&](bool retry, const KTHError& e) {
        const QString description = relativeTaskPathForAbsolutePath(path);
        if (retry) {
            int count;
            {
                QMutexLocker lock(&mutex_);
                count = ++restarts_[description];
            }
            if (count <= kMaximumRestarts) {
                // "0" or garbage in Retry-After must not turn into a tight loop.
                const double seconds =
                    std::max<double>(KTHNetworkResponseHandler::retryValueForResponse(response), kMinimumRestartSeconds);
                {
                    QMutexLocker lock(&mutex_);
                    CRKFileManager::unlock(inFlight_.take(description));
                    inFlight_.insert(description, -1);   // still ours while it waits
                }
                post(
                    queue_,
                    [this, watch = life_.watch(), request, path, description] {
                        watch.run([&] {
                            {
                                QMutexLocker lock(&mutex_);
                                inFlight_.remove(description);
                            }
                            startNewUploadRequest(request, path);
                        });
                    },
                    int(seconds * g_retrySecondMs));
                return;
            }
        }
        finish(path, e);
    });
}

void CRKNetworkClient::finish(const QString& path, const KTHError& error)
{
    if (delegate_)
        delegate_->networkClientDidFinishUpload(path, error);
    QMutexLocker lock(&mutex_);
    const QString description = relativeTaskPathForAbsolutePath(path);
    if (inFlight_.contains(description))
        CRKFileManager::unlock(inFlight_.take(description));
}

void CRKNetworkClient::startImmediateUploadRequest(const KTHURLRequest& request, const QString& path)
{
    const std::shared_ptr<CRKURLSession> session = this->session();
    if (!QFileInfo(path).isReadable() || !session) {
        CRKSDKLog("%s: Error: file unreadable\n", __PRETTY_FUNCTION__);
        return;
    }
    const int lock = CRKFileManager::lockFile(path);
    if (lock < 0)
        return;
    struct Wait {
        std::mutex mutex;
        std::condition_variable cv;
        bool done = false;
        KTHHTTPResponse response;
        KTHError error;
    };
    auto wait = std::make_shared<Wait>();
    auto task = session->uploadTaskWithRequest(
        request, path,
        [wait](const QByteArray&, const KTHHTTPResponse& response, const KTHError& error) {
            std::lock_guard<std::mutex> guard(wait->mutex);
            wait->response = response;
            wait->error = error;
            wait->done = true;
            wait->cv.notify_all();
        },
        isPinned() ? CRKTrust::Pinned : CRKTrust::System);
    if (!task) {
        CRKFileManager::unlock(lock);
        return;
    }
    task->setTaskDescription(relativeTaskPathForAbsolutePath(path));
    task->resume();
    bool success = false;
    {
        // The start thread waits here without an event loop: the request
        // runs on the session's own thread.
        std::unique_lock<std::mutex> guard(wait->mutex);
        if (wait->cv.wait_for(guard, std::chrono::milliseconds(request.timeoutMs + 250), [&] { return wait->done; })
            && !wait->error) {
            KTHNetworkResponseHandler::clientResponseType(
                wait->response, [&](KTHNetworkResponseHandler::ResponseType type, int) {
                    success = type == KTHNetworkResponseHandler::Success;
                });
        }
    }
    if (!wait->done)
        task->cancel();
    CRKFileManager::unlock(lock);
    if (success && delegate_)
        delegate_->networkClientDidFinishUpload(path, KTHError());
}
