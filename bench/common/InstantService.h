#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <atomic>
#include <thread>
#include <utility>
#include <vector>

// A dictionary service stand-in that answers at once: 127.0.0.1, an
// ephemeral port, HTTP/1.1 with keep-alive, each answer one write with
// Nagle off. Answers are fixed per path prefix; anything else is 404. It
// records nothing (the tests' fake service does that): benchmarks use it so
// that what they time is the client, not the stand-in's threads and
// connection set-up.
class InstantService {
public:
    InstantService();
    ~InstantService();
    InstantService(const InstantService&) = delete;
    InstantService& operator=(const InstantService&) = delete;

    // Before the first request only.
    void on(const QByteArray& pathPrefix, const QByteArray& contentType, const QByteArray& body);
    QString hostPort() const { return QStringLiteral("127.0.0.1:%1").arg(port_); }

private:
    void serve();
    QByteArray answerFor(const QByteArray& request) const;

    struct Route {
        QByteArray prefix, response;
    };
    std::vector<Route> routes_;
    int listener_ = -1;
    int wake_[2] = {-1, -1};
    int port_ = 0;
    std::thread thread_;
};
