#pragma once

#include "capture/BrowserBridgeRequest.h"

#include <QtGlobal>

#include <atomic>
#include <functional>
#include <thread>

// The browser bridge's listener: 127.0.0.1 only, one request line per
// connection, no reply, and only to processes of the user running it. Runs on a thread of its own and serves any number
// of connections at once, so a client that connects and says nothing never
// delays another client's word.
//
// A connection ends at its first line feed or at the end of its stream
// (which ends the line the same way); one that sends 4096 bytes without a
// line feed, or whose line is still incomplete after 2 s, is dropped.
class GetWordServer {
public:
    // Called on the server thread for each well-formed request.
    using WordHandler = std::function<void(const browserbridge::BrowserWord&)>;
    static constexpr quint16 kDefaultPort = 32445;
    static constexpr int kMaxLine = 4096;
    static constexpr int kLineTimeoutMs = 2000;

    explicit GetWordServer(WordHandler handler);
    // Stops the thread and closes every socket.
    ~GetWordServer();
    GetWordServer(const GetWordServer&) = delete;
    GetWordServer& operator=(const GetWordServer&) = delete;

    // Binds and starts serving; port 0 picks a free one (tests). False, with
    // one "socket: …", "bind: …" or "listen: …" line in the log, when the
    // bridge cannot run; the application goes on without it.
    bool start(quint16 port = kDefaultPort);
    void stop();
    bool isRunning() const { return thread_.joinable(); }
    quint16 port() const { return port_; }

private:
    void run();

    WordHandler handler_;
    int listenFd_ = -1;
    int wakeFds_[2] = {-1, -1};
    quint16 port_ = 0;
    std::thread thread_;
};
