#include "InstantService.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <map>

InstantService::InstantService() {
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (listener_ < 0 || ::bind(listener_, reinterpret_cast<sockaddr*>(&a), len) != 0 ||
        ::listen(listener_, 64) != 0 || ::getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &len) != 0)
        return;
    port_ = ntohs(a.sin_port);
    if (::pipe2(wake_, O_CLOEXEC) != 0) return;
    thread_ = std::thread([this] { serve(); });
}

InstantService::~InstantService() {
    if (thread_.joinable()) {
        const char c = 0;
        (void)!::write(wake_[1], &c, 1);
        thread_.join();
    }
    for (int fd : {listener_, wake_[0], wake_[1]})
        if (fd >= 0) ::close(fd);
}

void InstantService::on(const QByteArray& pathPrefix, const QByteArray& contentType, const QByteArray& body) {
    routes_.push_back({pathPrefix, "HTTP/1.1 200 OK\r\nContent-Type: " + contentType +
                                       "\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" + body});
}

QByteArray InstantService::answerFor(const QByteArray& request) const {
    const QList<QByteArray> words = request.left(request.indexOf('\r')).split(' ');
    const QByteArray path = words.value(1);
    for (const Route& r : routes_)
        if (path.startsWith(r.prefix)) return r.response;
    return "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n";
}

void InstantService::serve() {
    std::map<int, QByteArray> pending;  // socket -> bytes read so far
    for (;;) {
        std::vector<pollfd> fds{{wake_[0], POLLIN, 0}, {listener_, POLLIN, 0}};
        for (const auto& [fd, bytes] : pending) fds.push_back({fd, POLLIN, 0});
        if (::poll(fds.data(), fds.size(), -1) < 0) continue;
        if (fds[0].revents) break;
        if (fds[1].revents & POLLIN) {
            const int c = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
            if (c >= 0) {
                const int one = 1;
                ::setsockopt(c, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
                pending[c];
            }
        }
        for (std::size_t i = 2; i < fds.size(); ++i) {
            if (!fds[i].revents) continue;
            const int fd = fds[i].fd;
            char buf[65536];
            const ssize_t n = ::read(fd, buf, sizeof buf);
            if (n <= 0) {
                ::close(fd);
                pending.erase(fd);
                continue;
            }
            QByteArray& in = pending[fd];
            in.append(buf, n);
            // Whole requests only; a body (a POST's form) by its length.
            for (;;) {
                const qsizetype end = in.indexOf("\r\n\r\n");
                if (end < 0) break;
                qsizetype length = 0;
                const qsizetype at = in.toLower().indexOf("\r\ncontent-length:");
                if (at >= 0 && at < end) length = in.mid(at + 17, in.indexOf('\r', at + 2) - at - 17).trimmed().toLongLong();
                if (in.size() < end + 4 + length) break;
                const QByteArray answer = answerFor(in.left(end));
                in.remove(0, end + 4 + length);
                qsizetype sent = 0;
                while (sent < answer.size()) {
                    const ssize_t w = ::write(fd, answer.constData() + sent, answer.size() - sent);
                    if (w <= 0) break;
                    sent += w;
                }
            }
        }
    }
    for (const auto& [fd, bytes] : pending) ::close(fd);
}
