#pragma once

#include <QList>
#include <QSslCertificate>

// The public roots the kits' own services must chain to. Of the roots the
// component pins, these are the ones whose published encodings we carry
// (Entrust Root Certification Authority, DigiCert High Assurance EV Root
// CA); the others are retired roots that current trust stores no longer
// publish.
struct KTHPinnedCertificateDER {
    const unsigned char* bytes;
    int length;
};
extern const KTHPinnedCertificateDER kKTHPinnedCertificateDER[];
extern const int kKTHPinnedCertificateDERCount;

// Built once, thread-safe, immutable afterwards.
const QList<QSslCertificate>& KTHPinnedCertificates();
QSslCertificate KTHCertificateFromDER(const unsigned char* bytes, int length);
