#include "capture/x11/ClipboardKeeper.h"

#include <QtEndian>

// The keeper's input on its own, apart from X and the GUI, so a fuzzer can
// read it with nothing else.
namespace clipboardkeeper {
namespace {

const QByteArray kMagic("MVCLIP\x01\n");
constexpr quint32 kMaxFormats = 256;
constexpr quint32 kMaxName = 256;

void appendU32(QByteArray& out, quint32 v) {
    const quint32 le = qToLittleEndian(v);
    out.append(reinterpret_cast<const char*>(&le), 4);
}

bool takeU32(const QByteArray& in, qsizetype* at, quint32* v) {
    if (in.size() - *at < 4) return false;
    *v = qFromLittleEndian<quint32>(in.constData() + *at);
    *at += 4;
    return true;
}

bool takeBytes(const QByteArray& in, qsizetype* at, quint32 size, QByteArray* out) {
    if (in.size() - *at < qsizetype(size)) return false;
    *out = in.mid(*at, size);
    *at += size;
    return true;
}

}  // namespace

QByteArray write(const Formats& formats) {
    QByteArray out = kMagic;
    appendU32(out, quint32(formats.size()));
    for (const auto& [name, bytes] : formats) {
        const QByteArray n = name.toLatin1();
        appendU32(out, quint32(n.size()));
        out.append(n);
        appendU32(out, quint32(bytes.size()));
        out.append(bytes);
    }
    return out;
}

std::optional<Formats> read(const QByteArray& bytes) {
    if (!bytes.startsWith(kMagic) || bytes.size() > kMaxInput) return std::nullopt;
    qsizetype at = kMagic.size();
    quint32 count = 0;
    if (!takeU32(bytes, &at, &count) || count > kMaxFormats) return std::nullopt;
    Formats out;
    for (quint32 i = 0; i < count; ++i) {
        quint32 size = 0;
        QByteArray name, data;
        if (!takeU32(bytes, &at, &size) || size == 0 || size > kMaxName || !takeBytes(bytes, &at, size, &name))
            return std::nullopt;
        if (!takeU32(bytes, &at, &size) || !takeBytes(bytes, &at, size, &data)) return std::nullopt;
        out.append({QString::fromLatin1(name), data});
    }
    if (at != bytes.size()) return std::nullopt;
    return out;
}

}  // namespace clipboardkeeper
