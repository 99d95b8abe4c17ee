#pragma once

#include <QString>
#include <QTemporaryDir>
#include <atomic>
#include <memory>
#include <thread>

namespace httplib { class SSLServer; }

// A certificate authority made for this test run with the openssl tool, and
// leaf certificates for 127.0.0.1 that it signs.
class TestCertificateAuthority {
public:
    explicit TestCertificateAuthority(const QString& name);
    bool isValid() const { return valid_; }
    QString caPath() const;               // PEM
    QByteArray caPem() const;
    // Issues a server certificate for 127.0.0.1; false when openssl failed.
    bool issueServerCertificate(const QString& certPath, const QString& keyPath) const;

private:
    QTemporaryDir dir_;
    bool valid_ = false;
};

// An HTTPS service on 127.0.0.1 (ephemeral port) with a leaf of the given
// authority. Answers GET /ping with 200 "pong"; counts requests.
class KitTlsService {
public:
    explicit KitTlsService(const TestCertificateAuthority& authority);
    ~KitTlsService();
    bool isValid() const { return port_ > 0; }
    int port() const { return port_; }
    QString baseUrl() const;   // "https://127.0.0.1:<port>"
    int requestCount() const { return requests_.load(); }

private:
    QTemporaryDir dir_;
    std::unique_ptr<httplib::SSLServer> server_;
    std::thread thread_;
    int port_ = 0;
    std::atomic<bool> listenReturned_{false};
    std::atomic<int> requests_{0};
};
