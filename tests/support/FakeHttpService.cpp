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
// Splits a multipart body at its boundary; the parts keep their order and
// headers (cpp-httplib's own parser sorts them into a map by name).
QList<RecordedPart> decodeMultipart(const QByteArray& contentType, const QByteArray& body) {
    QList<RecordedPart> parts;
    if (!contentType.trimmed().toLower().startsWith("multipart/")) return parts;
    const int at = contentType.indexOf("boundary=");
    if (at < 0) return parts;
    QByteArray boundary = contentType.mid(at + 9);
    const int semi = boundary.indexOf(';');
    if (semi >= 0) boundary.truncate(semi);
    boundary = boundary.trimmed();
    if (boundary.startsWith('"') && boundary.endsWith('"') && boundary.size() >= 2)
        boundary = boundary.mid(1, boundary.size() - 2);
    const QByteArray delimiter = "--" + boundary;
    int pos = body.indexOf(delimiter);
    while (pos >= 0) {
        pos += delimiter.size();
        if (body.mid(pos, 2) == "--") break;  // closing delimiter
        if (body.mid(pos, 2) == "\r\n") pos += 2;
        const int next = body.indexOf("\r\n" + delimiter, pos);
        if (next < 0) break;
        const QByteArray chunk = body.mid(pos, next - pos);
        const int split = chunk.indexOf("\r\n\r\n");
        RecordedPart part;
        const QByteArray head = split < 0 ? chunk : chunk.left(split);
        part.bytes = split < 0 ? QByteArray() : chunk.mid(split + 4);
        for (const QByteArray& line : head.split('\n')) {
            const QByteArray l = line.endsWith('\r') ? line.chopped(1) : line;
            const int colon = l.indexOf(':');
            if (colon <= 0) continue;
            part.headers.append({l.left(colon).trimmed(), l.mid(colon + 1).trimmed()});
        }
        const QByteArray disposition = part.header("Content-Disposition");
        auto param = [&](const QByteArray& key) {
            const QByteArray needle = "; " + key + "=\"";
            const int p = disposition.indexOf(needle);
            if (p < 0) return QString();
            const int start = p + needle.size();
            return QString::fromUtf8(disposition.mid(start, disposition.indexOf('"', start) - start));
        };
        part.name = param("name");
        part.filename = param("filename");
        parts.append(part);
        pos = next + 2;
    }
    return parts;
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

FakeHttpService::FakeHttpService() : server_(std::make_unique<httplib::Server>()) {
    auto handler = [this](const httplib::Request& req, httplib::Response& res, const std::string& body) {
        RecordedRequest r;
        r.method = QString::fromStdString(req.method);
        const std::string& target = req.target;
        const auto q = target.find('?');
        r.path = QString::fromStdString(q == std::string::npos ? target : target.substr(0, q));
        r.rawQuery = q == std::string::npos ? QByteArray() : QByteArray::fromStdString(target.substr(q + 1));
        r.query = decodeForm(r.rawQuery);
        for (const auto& [k, v] : req.headers) r.headers.append({QByteArray::fromStdString(k), QByteArray::fromStdString(v)});
        r.body = QByteArray::fromStdString(body);
        r.parts = decodeMultipart(r.header("Content-Type"), r.body);
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
        const ScriptedResponse s = script(r);
        if (s.delayMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(s.delayMs));
        res.status = s.status;
        for (const auto& [k, v] : s.headers) res.set_header(k.toStdString(), v.toStdString());
        res.set_content(s.body.toStdString(), s.contentType.toStdString());
    };
    server_->Get(".*", [handler](const httplib::Request& req, httplib::Response& res) {
        handler(req, res, req.body);
    });
    // A content reader sees the body as sent, multipart bodies too.
    auto withReader = [handler](const httplib::Request& req, httplib::Response& res,
                                const httplib::ContentReader& reader) {
        std::string body;
        reader([&](const char* data, size_t length) {
            body.append(data, length);
            return true;
        });
        handler(req, res, body);
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
