#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace httplib { class Server; struct Request; struct Response; }

// One part of a multipart/form-data body, as it arrived.
struct RecordedPart {
    QString name;                                   // Content-Disposition name
    QString filename;                               // empty when none was given
    QList<QPair<QByteArray, QByteArray>> headers;   // Content-Type, when the part had one
    QByteArray bytes;

    QByteArray header(const QByteArray& name) const;  // case-insensitive, first match
};

// What the fake service saw of one request, as it arrived.
struct RecordedRequest {
    QString method;
    QString path;                              // without the query
    QByteArray rawQuery;                       // exactly as sent, still escaped
    QList<QPair<QString, QString>> query;      // decoded, in order
    QList<QPair<QByteArray, QByteArray>> headers;
    QByteArray body;                           // as sent; empty for multipart/form-data
    QList<RecordedPart> parts;                 // multipart/form-data parts in arrival order

    QByteArray header(const QByteArray& name) const;  // case-insensitive, first match
    QString queryValue(const QString& key) const;     // first match
    QList<QPair<QString, QString>> formFields() const;  // body decoded as a form
};

struct ScriptedResponse {
    // A constructor rather than aggregate initialisation, so that the short
    // forms ScriptedResponse{200, "body"} compile without field warnings.
    ScriptedResponse(int status_ = 200, QByteArray body_ = {},
                     QByteArray contentType_ = "text/plain; charset=utf-8",
                     QList<QPair<QByteArray, QByteArray>> headers_ = {}, int delayMs_ = 0)
        : status(status_), body(std::move(body_)), contentType(std::move(contentType_)),
          headers(std::move(headers_)), delayMs(delayMs_) {}

    int status = 200;
    QByteArray body;
    QByteArray contentType = "text/plain; charset=utf-8";
    QList<QPair<QByteArray, QByteArray>> headers;
    int delayMs = 0;  // answer late (to test superseded requests and time-outs)
};

// An HTTP service on 127.0.0.1 with an ephemeral port, serving from its own
// thread. Tests script answers per method and path and read back every
// request. Unscripted paths answer 404.
class FakeHttpService {
public:
    using Script = std::function<ScriptedResponse(const RecordedRequest&)>;

    // threads: how many requests are answered at once (0: the library's
    // default, at least 8); more when scripts hold their answers back.
    explicit FakeHttpService(int threads = 0);
    ~FakeHttpService();

    int port() const { return port_; }
    QString hostPort() const;  // "127.0.0.1:<port>"
    QString baseUrl() const;   // "http://127.0.0.1:<port>"

    // method "*" matches any method.
    void on(const QString& method, const QString& path, Script script);
    void on(const QString& method, const QString& path, ScriptedResponse fixed);
    void clearScripts();

    std::vector<RecordedRequest> requests() const;
    std::vector<RecordedRequest> requestsTo(const QString& path) const;
    int requestCount() const;
    void clearRequests();
    // Spins the Qt event loop until n requests have arrived or the time is up.
    bool waitForRequests(int n, int timeoutMs = 5000) const;

    // How a request is recorded and a scripted answer sent: shared with the
    // fakes that run their own server beside this one.
    static RecordedRequest recordedFrom(const httplib::Request& req);
    static void send(const ScriptedResponse& s, httplib::Response& res);

private:
    struct Route { QString method, path; Script script; };
    std::unique_ptr<httplib::Server> server_;
    std::thread thread_;
    int port_ = 0;
    std::atomic<bool> listenReturned_{false};
    mutable std::mutex mutex_;
    std::vector<Route> routes_;
    std::vector<RecordedRequest> requests_;
};
