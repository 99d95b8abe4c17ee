#include "kithost/KTHCertificatePinner.h"

#include "kithost/KTHPinnedCertificates.h"


KTHCertificatePinner::KTHCertificatePinner(QList<QSslCertificate> certificates)
    : certificates_(std::move(certificates))
{
}

QSslConfiguration KTHCertificatePinner::sslConfiguration() const
{
    QSslConfiguration config = QSslConfiguration::defaultConfiguration();
    // An explicit CA list also turns off Qt's on-demand loading of system roots.
    config.setCaCertificates(certificates_);
    return config;
}

const QList<QSslCertificate>& KTHPinnedCertificates()
{
    static const QList<QSslCertificate> set = [] {
        QList<QSslCertificate> out;
        for (int i = 0; i < kKTHPinnedCertificateDERCount; ++i) {
            const QSslCertificate c =
                KTHCertificateFromDER(kKTHPinnedCertificateDER[i].bytes, kKTHPinnedCertificateDER[i].length);
            if (!c.isNull())
                out.append(c);
        }
        return out;
    }();
    return set;
}

QSslCertificate KTHCertificateFromDER(const unsigned char* bytes, int length)
{
    return QSslCertificate(QByteArray(reinterpret_cast<const char*>(bytes), length), QSsl::Der);
}
