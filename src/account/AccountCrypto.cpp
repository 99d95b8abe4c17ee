#include "account/AccountCrypto.h"

#include <QCryptographicHash>
#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rsa.h>

QString MD5Encrypt::encrypt(const QString& text) {
    QByteArray bytes = text.toUtf8();
    const int nul = bytes.indexOf('\0');
    if (nul >= 0) bytes.truncate(nul);
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Md5).toHex());
}

QByteArray RSAEncrypt::formatPublicKey(const QString& base64Key) {
    QByteArray key = base64Key.toLatin1();
    key.replace('\n', "").replace('\r', "");
    QByteArray pem = "-----BEGIN PUBLIC KEY-----\n";
    for (int i = 0; i < key.size(); i += 76) pem += key.mid(i, 76) + '\n';
    return pem + "-----END PUBLIC KEY-----\n";
}

QByteArray RSAEncrypt::encryptTextWithHexPublicKey(const QString& text, const QString& hexKey) {
    const QByteArray der = QByteArray::fromHex(hexKey.toLatin1());
    if (der.isEmpty()) return {};
    return encryptTextWithBase64PublicKey(text, QString::fromLatin1(der.toBase64()));
}

QByteArray RSAEncrypt::encryptTextWithBase64PublicKey(const QString& text, const QString& base64Key) {
    const QByteArray pem = formatPublicKey(base64Key);
    BIO* bio = BIO_new_mem_buf(pem.constData(), int(pem.size()));
    if (!bio) return {};
    EVP_PKEY* key = PEM_read_bio_PUBKEY(bio, nullptr, nullptr, nullptr);
    BIO_free(bio);
    if (!key) return {};
    QByteArray out;
    EVP_PKEY_CTX* ctx = EVP_PKEY_CTX_new(key, nullptr);
    const QByteArray plain = text.toUtf8();
    size_t len = 0;
    if (ctx && EVP_PKEY_encrypt_init(ctx) > 0 && EVP_PKEY_CTX_set_rsa_padding(ctx, RSA_PKCS1_PADDING) > 0 &&
        EVP_PKEY_encrypt(ctx, nullptr, &len, reinterpret_cast<const unsigned char*>(plain.constData()),
                         size_t(plain.size())) > 0) {
        out.resize(qsizetype(len));
        if (EVP_PKEY_encrypt(ctx, reinterpret_cast<unsigned char*>(out.data()), &len,
                             reinterpret_cast<const unsigned char*>(plain.constData()), size_t(plain.size())) > 0)
            out.resize(qsizetype(len));
        else
            out.clear();
    }
    EVP_PKEY_CTX_free(ctx);
    EVP_PKEY_free(key);
    return out;
}

const QStringList& EmailFilter::domains() {
    static const QStringList d{QStringLiteral("kemo.example"), QStringLiteral("kemo-vip.example"),
                               QStringLiteral("kemo-mail.example"), QStringLiteral("kemo-net.example"),
                               QStringLiteral("kemo-cn.example")};
    return d;
}

QStringList EmailFilter::filterEmails(const QString& typed) {
    QStringList out;
    const int at = typed.indexOf(u'@');
    if (at < 0) {
        for (const QString& d : domains()) out << typed + u'@' + d;
        return out;
    }
    const QString name = typed.left(at), part = typed.mid(at + 1);
    for (const QString& d : domains())
        if (d.startsWith(part, Qt::CaseInsensitive)) out << QStringLiteral("%1@%2").arg(name, d);
    return out;
}
