#pragma once

#include <QByteArray>
#include <QString>
#include <cstddef>
#include <cstdint>

// Identifier and digest texts the kits send.

// A new random UUID: 36 characters, upper-case hexadecimal, 8-4-4-4-12.
QString KTHNewUUIDString();
// 16 bytes as 32 lower-case hexadecimal characters.
QString KTHHexStringFromUUIDBytes(const uint8_t* bytes);
QString KTHHexStringFromData(const QByteArray& data);
// SHA-1 digest as 40 lower-case hexadecimal characters.
QString KTHSHA1HexStringFromBytes(const void* bytes, size_t length);
QString KTHSHA1HexStringFromData(const QByteArray& data);
