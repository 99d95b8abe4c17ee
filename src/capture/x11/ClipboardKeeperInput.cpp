#include "capture/x11/ClipboardKeeper.h"

#include <QtEndian>

#include <cerrno>
#include <unistd.h>

// The keeper's input on its own, apart from X and the GUI, so a fuzzer can
// read it with nothing else. Layout: magic, the number of payloads; per
// payload the number of its target names, each name (length, Latin-1
// bytes), then its size and bytes. All numbers are 32-bit little endian.
namespace clipboardkeeper {
namespace {

const QByteArray kMagic("MVCLIP\x02\n");
constexpr quint32 kMaxFormats = 256;
constexpr quint32 kMaxName = 256;

QByteArray u32(quint32 v) {
    const quint32 le = qToLittleEndian(v);
    return QByteArray(reinterpret_cast<const char*>(&le), 4);
}

// Reads what write() makes from `take(n, &out)`, which hands over exactly n
// bytes or fails; `atEnd()` says nothing follows.
template <typename Take, typename AtEnd>
std::optional<Formats> parse(Take take, AtEnd atEnd) {
    QByteArray chunk;
    auto number = [&](quint32* v) {
        if (!take(4, &chunk)) return false;
        *v = qFromLittleEndian<quint32>(chunk.constData());
        return true;
    };
    if (!take(kMagic.size(), &chunk) || chunk != kMagic) return std::nullopt;
    quint32 payloads = 0;
    if (!number(&payloads) || payloads > kMaxFormats) return std::nullopt;
    Formats out;
    QList<QByteArray> seen;
    qint64 total = 0;
    for (quint32 p = 0; p < payloads; ++p) {
        quint32 names = 0;
        if (!number(&names) || names == 0 || out.size() + names > kMaxFormats) return std::nullopt;
        QStringList named;
        for (quint32 i = 0; i < names; ++i) {
            quint32 size = 0;
            if (!number(&size) || size == 0 || size > kMaxName || !take(size, &chunk)) return std::nullopt;
            named.append(QString::fromLatin1(chunk));
        }
        quint32 size = 0;
        if (!number(&size)) return std::nullopt;
        total += size;
        if (total > kMaxInput) return std::nullopt;
        QByteArray data;
        if (!take(size, &data)) return std::nullopt;
        // write() sends equal bytes once: anything else is not its output.
        if (seen.contains(data)) return std::nullopt;
        seen.append(data);
        for (const QString& n : named) out.append({n, data});
    }
    if (!atEnd()) return std::nullopt;
    return out;
}

}  // namespace

QByteArrayList pieces(const Formats& formats) {
    QList<QByteArray> payloads;
    QList<QList<QByteArray>> names;
    for (const auto& [name, bytes] : formats) {
        qsizetype i = 0;
        while (i < payloads.size() && !(payloads[i].constData() == bytes.constData() && payloads[i].size() == bytes.size())
               && payloads[i] != bytes)
            ++i;
        if (i == payloads.size()) {
            payloads.append(bytes);
            names.append(QList<QByteArray>());
        }
        names[i].append(name.toLatin1());
    }
    QByteArrayList out;
    QByteArray head = kMagic + u32(quint32(payloads.size()));
    for (qsizetype i = 0; i < payloads.size(); ++i) {
        head += u32(quint32(names[i].size()));
        for (const QByteArray& n : names[i]) head += u32(quint32(n.size())) + n;
        head += u32(quint32(payloads[i].size()));
        out.append(head);
        out.append(payloads[i]);  // shared, not copied
        head.clear();
    }
    if (!head.isEmpty()) out.append(head);
    return out;
}

QByteArray write(const Formats& formats) {
    return pieces(formats).join();
}

std::optional<Formats> read(const QByteArray& bytes) {
    qsizetype at = 0;
    return parse(
        [&](qsizetype n, QByteArray* out) {
            if (bytes.size() - at < n) return false;
            *out = bytes.mid(at, n);
            at += n;
            return true;
        },
        [&] { return at == bytes.size(); });
}

std::optional<Formats> readFrom(int fd) {
    auto fill = [fd](char* to, qsizetype n) {
        while (n > 0) {
            const ssize_t got = ::read(fd, to, size_t(n));
            if (got < 0 && errno == EINTR) continue;
            if (got <= 0) return false;
            to += got;
            n -= got;
        }
        return true;
    };
    return parse(
        [&](qsizetype n, QByteArray* out) {
            // Only the size of what arrives: the keeper holds the data once.
            *out = QByteArray(n, Qt::Uninitialized);
            return fill(out->data(), n);
        },
        [&] {
            char extra;
            return !fill(&extra, 1);
        });
}

}  // namespace clipboardkeeper
