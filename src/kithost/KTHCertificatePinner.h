#pragma once

#include <QList>
#include <QSslCertificate>
#include <QSslConfiguration>

// Server trust against a fixed set of roots. On Linux the check is done by
// the TLS layer itself: a connection made with sslConfiguration() trusts
// those roots and nothing else (an empty set trusts nothing), and a chain
// that ends elsewhere fails the handshake. Nothing here ever ignores an
// SSL error.
class KTHCertificatePinner {
public:
    explicit KTHCertificatePinner(QList<QSslCertificate> certificates);

    const QList<QSslCertificate>& certificates() const { return certificates_; }
    QSslConfiguration sslConfiguration() const;

private:
    QList<QSslCertificate> certificates_;
};
