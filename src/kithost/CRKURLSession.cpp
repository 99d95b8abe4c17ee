#include "kithost/CRKURLSession.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QMetaObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSemaphore>
#include <QTemporaryFile>
#include <QThread>
#include <QTimer>

namespace {

std::atomic<quint64> g_nextTaskIdentifier{1};
std::atomic<int> g_unfinishedTasks{0};
// Set once the application ends (see CRKURLSession::stopAll); network thread only.
bool g_stopped = false;

// An object living on the network thread, for queued work and timers that
// must run even when the session that asked is gone.
QObject* threadContext()
{
    static QObject* context = [] {
        auto* o = new QObject;
        o->moveToThread(CRKURLSession::networkThread());
        return o;
    }();
    return context;
}

void onNetworkThread(std::function<void()> work)
{
    QMetaObject::invokeMethod(threadContext(), std::move(work), Qt::QueuedConnection);
}

// Parent of every session's managers, so that the end of the application can
// find them all. Network thread only.
QObject* sessionsParent()
{
    static QObject* parent = [] {
        auto* o = new QObject;
        o->moveToThread(CRKURLSession::networkThread());
        return o;
    }();
    return parent;
}

// A manager outliving the application object keeps its HTTP thread, which
// may still start a host lookup once the application is gone: Qt's lookup
// machinery then crashes in the exit handlers. So every reply is aborted and
// every manager deleted (their threads joined) before the network thread
// stops. The tasks stay unfinished: nobody is left to hear of them.
void stopAllOnThread()
{
    g_stopped = true;
    const QList<QObject*> contexts = sessionsParent()->children();
    for (QObject* context : contexts) {
        for (QNetworkReply* reply : context->findChildren<QNetworkReply*>()) {
            reply->disconnect();
            reply->abort();
        }
        delete context;
    }
}

KTHError makeError(const char* domain, int code, const QString& description)
{
    KTHError e;
    e.domain = QString::fromLatin1(domain);
    e.code = code;
    e.description = description;
    return e;
}

KTHError cancelledError()
{
    return makeError(kCRKURLSessionErrorDomain, kCRKURLSessionErrorCancelled, QStringLiteral("cancelled"));
}

}  // namespace

// --- task -------------------------------------------------------------------

CRKURLSessionTask::~CRKURLSessionTask()
{
    if (!completed_)
        --g_unfinishedTasks;
    delete download_;
}

QString CRKURLSessionTask::taskDescription() const
{
    QMutexLocker lock(&mutex_);
    return description_;
}

void CRKURLSessionTask::setTaskDescription(const QString& text)
{
    QMutexLocker lock(&mutex_);
    description_ = text;
}

KTHHTTPResponse CRKURLSessionTask::response() const
{
    QMutexLocker lock(&mutex_);
    return response_;
}

KTHError CRKURLSessionTask::error() const
{
    QMutexLocker lock(&mutex_);
    return error_;
}

void CRKURLSessionTask::resume()
{
    auto self = shared_from_this();
    onNetworkThread([self] { self->startOnThread(); });
}

void CRKURLSessionTask::cancel()
{
    auto self = shared_from_this();
    onNetworkThread([self] { self->cancelOnThread(); });
}

void CRKURLSessionTask::startOnThread()
{
    if (completed_ || started_ || g_stopped)
        return;
    started_ = true;
    auto session = session_.lock();
    if (!session) {
        finish({}, {}, cancelledError());
        return;
    }
    keepSession_ = session;
    QNetworkAccessManager* manager = session->manager(trust_);

    QNetworkRequest request(request_.url);
    for (const auto& [name, value] : request_.headers)
        request.setRawHeader(name, value);
    request.setTransferTimeout(request_.timeoutMs);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    if (trust_ == CRKTrust::Pinned)
        request.setSslConfiguration(session->pinnedSsl_);

    QFile* body = nullptr;
    if (!request_.bodyFile.isEmpty()) {
        body = new QFile(request_.bodyFile);
        if (!body->open(QIODevice::ReadOnly)) {
            delete body;
            finish({}, {}, makeError(kCRKURLSessionUploadTaskErrorDomain, -1,
                                     QStringLiteral("cannot read %1").arg(request_.bodyFile)));
            return;
        }
        if (!request_.hasHeader("Content-Length"))
            request.setHeader(QNetworkRequest::ContentLengthHeader, body->size());
    }
    if (kind_ == Kind::Download) {
        download_ = new QTemporaryFile(QDir::tempPath() + QStringLiteral("/crkdownload-XXXXXX"));
        if (!download_->open()) {
            if (body)
                delete body;
            finish({}, {}, makeError(kCRKURLSessionDownloadTaskErrorDomain, -1,
                                     QStringLiteral("cannot create the download file")));
            return;
        }
    }

    QNetworkReply* reply;
    if (body)
        reply = manager->sendCustomRequest(request, request_.method, body);
    else if (request_.method == "GET" && request_.body.isEmpty())
        reply = manager->get(request);
    else
        reply = manager->sendCustomRequest(request, request_.method, request_.body);
    if (body)
        body->setParent(reply);
    reply_ = reply;

    auto self = shared_from_this();
    if (kind_ == Kind::Download) {
        QObject::connect(reply, &QNetworkReply::readyRead, reply, [self] {
            if (!self->reply_ || self->downloadFailed_)
                return;
            const QByteArray chunk = self->reply_->readAll();
            if (self->download_->write(chunk) != chunk.size()) {
                self->downloadFailed_ = true;
                self->reply_->disconnect();
                self->reply_->abort();
                self->reply_->deleteLater();
                self->reply_ = nullptr;
                self->finish({}, {}, makeError(kCRKURLSessionDownloadTaskErrorDomain, -1,
                                               QStringLiteral("cannot write the download file")));
            }
        });
    }
    QObject::connect(reply, &QNetworkReply::finished, reply, [self] { self->replyFinished(); });
}

void CRKURLSessionTask::replyFinished()
{
    QNetworkReply* reply = reply_;
    if (!reply)
        return;
    reply_ = nullptr;
    KTHHTTPResponse response;
    KTHError error;
    // A reply carrying a status is an answer, whatever Qt calls it (404 is
    // ContentNotFoundError, 500 InternalServerError, ...).
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (status.isValid()) {
        response.isHTTP = true;
        response.statusCode = status.toInt();
        response.url = reply->url();
        for (const auto& pair : reply->rawHeaderPairs())
            response.headers.append(pair);
    } else {
        error = makeError(kCRKURLSessionTransportErrorDomain, int(reply->error()), reply->errorString());
    }
    QByteArray data;
    if (kind_ == Kind::Download) {
        const QByteArray rest = reply->readAll();
        if (download_->write(rest) != rest.size() || !download_->flush())
            error = makeError(kCRKURLSessionDownloadTaskErrorDomain, -1,
                              QStringLiteral("cannot write the download file"));
    } else {
        data = reply->readAll();
    }
    reply->disconnect();
    reply->deleteLater();
    finish(data, response, error);
}

void CRKURLSessionTask::cancelOnThread()
{
    // After the stop its reply is gone with its manager.
    if (completed_ || g_stopped)
        return;
    if (reply_) {
        reply_->disconnect();
        reply_->abort();
        reply_->deleteLater();
        reply_ = nullptr;
    }
    finish({}, {}, cancelledError());
}

void CRKURLSessionTask::finish(const QByteArray& data, const KTHHTTPResponse& response, const KTHError& error)
{
    if (completed_.exchange(true))
        return;
    {
        QMutexLocker lock(&mutex_);
        response_ = response;
        error_ = error;
    }
    auto session = session_.lock();
    keepSession_.reset();
    const auto delegate = session ? session->delegate() : nullptr;
    const bool hasHandler = dataHandler_ || downloadHandler_;
    QString file;
    if (download_) {
        file = download_->fileName();
        download_->close();
    }
    if (dataHandler_)
        dataHandler_(data, response, error);
    if (downloadHandler_)
        downloadHandler_(error ? QString() : file, response, error);
    if (delegate && !hasHandler) {
        if (kind_ == Kind::Download && !error)
            delegate->didFinishDownloadingToFile(session.get(), this, file);
        delegate->didCompleteWithError(session.get(), this, error);
    }
    // The download file lives only as long as its handler.
    delete download_;
    download_ = nullptr;
    dataHandler_ = nullptr;
    downloadHandler_ = nullptr;
    if (session)
        session->removeTask(identifier_);
    --g_unfinishedTasks;
}

// --- session ----------------------------------------------------------------

QThread* CRKURLSession::networkThread()
{
    // One thread for every session, alive for the process, so that a
    // session may be dropped from any thread (its own callbacks included).
    static QThread* thread = [] {
        auto* t = new QThread;
        t->setObjectName(QStringLiteral("com.crashkit.URLSession"));
        t->start();
        // Stopped with the application, before global destructors run
        // under its feet; what lives on it is left to the process's end.
        qAddPostRoutine([] {
            stopAll();
            networkThread()->quit();
            networkThread()->wait(2000);
        });
        return t;
    }();
    return thread;
}

void CRKURLSession::runAfter(int ms, std::function<void()> work)
{
    onNetworkThread([ms, work = std::move(work)] { QTimer::singleShot(ms, threadContext(), work); });
}

void CRKURLSession::stopAll()
{
    // Bounded: a network thread stuck elsewhere must not hold up the quit.
    auto done = std::make_shared<QSemaphore>();
    onNetworkThread([done] {
        stopAllOnThread();
        done->release();
    });
    done->tryAcquire(1, 2000);
}

int CRKURLSession::unfinishedTasksForTesting() { return g_unfinishedTasks.load(); }

std::shared_ptr<CRKURLSession> CRKURLSession::sessionWithConfiguration(
    const CRKURLSessionConfiguration& configuration, std::shared_ptr<CRKURLSessionDelegate> delegate)
{
    std::shared_ptr<CRKURLSession> session(new CRKURLSession(configuration));
    session->delegate_ = std::move(delegate);
    return session;
}

CRKURLSession::CRKURLSession(const CRKURLSessionConfiguration& configuration)
    : configuration_(configuration)
{
    pinnedSsl_ = QSslConfiguration::defaultConfiguration();
    // Setting the CA list also stops Qt from loading system roots on demand:
    // only these roots (none, when unset) are trusted.
    pinnedSsl_.setCaCertificates(configuration.pinnedRoots.value_or(QList<QSslCertificate>()));
    context_ = new QObject;
    context_->moveToThread(networkThread());
    QObject* context = context_;
    onNetworkThread([context] { context->setParent(sessionsParent()); });
}

CRKURLSession::~CRKURLSession()
{
    QList<CRKURLSessionTaskPtr> live;
    {
        QMutexLocker lock(&mutex_);
        live = tasks_;
        tasks_.clear();
    }
    QObject* context = context_;
    // Posted even on the network thread: we may be inside a reply's signal.
    onNetworkThread([live, context] {
        if (g_stopped)
            return;   // the context went with the others
        for (const auto& task : live)
            task->cancelOnThread();
        delete context;
    });
}

QNetworkAccessManager* CRKURLSession::manager(CRKTrust trust)
{
    QNetworkAccessManager*& slot = trust == CRKTrust::Pinned ? pinnedManager_ : systemManager_;
    if (!slot) {
        slot = new QNetworkAccessManager(context_);
        slot->setAutoDeleteReplies(false);
    }
    return slot;
}

std::shared_ptr<CRKURLSessionDelegate> CRKURLSession::delegate() const
{
    QMutexLocker lock(&mutex_);
    return delegate_;
}

void CRKURLSession::removeTask(quint64 identifier)
{
    QMutexLocker lock(&mutex_);
    for (int i = 0; i < tasks_.size(); ++i) {
        if (tasks_[i]->identifier_ == identifier) {
            tasks_.removeAt(i);
            return;
        }
    }
}

CRKURLSessionTaskPtr CRKURLSession::makeTask(CRKURLSessionTask::Kind kind, const KTHURLRequest& request,
                                             CRKTrust trust)
{
    if (invalidated_)
        return nullptr;
    CRKURLSessionTaskPtr task(new CRKURLSessionTask);
    ++g_unfinishedTasks;
    task->kind_ = kind;
    task->identifier_ = g_nextTaskIdentifier++;
    task->trust_ = trust;
    task->request_ = request;
    for (const auto& [name, value] : configuration_.HTTPAdditionalHeaders)
        task->request_.addValue(name, value);
    task->session_ = weak_from_this();
    QMutexLocker lock(&mutex_);
    tasks_.append(task);
    return task;
}

CRKURLSessionTaskPtr CRKURLSession::dataTaskWithRequest(const KTHURLRequest& request,
                                                        CRKURLSessionTask::DataHandler handler, CRKTrust trust)
{
    auto task = makeTask(CRKURLSessionTask::Kind::Data, request, trust);
    if (task)
        task->dataHandler_ = std::move(handler);
    return task;
}

CRKURLSessionTaskPtr CRKURLSession::downloadTaskWithRequest(const KTHURLRequest& request,
                                                            CRKURLSessionTask::DownloadHandler handler,
                                                            CRKTrust trust)
{
    auto task = makeTask(CRKURLSessionTask::Kind::Download, request, trust);
    if (task)
        task->downloadHandler_ = std::move(handler);
    return task;
}

CRKURLSessionTaskPtr CRKURLSession::uploadTaskWithRequest(const KTHURLRequest& request, const QString& fromFile,
                                                          CRKURLSessionTask::DataHandler handler, CRKTrust trust)
{
    KTHURLRequest copy = request;
    copy.body.clear();
    copy.bodyFile = fromFile;
    auto task = makeTask(CRKURLSessionTask::Kind::Upload, copy, trust);
    if (task)
        task->dataHandler_ = std::move(handler);
    return task;
}

void CRKURLSession::invalidateAndCancel()
{
    invalidated_ = true;
    const QList<CRKURLSessionTaskPtr> live = tasks();
    auto self = shared_from_this();
    // The delegate still hears of the cancellations, then is dropped.
    onNetworkThread([live, self] {
        for (const auto& task : live)
            task->cancelOnThread();
        QMutexLocker lock(&self->mutex_);
        self->delegate_.reset();
    });
}

void CRKURLSession::finishTasksAndInvalidate()
{
    invalidated_ = true;
    QMutexLocker lock(&mutex_);
    delegate_.reset();
}

QList<CRKURLSessionTaskPtr> CRKURLSession::tasks() const
{
    QMutexLocker lock(&mutex_);
    return tasks_;
}

void CRKURLSession::getTasksWithCompletionHandler(
    std::function<void(QList<CRKURLSessionTaskPtr>, QList<CRKURLSessionTaskPtr>, QList<CRKURLSessionTaskPtr>)> handler)
{
    const QList<CRKURLSessionTaskPtr> live = tasks();
    onNetworkThread([live, handler = std::move(handler)] {
        QList<CRKURLSessionTaskPtr> data, upload, download;
        for (const auto& t : live) {
            if (t->isCompleted())
                continue;
            (t->kind() == CRKURLSessionTask::Kind::Data ? data
             : t->kind() == CRKURLSessionTask::Kind::Upload ? upload : download).append(t);
        }
        handler(data, upload, download);
    });
}
