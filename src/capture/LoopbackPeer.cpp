#include "capture/LoopbackPeer.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <linux/inet_diag.h>
#include <linux/netlink.h>
#include <linux/sock_diag.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

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

struct OwnerLookup::Tables {
    QList<Socket> sockets;
};

OwnerLookup::OwnerLookup() {
    netlink_ = ::socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC, NETLINK_SOCK_DIAG);
    if (netlink_ >= 0) {
        // The kernel answers at once; a stuck answer must not hold the bridge.
        timeval tv{0, 200 * 1000};
        ::setsockopt(netlink_, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    }
}

OwnerLookup::~OwnerLookup() {
    if (netlink_ >= 0) ::close(netlink_);
    delete tables_;
}

std::optional<quint32> OwnerLookup::askKernel(quint32 peer, quint16 peerPort, quint32 server, quint16 serverPort) {
    struct {
        nlmsghdr header;
        inet_diag_req_v2 request;
    } ask{};
    ask.header.nlmsg_len = sizeof ask;
    ask.header.nlmsg_type = SOCK_DIAG_BY_FAMILY;
    ask.header.nlmsg_flags = NLM_F_REQUEST;
    ask.header.nlmsg_seq = 1;
    ask.request.sdiag_family = AF_INET;
    ask.request.sdiag_protocol = IPPROTO_TCP;
    ask.request.idiag_states = ~0U;
    ask.request.id.idiag_sport = htons(peerPort);
    ask.request.id.idiag_dport = htons(serverPort);
    ask.request.id.idiag_src[0] = peer;
    ask.request.id.idiag_dst[0] = server;
    ask.request.id.idiag_cookie[0] = INET_DIAG_NOCOOKIE;
    ask.request.id.idiag_cookie[1] = INET_DIAG_NOCOOKIE;
    sockaddr_nl kernel{};
    kernel.nl_family = AF_NETLINK;
    if (::sendto(netlink_, &ask, sizeof ask, 0, reinterpret_cast<sockaddr*>(&kernel), sizeof kernel) < 0)
        return std::nullopt;
    alignas(nlmsghdr) char buf[8192];
    const ssize_t n = ::recv(netlink_, buf, sizeof buf, 0);
    if (n < ssize_t(sizeof(nlmsghdr))) return std::nullopt;
    const auto* h = reinterpret_cast<const nlmsghdr*>(buf);
    if (!NLMSG_OK(h, size_t(n)) || h->nlmsg_type != SOCK_DIAG_BY_FAMILY
        || h->nlmsg_len < NLMSG_LENGTH(sizeof(inet_diag_msg)))
        return std::nullopt;
    return reinterpret_cast<const inet_diag_msg*>(NLMSG_DATA(h))->idiag_uid;
}

std::optional<quint32> OwnerLookup::ownerOf(quint32 peer, quint16 peerPort, quint32 server, quint16 serverPort) {
    if (netlink_ >= 0) return askKernel(peer, peerPort, server, serverPort);
    if (!tablesRead_) {
        tablesRead_ = true;
        tables_ = new Tables;
        for (const char* path : {"/proc/net/tcp", "/proc/net/tcp6"}) {
            QFile f(QString::fromLatin1(path));
            if (f.open(QIODevice::ReadOnly)) tables_->sockets += readTable(f.readAll());
        }
    }
    return loopbackpeer::ownerOf(tables_->sockets, peer, peerPort, serverPort);
}

}  // namespace loopbackpeer
