#pragma once

#include <QByteArray>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

// One bridge client as a browser extension is: connects to 127.0.0.1:port,
// writes `bytes` and closes. False when the connection or the write failed.
// System calls only, so a forked child may use it.
inline bool sendAndClose(quint16 port, const QByteArray& bytes) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) return false;
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0
                    && ::write(fd, bytes.constData(), size_t(bytes.size())) == ssize_t(bytes.size());
    ::close(fd);
    return ok;
}
