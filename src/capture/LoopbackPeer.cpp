#include "capture/LoopbackPeer.h"

namespace loopbackpeer {
namespace {

constexpr int kTimeWait = 0x06;

std::optional<quint32> hex32(const QByteArray& s) {
    if (s.isEmpty() || s.size() > 8) return std::nullopt;
    bool ok = false;
    const uint v = s.toUInt(&ok, 16);
    return ok ? std::optional<quint32>(v) : std::nullopt;
}

// "0100007F:8A2D" or, for IPv6, 32 hex digits and the port. The IPv4 form
// of a mapped address is the row's last word.
bool readEndpoint(const QByteArray& field, quint32* address, quint16* port) {
    const qsizetype colon = field.indexOf(':');
    if (colon != 8 && colon != 32) return false;
    const QByteArray portHex = field.mid(colon + 1);
    if (portHex.size() != 4) return false;
    const auto p = hex32(portHex);
    if (!p) return false;
    if (colon == 32) {
        // ::ffff:a.b.c.d prints as 0000000000000000FFFF0000 then the address.
        if (field.left(24) != "0000000000000000FFFF0000") return false;
    }
    const auto a = hex32(field.mid(colon - 8, 8));
    if (!a) return false;
    *address = *a;
    *port = quint16(*p);
    return true;
}

}  // namespace

QList<Socket> readTable(const QByteArray& table) {
    QList<Socket> out;
    bool header = true;
    for (const QByteArray& line : table.split('\n')) {
        if (header) {  // "  sl  local_address rem_address   st ... uid ..."
            header = false;
            continue;
        }
        const QList<QByteArray> f = line.simplified().split(' ');
        // sl local remote st tx:rx tr:when retrnsmt uid ...
        if (f.size() < 8) continue;
        Socket s;
        quint32 remoteAddress = 0;
        if (!readEndpoint(f[1], &s.localAddress, &s.localPort)) continue;
        if (!readEndpoint(f[2], &remoteAddress, &s.remotePort)) continue;
        const auto state = hex32(f[3]);
        if (!state || *state == kTimeWait) continue;
        bool ok = false;
        s.uid = f[7].toUInt(&ok);
        if (!ok) continue;
        out.append(s);
    }
    return out;
}

std::optional<quint32> ownerOf(const QList<Socket>& sockets, quint32 address, quint16 port, quint16 serverPort) {
    for (const Socket& s : sockets)
        if (s.localPort == port && s.remotePort == serverPort && s.localAddress == address) return s.uid;
    return std::nullopt;
}

}  // namespace loopbackpeer
