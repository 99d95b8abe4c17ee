#pragma once

#include "kithost/KTHURLTypes.h"
#include "platform/LifeGuard.h"

#include <QHash>
#include <QMutex>
#include <QString>
#include <functional>
#include <memory>

class CRKFileManager;
class CRKURLSession;
class SerialQueue;

class CRKNetworkClientDelegate {
public:
    virtual ~CRKNetworkClientDelegate() = default;
    virtual bool networkClientCanUseBackgroundSessions() = 0;
    virtual void networkClientDidFinishUpload(const QString& path, const KTHError& error) = 0;
};

inline constexpr char kCRKNetworkErrorDomain[] = "CRKNetworkError";

// Uploads packaged reports. There are no background sessions on this
// platform: every upload belongs to this process, runs on the component's
// URL session (QNetworkAccessManager on its network thread) and reports its
// completion on the work queue. A task is known by its file's path relative
// to the report root; the same file is never in flight twice, and each
// upload holds an exclusive flock on its package so two instances never
// send one package at the same time.
//
// A retry the service asks for (429, 5xx) restarts the upload after its
// Retry-After, but never sooner than 10 s and at most 10 times per package
// per run; after that the failure goes to the delegate.
class CRKNetworkClient {
public:
    CRKNetworkClient(const std::shared_ptr<SerialQueue>& queue, std::shared_ptr<CRKFileManager> fileManager,
                     CRKNetworkClientDelegate* delegate);
    ~CRKNetworkClient();

    bool supportsBackgroundRequests() const { return false; }
    // Nothing to reconnect: the block runs at once on the calling thread.
    void attemptToReconnectBackgroundSessionWithCompletionBlock(const std::function<void()>& block) { block(); }

    // `immediately`: sent on the calling thread, which waits for the answer
    // up to the request's time-out; only a success reaches the delegate.
    void startUploadRequest(const KTHURLRequest& request, const QString& path, bool immediately);

    QString rootPath() const;
    QString relativeTaskPathForAbsolutePath(const QString& path) const;
    QString absolutePathForRelativeTaskPath(const QString& description) const;

    static constexpr int kMinimumRestartSeconds = 10;
    static constexpr int kMaximumRestarts = 10;
    // Tests shorten the restart delay (milliseconds per second asked).
    static void setRetrySecondScaleForTesting(int ms);

private:
    void startImmediateUploadRequest(const KTHURLRequest& request, const QString& path);
    void startNewUploadRequest(const KTHURLRequest& request, const QString& path);
    void handleCompletion(const KTHURLRequest& request, const QString& path, const KTHHTTPResponse& response,
                          const KTHError& error);
    void finish(const QString& path, const KTHError& error);
    bool isPinned() const;
    // The work queue may be gone before a late answer arrives: nothing runs
    // then. Static: an answer may arrive after the client is gone.
    static void post(const std::weak_ptr<SerialQueue>& queue, std::function<void()> task, int delayMs = 0);

    std::weak_ptr<SerialQueue> queue_;
    std::shared_ptr<CRKFileManager> fileManager_;
    CRKNetworkClientDelegate* delegate_;
    std::shared_ptr<CRKURLSession> session();

    QMutex sessionMutex_;   // guards the two below only
    bool sessionMade_ = false;
    std::shared_ptr<CRKURLSession> session_;
    QMutex mutex_;
    QHash<QString, int> inFlight_;   // description → package lock descriptor
    QHash<QString, int> restarts_;   // description → restarts this run
    // Every completion and queued step reaches the client through it.
    LifeGuard life_;
};
