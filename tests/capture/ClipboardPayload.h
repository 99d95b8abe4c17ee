#pragma once

#include <QByteArray>
#include <QString>

// What the hand-over test copies, made the same way on both sides: text in
// every UTF-8 length (so a cut or a byte lost anywhere shows), and image
// bytes no compression would shrink.
namespace clipboardpayload {

inline QByteArray text(qint64 bytes) {
    QByteArray out;
    out.reserve(bytes + 64);
    for (qint64 line = 0;; ++line) {
        const QByteArray l = QStringLiteral("%1 a é 龙 🐉\n").arg(line, 8, 10, QLatin1Char('0')).toUtf8();
        if (out.size() + l.size() > bytes) return out;
        out += l;
    }
}

inline QByteArray image(qint64 bytes) {
    QByteArray out(bytes, Qt::Uninitialized);
    quint32 x = 2463534242u;
    for (qint64 i = 0; i < bytes; ++i) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        out[i] = char(x);
    }
    return out;
}

}  // namespace clipboardpayload
