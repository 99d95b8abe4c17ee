#pragma once

#include <QByteArray>
#include <zlib.h>

// gunzip of a whole buffer; null when it is not a complete gzip stream.
inline QByteArray crashTestGunzip(const QByteArray& in)
{
    z_stream z{};
    if (inflateInit2(&z, 16 + MAX_WBITS) != Z_OK)
        return {};
    QByteArray out;
    char buffer[16384];
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.constData()));
    z.avail_in = uInt(in.size());
    int rc;
    do {
        z.next_out = reinterpret_cast<Bytef*>(buffer);
        z.avail_out = sizeof(buffer);
        rc = inflate(&z, Z_NO_FLUSH);
        out.append(buffer, int(sizeof(buffer) - z.avail_out));
    } while (rc == Z_OK);
    inflateEnd(&z);
    return rc == Z_STREAM_END ? (out.isNull() ? QByteArray("") : out) : QByteArray();
}
