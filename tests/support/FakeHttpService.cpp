#include "support/FakeHttpService.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>
#include <QUrl>
#include <QUrlQuery>
#include <httplib.h>

namespace {
QList<QPair<QString, QString>> decodeForm(const QByteArray& raw) {
    QList<QPair<QString, QString>> out;
    for (const QByteArray& part : raw.split('&')) {
        if (part.isEmpty()) continue;
        const int eq = part.indexOf('=');
        QByteArray k = eq < 0 ? part : part.left(eq);
        QByteArray v = eq < 0 ? QByteArray() : part.mid(eq + 1);
        k.replace('+', ' ');
        v.replace('+', ' ');
        out.append({QUrl::fromPercentEncoding(k), QUrl::fromPercentEncoding(v)});
    }
    return out;
}
}  // namespace

QByteArray RecordedPart::header(const QByteArray& name) const {
    for (const auto& [k, v] : headers)
        if (k.compare(name, Qt::CaseInsensitive) == 0) return v;
    return {};
}

QByteArray RecordedRequest::header(const QByteArray& name) const {
    for (const auto& [k, v] : headers)
        if (k.compare(name, Qt::CaseInsensitive) == 0) return v;
    return {};
}

QString RecordedRequest::queryValue(const QString& key) const {
    for (const auto& [k, v] : query)
        if (k == key) return v;
    return {};
}

QList<QPair<QString, QString>> RecordedRequest::formFields() const { return decodeForm(body); }

FakeHttpService::FakeHttpService(int threads) : server_(std::make_unique<httplib::Server>()) {
    if (threads > 0) server_->new_task_queue = [threads] { return new httplib::ThreadPool(size_t(threads)); };
    auto handler = [this](const httplib::Request& req, httplib::Response& res, const std::string& body,
                          const QList<RecordedPart>& parts) {
        RecordedRequest r = recordedFrom(req);
        r.body = QByteArray::fromStdString(body);
        r.parts = parts;
        Script script;
        {
            std::lock_guard lock(mutex_);
            requests_.push_back(r);
            for (const Route& route : routes_)
                if ((route.method == QLatin1String("*") || route.method == r.method) && route.path == r.path)
                    script = route.script;
        }
        if (!script) {
            res.status = 404;
            res.set_content("not found", "text/plain");
            return;
        }
        send(script(r), res);
    };
    server_->Get(".*", [handler](const httplib::Request& req, httplib::Response& res) {
        handler(req, res, req.body, {});
    });
    // A content reader sees multipart parts in the order they arrive (the
    // library's own parsing sorts them into a map by name) and other bodies
    // as sent.
    auto withReader = [handler](const httplib::Request& req, httplib::Response& res,
                                const httplib::ContentReader& reader) {
        std::string body;
        QList<RecordedPart> parts;
        if (req.is_multipart_form_data()) {
            reader(
                [&](const httplib::MultipartFormData& file) {
                    RecordedPart part;
                    part.name = QString::fromStdString(file.name);
                    part.filename = QString::fromStdString(file.filename);
                    if (!file.content_type.empty())
                        part.headers.append({"Content-Type", QByteArray::fromStdString(file.content_type)});
                    parts.append(part);
                    return true;
                },
                [&](const char* data, size_t length) {
                    if (!parts.isEmpty()) parts.last().bytes.append(data, qsizetype(length));
                    return true;
                });
        } else {
            reader([&](const char* data, size_t length) {
                body.append(data, length);
                return true;
            });
        }
        handler(req, res, body, parts);
    };
    server_->Post(".*", withReader);
    server_->Put(".*", withReader);
    server_->Delete(".*", withReader);
    server_->set_payload_max_length(64 * 1024 * 1024);
    // One request per connection: an idle keep-alive connection would hold
    // stop() (and so every test's teardown) for the whole keep-alive time.
    server_->set_keep_alive_max_count(1);
    port_ = server_->bind_to_any_port("127.0.0.1");
    thread_ = std::thread([this] {
        server_->listen_after_bind();
        listenReturned_ = true;
    });
    // bind_to_any_port already listens: early connections wait in the backlog.
}

FakeHttpService::~FakeHttpService() {
    // stop() only reaches a server that has entered its accept loop; one torn
    // down straight after construction would otherwise listen for ever. No
    // time limit: a loaded (or sanitizer) build may take long to get there.
    while (!server_->is_running() && !listenReturned_) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    server_->stop();
    if (thread_.joinable()) thread_.join();
}

RecordedRequest FakeHttpService::recordedFrom(const httplib::Request& req) {
    RecordedRequest r;
    r.method = QString::fromStdString(req.method);
    const std::string& target = req.target;
    const auto q = target.find('?');
    r.path = QString::fromStdString(q == std::string::npos ? target : target.substr(0, q));
    r.rawQuery = q == std::string::npos ? QByteArray() : QByteArray::fromStdString(target.substr(q + 1));
    r.query = decodeForm(r.rawQuery);
    for (const auto& [k, v] : req.headers) r.headers.append({QByteArray::fromStdString(k), QByteArray::fromStdString(v)});
    return r;
}

void FakeHttpService::send(const ScriptedResponse& s, httplib::Response& res) {
    if (s.delayMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(s.delayMs));
    res.status = s.status;
    for (const auto& [k, v] : s.headers) res.set_header(k.toStdString(), v.toStdString());
    res.set_content(s.body.toStdString(), s.contentType.toStdString());
}

QString FakeHttpService::hostPort() const { return QStringLiteral("127.0.0.1:%1").arg(port_); }
QString FakeHttpService::baseUrl() const { return QStringLiteral("http://") + hostPort(); }

void FakeHttpService::on(const QString& method, const QString& path, Script script) {
    std::lock_guard lock(mutex_);
    routes_.push_back(Route{method, path, std::move(script)});
}

void FakeHttpService::on(const QString& method, const QString& path, ScriptedResponse fixed) {
    on(method, path, [fixed](const RecordedRequest&) { return fixed; });
}

void FakeHttpService::clearScripts() {
    std::lock_guard lock(mutex_);
    routes_.clear();
}

std::vector<RecordedRequest> FakeHttpService::requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

std::vector<RecordedRequest> FakeHttpService::requestsTo(const QString& path) const {
    std::lock_guard lock(mutex_);
    std::vector<RecordedRequest> out;
    for (const auto& r : requests_)
        if (r.path == path) out.push_back(r);
    return out;
}

int FakeHttpService::requestCount() const {
    std::lock_guard lock(mutex_);
    return static_cast<int>(requests_.size());
}

void FakeHttpService::clearRequests() {
    std::lock_guard lock(mutex_);
    requests_.clear();
}

bool FakeHttpService::waitForRequests(int n, int timeoutMs) const {
    QDeadlineTimer deadline(timeoutMs);
    while (requestCount() < n) {
        if (deadline.hasExpired()) return false;
        if (QCoreApplication::instance()) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(2);
    }
    return true;
}
