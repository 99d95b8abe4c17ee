#pragma once

#include <QByteArray>
#include <QList>
#include <QtGlobal>

#include <optional>

// Who is at the other end of a loopback connection: the kernel names the
// user owning each socket. The bridge serves only connections from
// processes of its own user, so on a shared machine one user's browser
// words never reach another's Mirvok.
namespace loopbackpeer {

// Asks the kernel about single connections (sock_diag, an exact lookup by
// addresses and ports: a fraction of a millisecond), and where that cannot
// be asked, reads the socket tables /proc/net/tcp and tcp6 (as many
// milliseconds as the machine has sockets) once for this lookup's life.
// Make one per batch of connections accepted together.
class OwnerLookup {
public:
    OwnerLookup();
    ~OwnerLookup();
    OwnerLookup(const OwnerLookup&) = delete;
    OwnerLookup& operator=(const OwnerLookup&) = delete;

    // The owner of the socket at `peer`:`peerPort` connected to `server`:
    // `serverPort` (IPv4 addresses in network order); nothing when unknown.
    std::optional<quint32> ownerOf(quint32 peer, quint16 peerPort, quint32 server, quint16 serverPort);

private:
    std::optional<quint32> askKernel(quint32 peer, quint16 peerPort, quint32 server, quint16 serverPort);

    int netlink_ = -1;
    bool tablesRead_ = false;
    struct Tables;
    Tables* tables_ = nullptr;
};

struct Socket {
    quint32 localAddress = 0;  // IPv4, as the table prints it (network order in memory)
    quint16 localPort = 0;
    quint16 remotePort = 0;
    quint32 uid = 0;
};

// The table's sockets that a process still holds (TIME_WAIT rows carry no
// owner and are left out). Lines that do not read are skipped: the bytes
// are the kernel's, but nothing here relies on it. An IPv6 row counts when
// its local address is an IPv4 address mapped into IPv6.
QList<Socket> readTable(const QByteArray& table);

// The owner of the socket whose local end is `address`:`port` (the peer as
// accept() saw it) and remote port `serverPort`; nothing when none is
// listed.
std::optional<quint32> ownerOf(const QList<Socket>& sockets, quint32 address, quint16 port, quint16 serverPort);

}  // namespace loopbackpeer
