#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// The password digest the service expects: MD5 of the UTF-8 bytes (up to a
// first NUL) as 32 lower-case hex digits. Password-equivalent: never log it.
namespace MD5Encrypt {
QString encrypt(const QString& text);
}

// RSA public encryption with PKCS#1 v1.5 padding over OpenSSL. The key comes
// as hex (or Base64) of a DER SubjectPublicKeyInfo; it is read from memory.
// Empty result on any failure.
namespace RSAEncrypt {
QByteArray encryptTextWithHexPublicKey(const QString& text, const QString& hexKey);
QByteArray encryptTextWithBase64PublicKey(const QString& text, const QString& base64Key);
// The PEM block: header, the key's characters in lines of 76, footer.
QByteArray formatPublicKey(const QString& base64Key);
}  // namespace RSAEncrypt

// Completes a typed account name with the five mail domains we offer.
namespace EmailFilter {
const QStringList& domains();  // each without "@"
QStringList filterEmails(const QString& typed);
}  // namespace EmailFilter
