#include "support/FakeAccountService.h"

#include "platform/UserDefaults.h"
#include "support/TestEnv.h"

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QUrl>
#include <httplib.h>

namespace {
QList<QPair<QString, QString>> decodeQuery(const QByteArray& raw) {
    QList<QPair<QString, QString>> out;
    for (const QByteArray& part : raw.split('&')) {
        if (part.isEmpty()) continue;
        const int eq = part.indexOf('=');
        QByteArray k = eq < 0 ? part : part.left(eq), v = eq < 0 ? QByteArray() : part.mid(eq + 1);
        k.replace('+', ' ');
        v.replace('+', ' ');
        out.append({QUrl::fromPercentEncoding(k), QUrl::fromPercentEncoding(v)});
    }
    return out;
}

ScriptedResponse json(const QJsonObject& o, QList<QPair<QByteArray, QByteArray>> headers = {}) {
    return ScriptedResponse(200, QJsonDocument(o).toJson(QJsonDocument::Compact), "application/json",
                            std::move(headers));
}
}  // namespace

FakeAccountService::FakeAccountService(bool strangerCertificate) {
    const QString name = strangerCertificate ? QStringLiteral("stranger") : QStringLiteral("server");
    const std::string cert = testDataPath(QStringLiteral("account/%1.pem").arg(name)).toStdString();
    const std::string key = testDataPath(QStringLiteral("account/%1.key").arg(name)).toStdString();
    tls_ = std::make_unique<httplib::SSLServer>(cert.c_str(), key.c_str());
    tls_->Get(".*", [this](const httplib::Request& req, httplib::Response& res) {
        RecordedRequest r;
        r.method = QString::fromStdString(req.method);
        const auto q = req.target.find('?');
        r.path = QString::fromStdString(req.target.substr(0, q));
        r.rawQuery = q == std::string::npos ? QByteArray() : QByteArray::fromStdString(req.target.substr(q + 1));
        r.query = decodeQuery(r.rawQuery);
        for (const auto& [k, v] : req.headers)
            r.headers.append({QByteArray::fromStdString(k), QByteArray::fromStdString(v)});
        FakeHttpService::Script script;
        {
            std::lock_guard lock(mutex_);
            tlsRequests_.push_back(r);
            for (const Route& route : tlsRoutes_)
                if (route.path == r.path) script = route.script;
        }
        if (!script) {
            res.status = 404;
            return;
        }
        const ScriptedResponse s = script(r);
        if (s.delayMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(s.delayMs));
        res.status = s.status;
        for (const auto& [k, v] : s.headers) res.set_header(k.toStdString(), v.toStdString());
        res.set_content(s.body.toStdString(), s.contentType.toStdString());
    });
    tls_->set_keep_alive_max_count(1);
    tlsPort_ = tls_->bind_to_any_port("127.0.0.1");
    tlsThread_ = std::thread([this] {
        tls_->listen_after_bind();
        tlsReturned_ = true;
    });
}

FakeAccountService::~FakeAccountService() {
    while (!tls_->is_running() && !tlsReturned_) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    tls_->stop();
    if (tlsThread_.joinable()) tlsThread_.join();
}

QString FakeAccountService::tlsHostPort() const { return QStringLiteral("127.0.0.1:%1").arg(tlsPort_); }

void FakeAccountService::onTls(const QString& path, FakeHttpService::Script script) {
    std::lock_guard lock(mutex_);
    tlsRoutes_.push_back({path, std::move(script)});
}

void FakeAccountService::onTls(const QString& path, ScriptedResponse fixed) {
    onTls(path, [fixed](const RecordedRequest&) { return fixed; });
}

std::vector<RecordedRequest> FakeAccountService::tlsRequests() const {
    std::lock_guard lock(mutex_);
    return tlsRequests_;
}

void FakeAccountService::pointDefaultsHere() const {
    UserDefaults::standard().setValue(QStringLiteral("MVServiceHost"), hostPort());
    UserDefaults::standard().setValue(QStringLiteral("MVServiceTLSHost"), tlsHostPort());
}

void FakeAccountService::trustTestCa() {
    QSslConfiguration c = QSslConfiguration::defaultConfiguration();
    c.setCaCertificates(QSslCertificate::fromPath(testDataPath(QStringLiteral("account/ca.pem"))));
    QSslConfiguration::setDefaultConfiguration(c);
}

QByteArray FakeAccountService::pngBytes(int w, int h) {
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(Qt::red);
    QByteArray out;
    QBuffer b(&out);
    b.open(QIODevice::WriteOnly);
    img.save(&b, "PNG");
    return out;
}

QByteArray FakeAccountService::sessionCookieHeader(const QByteArray& name, const QByteArray& value, bool httpOnly) {
    return name + '=' + value + "; Path=/; Max-Age=86400" + (httpOnly ? "; HttpOnly" : "");
}

void FakeAccountService::scriptHappyPath(const QString& userid, const QString& username) {
    const QString base = http_.baseUrl();
    auto cookies = [this] {
        return QList<QPair<QByteArray, QByteArray>>{
            {"Set-Cookie", sessionCookieHeader("DICT_SESS", sessValue)},
            {"Set-Cookie", sessionCookieHeader("DICT_LOGIN", loginValue, true)}};
    };
    const QJsonObject user{{"DICT-PC", "pc-token-1"},
                           {"userid", userid},
                           {"username", username},
                           {"imageurl", base + "/avatar-small.png"},
                           {"imageurl_big", base + "/avatar-big.png"}};
    onTls(QStringLiteral("/login/acc/login"), [user, cookies](const RecordedRequest&) { return json(user, cookies()); });
    http_.on("GET", "/profile/batch/get",
             json({{"values", QJsonObject{{"option_avatar", base + "/avatar.png"}}}}));
    for (const char* p : {"/avatar.png", "/avatar-small.png", "/avatar-big.png"})
        http_.on("GET", p, ScriptedResponse(200, pngBytes(), "image/png"));
    http_.on("GET", "/login/acc/rp", json({{"pci", "pci-1"}, {"pc", "pc-1"}}));
    QJsonObject poll = user;
    poll.insert("login", true);
    http_.on("GET", "/login/acc/poll", [poll, cookies](const RecordedRequest&) { return json(poll, cookies()); });
    http_.on("*", "/login/acc/co/cq", json(poll));
    http_.on("GET", "/login/acc/login",
             ScriptedResponse(200,
                              "<html><body><p>login page</p><input id='u'>"
                              "<a id='go' href='/login/acc/authorize'>authorize</a></body></html>",
                              "text/html; charset=utf-8"));
    http_.on("GET", "/login/acc/authorize", [cookies](const RecordedRequest&) {
        auto h = cookies();
        h.append(qMakePair(QByteArray("Location"), QByteArray("/login/acc/done")));
        return ScriptedResponse(302, "", "text/html", h);
    });
    http_.on("GET", "/login/acc/setcookie", [cookies](const RecordedRequest&) {
        return ScriptedResponse(200, "ok", "text/plain", cookies());
    });
    http_.on("GET", "/login/acc/done", ScriptedResponse(200, "<html><body>done</body></html>", "text/html"));
}
