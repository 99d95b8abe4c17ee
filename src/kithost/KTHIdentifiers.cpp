#include "kithost/KTHIdentifiers.h"

#include "kithost/binary/HexString.h"

#include <QCryptographicHash>
#include <QUuid>

QString KTHNewUUIDString()
{
    return QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
}

QString KTHHexStringFromUUIDBytes(const uint8_t* bytes)
{
    if (!bytes)
        return QString();
    char text[33];
    KTHHexStringFromBytes(bytes, 16, text);
    return QString::fromLatin1(text);
}

QString KTHHexStringFromData(const QByteArray& data)
{
    return QString::fromLatin1(data.toHex());
}

QString KTHSHA1HexStringFromBytes(const void* bytes, size_t length)
{
    return KTHSHA1HexStringFromData(
        QByteArray::fromRawData(static_cast<const char*>(bytes), qsizetype(bytes ? length : 0)));
}

QString KTHSHA1HexStringFromData(const QByteArray& data)
{
    return QString::fromLatin1(QCryptographicHash::hash(data, QCryptographicHash::Sha1).toHex());
}
