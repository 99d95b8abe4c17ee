#include "capture/GetWordServer.h"

#include "capture/LoopbackPeer.h"

#include <QByteArray>
#include <QtDebug>

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// Up to this many lines being read at once; more connections wait in the
// kernel's queue until one ends (2 s at most each). A burst of a thousand
// words (a page's worth of hover events) fits the two.
constexpr size_t kMaxClients = 512;
constexpr int kBacklog = 1024;

void logError(const char* prefix, int error) { qWarning("%s: %s", prefix, std::strerror(error)); }

struct Client {
    int fd;
    Clock::time_point deadline;
    QByteArray line;
};

struct Accepted {
    int fd;
    sockaddr_in peer;
};

// Keeps the connections whose peer socket belongs to our own user; closes
// the others.
void keepOwnUsers(std::vector<Accepted>& accepted, quint16 serverPort) {
    if (accepted.empty()) return;
    loopbackpeer::OwnerLookup lookup;
    const quint32 me = quint32(::getuid());
    for (auto it = accepted.begin(); it != accepted.end();) {
        const auto owner = lookup.ownerOf(it->peer.sin_addr.s_addr, ntohs(it->peer.sin_port), htonl(INADDR_LOOPBACK),
                                          serverPort);
        if (owner && *owner == me) {
            ++it;
            continue;
        }
        if (owner)
            qDebug("bridge: connection from user %u refused", *owner);
        else
            qDebug("bridge: connection of unknown owner refused");
        ::close(it->fd);
        it = accepted.erase(it);
    }
}

}  // namespace

GetWordServer::GetWordServer(WordHandler handler) : handler_(std::move(handler)) {}

GetWordServer::~GetWordServer() { stop(); }

bool GetWordServer::start(quint16 port) {
    if (thread_.joinable()) return true;
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        logError("socket", errno);
        return false;
    }
    // Lets a restarted application take the port while old connections sit
    // in TIME_WAIT; on Linux it never lets two listeners share it.
    const int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    // Words come only from this machine's browsers.
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        logError("bind", errno);
        ::close(fd);
        return false;
    }
    if (::listen(fd, kBacklog) != 0) {
        logError("listen", errno);
        ::close(fd);
        return false;
    }
    socklen_t len = sizeof addr;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    port_ = ntohs(addr.sin_port);
    if (::pipe2(wakeFds_, O_CLOEXEC | O_NONBLOCK) != 0) {
        logError("pipe", errno);
        ::close(fd);
        return false;
    }
    listenFd_ = fd;
    thread_ = std::thread([this] { run(); });
    return true;
}

void GetWordServer::stop() {
    if (thread_.joinable()) {
        const char byte = 0;
        (void)!::write(wakeFds_[1], &byte, 1);
        thread_.join();
    }
    auto closeFd = [](int& fd) {
        if (fd >= 0) ::close(fd);
        fd = -1;
    };
    closeFd(listenFd_);
    closeFd(wakeFds_[0]);
    closeFd(wakeFds_[1]);
}

void GetWordServer::run() {
    std::vector<Client> clients;
    int backoffMs = 0;
    Clock::time_point acceptAgain;
    std::vector<pollfd> fds;
    for (;;) {
        const auto now = Clock::now();
        // Drop lines that took too long.
        for (auto it = clients.begin(); it != clients.end();) {
            if (now >= it->deadline) {
                ::close(it->fd);
                it = clients.erase(it);
            } else {
                ++it;
            }
        }
        const bool accepting = clients.size() < kMaxClients && now >= acceptAgain;
        fds.clear();
        fds.push_back({wakeFds_[0], POLLIN, 0});
        fds.push_back({accepting ? listenFd_ : -1, POLLIN, 0});
        for (const Client& c : clients) fds.push_back({c.fd, POLLIN, 0});

        Clock::time_point wake = Clock::time_point::max();
        for (const Client& c : clients) wake = std::min(wake, c.deadline);
        if (!accepting && clients.size() < kMaxClients) wake = std::min(wake, acceptAgain);
        int timeout = -1;
        if (wake != Clock::time_point::max())
            timeout = int(std::max<qint64>(
                0, std::chrono::duration_cast<std::chrono::milliseconds>(wake - now).count() + 1));

        if (::poll(fds.data(), fds.size(), timeout) < 0) {
            if (errno == EINTR) continue;
            // Short of memory or descriptors: wait, and let the clients'
            // deadlines run out rather than ending the bridge for good.
            logError("poll", errno);
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            continue;
        }
        if (fds[0].revents) break;

        // Every connection waiting in the kernel's queue, not one a round:
        // a burst would otherwise overflow the queue and clients would
        // retry a second later.
        std::vector<Accepted> accepted;
        while ((fds[1].revents & POLLIN) && clients.size() + accepted.size() < kMaxClients) {
            Accepted a{-1, {}};
            socklen_t len = sizeof a.peer;
            a.fd = ::accept4(listenFd_, reinterpret_cast<sockaddr*>(&a.peer), &len, SOCK_NONBLOCK | SOCK_CLOEXEC);
            if (a.fd >= 0) {
                backoffMs = 0;
                accepted.push_back(a);
                continue;
            }
            if (errno == EINTR || errno == ECONNABORTED) continue;
            if (errno != EAGAIN && errno != EWOULDBLOCK) {
                // Out of descriptors or memory: try again later instead of
                // spinning on a listener that stays readable.
                logError("accept", errno);
                backoffMs = backoffMs ? std::min(backoffMs * 2, 1000) : 50;
                acceptAgain = Clock::now() + std::chrono::milliseconds(backoffMs);
            }
            break;
        }
        keepOwnUsers(accepted, port_);
        for (const Accepted& a : accepted)
            clients.push_back({a.fd, Clock::now() + std::chrono::milliseconds(kLineTimeoutMs), {}});

        // Clients polled this round sit at fds[2 + i]; new ones are past the end.
        const size_t polled = fds.size() - 2;
        std::vector<size_t> finished;
        for (size_t i = 0; i < polled; ++i) {
            if (!fds[2 + i].revents) continue;
            Client& c = clients[i];
            char buf[kMaxLine];
            const ssize_t room = kMaxLine - c.line.size();
            const ssize_t n = ::recv(c.fd, buf, size_t(room), 0);
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) continue;
            bool done = false;
            if (n < 0) {
                done = true;  // reset by the peer: nothing to read
            } else if (n == 0) {
                if (!c.line.isEmpty() && handler_) {
                    if (auto w = browserbridge::parseRequestLine(c.line)) handler_(*w);
                }
                done = true;
            } else {
                const qsizetype before = c.line.size();
                c.line.append(buf, n);
                const qsizetype lf = c.line.indexOf('\n', before);
                if (lf >= 0) {
                    if (handler_) {
                        if (auto w = browserbridge::parseRequestLine(c.line.left(lf))) handler_(*w);
                    }
                    done = true;
                } else if (c.line.size() >= kMaxLine) {
                    done = true;
                }
            }
            if (done) finished.push_back(i);
        }
        for (auto it = finished.rbegin(); it != finished.rend(); ++it) {
            ::close(clients[*it].fd);
            clients.erase(clients.begin() + qsizetype(*it));
        }
    }
    for (const Client& c : clients) ::close(c.fd);
}
