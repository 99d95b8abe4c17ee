#pragma once

#include "kithost/KTHURLTypes.h"

#include <QList>
#include <QMutex>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <atomic>
#include <functional>
#include <memory>
#include <optional>

class CRKURLSession;
class QFile;
class QNetworkAccessManager;
class QNetworkReply;
class QObject;
class QTemporaryFile;
class QThread;

inline constexpr char kCRKURLSessionErrorDomain[] = "CRKURLSessionError";
inline constexpr int kCRKURLSessionErrorCancelled = -999;
inline constexpr char kCRKURLSessionDownloadTaskErrorDomain[] = "CRKURLSessionDownloadTaskError";
inline constexpr char kCRKURLSessionUploadTaskErrorDomain[] = "CRKURLSessionUploadTaskError";
// Transport failures (no HTTP status) carry this domain and the
// QNetworkReply::NetworkError code.
inline constexpr char kCRKURLSessionTransportErrorDomain[] = "QNetworkReply";

struct CRKURLSessionConfiguration {
    // Added to every request of the session; a header the request already
    // has gets the value appended, comma-separated.
    KTHHeaderList HTTPAdditionalHeaders;
    // The only roots a pinned task trusts. Unset or empty: pinned tasks
    // trust nothing.
    std::optional<QList<QSslCertificate>> pinnedRoots;

    static CRKURLSessionConfiguration defaultSessionConfiguration() { return {}; }
    static CRKURLSessionConfiguration ephemeralSessionConfiguration() { return {}; }
};

// Which roots a task's TLS connection is verified against. Each choice has
// a connection pool of its own, so a connection verified one way is never
// reused for a request that asked for the other.
enum class CRKTrust { System, Pinned };

class CRKURLSessionTask;

// Told about tasks made without a completion handler. Called on the
// session's network thread.
class CRKURLSessionDelegate {
public:
    virtual ~CRKURLSessionDelegate() = default;
    virtual void didFinishDownloadingToFile(CRKURLSession*, CRKURLSessionTask*, const QString& path)
    {
        (void)path;
    }
    virtual void didCompleteWithError(CRKURLSession*, CRKURLSessionTask*, const KTHError& error)
    {
        (void)error;
    }
};

// One request of a session. Ends exactly once: with the answer, a transport
// error, or a cancellation error (cancel, invalidation, session gone).
// Completion handlers run on the session's network thread; a download's
// file exists while its handler (or the delegate) runs and is removed after.
class CRKURLSessionTask : public std::enable_shared_from_this<CRKURLSessionTask> {
public:
    enum class Kind { Data, Download, Upload };
    using DataHandler = std::function<void(const QByteArray&, const KTHHTTPResponse&, const KTHError&)>;
    using DownloadHandler = std::function<void(const QString& file, const KTHHTTPResponse&, const KTHError&)>;

    ~CRKURLSessionTask();

    Kind kind() const { return kind_; }
    quint64 taskIdentifier() const { return identifier_; }
    const KTHURLRequest& originalRequest() const { return request_; }
    QString taskDescription() const;
    void setTaskDescription(const QString& text);
    bool isCompleted() const { return completed_.load(); }
    // Valid once completed.
    KTHHTTPResponse response() const;
    KTHError error() const;

    void resume();   // a second resume does nothing
    void cancel();   // completes the task with a cancellation error

private:
    friend class CRKURLSession;
    CRKURLSessionTask() = default;
    void startOnThread();
    void cancelOnThread();
    void replyFinished();
    void finish(const QByteArray& data, const KTHHTTPResponse& response, const KTHError& error);

    Kind kind_ = Kind::Data;
    quint64 identifier_ = 0;
    CRKTrust trust_ = CRKTrust::System;
    KTHURLRequest request_;
    std::weak_ptr<CRKURLSession> session_;
    // Held while the request is in flight: a session dropped by its owner
    // lets running tasks finish (network thread only).
    std::shared_ptr<CRKURLSession> keepSession_;
    DataHandler dataHandler_;
    DownloadHandler downloadHandler_;
    std::atomic<bool> completed_{false};
    bool started_ = false;   // network thread only
    mutable QMutex mutex_;   // guards description, response, error
    QString description_;
    KTHHTTPResponse response_;
    KTHError error_;
    QNetworkReply* reply_ = nullptr;      // network thread only
    QTemporaryFile* download_ = nullptr;  // network thread only
    bool downloadFailed_ = false;
};

using CRKURLSessionTaskPtr = std::shared_ptr<CRKURLSessionTask>;

// The component's URL session, over QNetworkAccessManager on one shared
// network thread ("com.crashkit.URLSession"). Every method may be called
// from any thread. An invalidated session makes no more tasks (null).
class CRKURLSession : public std::enable_shared_from_this<CRKURLSession> {
public:
    // There is no platform session to prefer on Linux.
    static bool NSURLSessionShouldBeUsed() { return false; }
    static std::shared_ptr<CRKURLSession> sessionWithConfiguration(
        const CRKURLSessionConfiguration& configuration,
        std::shared_ptr<CRKURLSessionDelegate> delegate = nullptr);
    ~CRKURLSession();

    const CRKURLSessionConfiguration& configuration() const { return configuration_; }

    CRKURLSessionTaskPtr dataTaskWithRequest(const KTHURLRequest& request,
                                             CRKURLSessionTask::DataHandler handler = {},
                                             CRKTrust trust = CRKTrust::System);
    CRKURLSessionTaskPtr downloadTaskWithRequest(const KTHURLRequest& request,
                                                 CRKURLSessionTask::DownloadHandler handler = {},
                                                 CRKTrust trust = CRKTrust::System);
    // The body is streamed from the file; Content-Length is its size unless
    // the request sets one.
    CRKURLSessionTaskPtr uploadTaskWithRequest(const KTHURLRequest& request, const QString& fromFile,
                                               CRKURLSessionTask::DataHandler handler = {},
                                               CRKTrust trust = CRKTrust::System);

    // Cancels every live task (each completes with a cancellation error),
    // then drops the delegate. No new tasks afterwards.
    void invalidateAndCancel();
    // Lets live tasks finish, drops the delegate; no new tasks afterwards.
    void finishTasksAndInvalidate();
    bool isInvalidated() const { return invalidated_.load(); }

    // Tasks made and not yet completed.
    QList<CRKURLSessionTaskPtr> tasks() const;
    // Calls the handler on the network thread with the live data, upload
    // and download tasks.
    void getTasksWithCompletionHandler(
        std::function<void(QList<CRKURLSessionTaskPtr>, QList<CRKURLSessionTaskPtr>,
                           QList<CRKURLSessionTaskPtr>)> handler);

    // Runs `work` on the network thread after `ms` milliseconds, whether or
    // not any session still exists.
    static void runAfter(int ms, std::function<void()> work);
    static QThread* networkThread();
    // Aborts every request and ends every manager, for good: done when the
    // application object goes, so that nothing of the network outlives it.
    static void stopAll();
    // Tasks of every session made and not yet through their completion.
    static int unfinishedTasksForTesting();

private:
    friend class CRKURLSessionTask;
    explicit CRKURLSession(const CRKURLSessionConfiguration& configuration);
    CRKURLSessionTaskPtr makeTask(CRKURLSessionTask::Kind kind, const KTHURLRequest& request, CRKTrust trust);
    QNetworkAccessManager* manager(CRKTrust trust);   // network thread only
    std::shared_ptr<CRKURLSessionDelegate> delegate() const;
    void removeTask(quint64 identifier);

    CRKURLSessionConfiguration configuration_;
    QSslConfiguration pinnedSsl_;
    QObject* context_ = nullptr;   // lives on the network thread; owns the managers
    QNetworkAccessManager* systemManager_ = nullptr;
    QNetworkAccessManager* pinnedManager_ = nullptr;
    std::atomic<bool> invalidated_{false};
    mutable QMutex mutex_;
    std::shared_ptr<CRKURLSessionDelegate> delegate_;
    QList<CRKURLSessionTaskPtr> tasks_;
};
