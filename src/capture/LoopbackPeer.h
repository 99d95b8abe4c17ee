#pragma once

#include <QByteArray>
#include <QList>
#include <QtGlobal>

#include <optional>

// Who is at the other end of a loopback connection: the kernel's socket
// tables (/proc/net/tcp, /proc/net/tcp6) name the user owning each socket.
// The bridge serves only connections from processes of its own user, so on
// a shared machine one user's browser words never reach another's Mirvok.
namespace loopbackpeer {

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
