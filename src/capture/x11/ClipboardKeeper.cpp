#include "capture/x11/ClipboardKeeper.h"

#include <QClipboard>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QLoggingCategory>
#include <QMimeData>
#include <QScopeGuard>
#include <QThread>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include <X11/Xatom.h>
#include <X11/Xlib.h>

extern char** environ;

namespace clipboardkeeper {
namespace {
Q_LOGGING_CATEGORY(lcKeeper, "mirvok.capture.clipboard")

// A requestor that stops asking for the next part of a transfer for this
// long has gone away or given up.
constexpr qint64 kStalledMs = 10000;

int ignoreErrors(Display*, XErrorEvent*) { return 0; }

// A server time of our own, as selection owners must claim with one.
Time freshTime(Display* d, Window w) {
    XSelectInput(d, w, PropertyChangeMask);
    XChangeProperty(d, w, XA_WM_NAME, XA_STRING, 8, PropModeAppend, nullptr, 0);
    XEvent ev;
    XWindowEvent(d, w, PropertyChangeMask, &ev);
    return ev.xproperty.time;
}

// One format on its way to a requestor in parts (ICCCM's INCR): each part
// goes when the requestor has deleted the one before, and an empty part
// ends it.
struct Transfer {
    Window requestor = None;
    Atom property = None;
    Atom type = None;
    QByteArray data;  // shares the kept bytes
    qsizetype sent = 0;
    QElapsedTimer idle;
};

class Server {
public:
    Server(Display* d, const Formats& formats, Time owned) : d_(d), formats_(formats), owned_(owned) {
        for (const auto& f : formats_) atoms_.append(XInternAtom(d, f.first.toLatin1().constData(), False));
        targets_ = XInternAtom(d, "TARGETS", False);
        timestamp_ = XInternAtom(d, "TIMESTAMP", False);
        incr_ = XInternAtom(d, "INCR", False);
        const long maxRequest = XExtendedMaxRequestSize(d) ? XExtendedMaxRequestSize(d) : XMaxRequestSize(d);
        wholeBytes_ = maxRequest * 4 - 1024;
        partBytes_ = qMin<long>(wholeBytes_, XMaxRequestSize(d) * 4 - 1024);
    }

    bool busy() const { return !transfers_.empty(); }

    void answer(const XSelectionRequestEvent& r, bool owner) {
        XSelectionEvent reply{};
        reply.type = SelectionNotify;
        reply.display = d_;
        reply.requestor = r.requestor;
        reply.selection = r.selection;
        reply.target = r.target;
        reply.time = r.time;
        reply.property = None;
        // Clients of the old convention name no property: the target stands in.
        const Atom property = r.property == None ? r.target : r.property;
        if (owner && (r.time == CurrentTime || r.time >= owned_)) {
            if (r.target == targets_) {
                std::vector<long> list{long(targets_), long(timestamp_)};
                for (Atom a : atoms_) list.push_back(long(a));
                XChangeProperty(d_, r.requestor, property, XA_ATOM, 32, PropModeReplace,
                                reinterpret_cast<const unsigned char*>(list.data()), int(list.size()));
                reply.property = property;
            } else if (r.target == timestamp_) {
                const long t = long(owned_);
                XChangeProperty(d_, r.requestor, property, XA_INTEGER, 32, PropModeReplace,
                                reinterpret_cast<const unsigned char*>(&t), 1);
                reply.property = property;
            } else if (const qsizetype i = atoms_.indexOf(r.target); i >= 0) {
                const QByteArray& bytes = formats_[i].second;
                if (bytes.size() <= wholeBytes_) {
                    XChangeProperty(d_, r.requestor, property, r.target, 8, PropModeReplace,
                                    reinterpret_cast<const unsigned char*>(bytes.constData()), int(bytes.size()));
                } else {
                    // Told to the requestor before the first part can go:
                    // its deletion of this property asks for it.
                    XSelectInput(d_, r.requestor, PropertyChangeMask | StructureNotifyMask);
                    const long lowerBound = long(qMin<qsizetype>(bytes.size(), 0x7fffffff));
                    XChangeProperty(d_, r.requestor, property, incr_, 32, PropModeReplace,
                                    reinterpret_cast<const unsigned char*>(&lowerBound), 1);
                    Transfer t;
                    t.requestor = r.requestor;
                    t.property = property;
                    t.type = r.target;
                    t.data = bytes;
                    t.idle.start();
                    transfers_.push_back(std::move(t));
                }
                reply.property = property;
            }
        }
        XSendEvent(d_, r.requestor, False, NoEventMask, reinterpret_cast<XEvent*>(&reply));
        XFlush(d_);
    }

    void propertyChanged(const XPropertyEvent& e) {
        if (e.state != PropertyDelete) return;
        for (auto it = transfers_.begin(); it != transfers_.end(); ++it) {
            if (it->requestor != e.window || it->property != e.atom) continue;
            const qsizetype n = qMin<qsizetype>(partBytes_, it->data.size() - it->sent);
            XChangeProperty(d_, it->requestor, it->property, it->type, 8, PropModeReplace,
                            reinterpret_cast<const unsigned char*>(it->data.constData() + it->sent), int(n));
            it->sent += n;
            it->idle.start();
            if (n == 0) finish(it);  // the empty part went: done
            XFlush(d_);
            return;
        }
    }

    void windowGone(Window w) {
        for (auto it = transfers_.begin(); it != transfers_.end();) {
            if (it->requestor == w) it = transfers_.erase(it);
            else ++it;
        }
    }

    void dropStalled() {
        for (auto it = transfers_.begin(); it != transfers_.end();) {
            if (it->idle.elapsed() > kStalledMs) it = finish(it);
            else ++it;
        }
        XFlush(d_);
    }

private:
    std::vector<Transfer>::iterator finish(std::vector<Transfer>::iterator it) {
        const Window requestor = it->requestor;
        it = transfers_.erase(it);
        bool more = false;
        for (const Transfer& t : transfers_) more = more || t.requestor == requestor;
        if (!more) XSelectInput(d_, requestor, NoEventMask);
        return it;
    }

    Display* d_;
    const Formats& formats_;
    Time owned_;
    QList<Atom> atoms_;
    Atom targets_, timestamp_, incr_;
    long wholeBytes_ = 0;  // the most one request carries
    long partBytes_ = 0;   // one part of an incremental transfer
    std::vector<Transfer> transfers_;
};

// Waits for the next X event; false when a second passed without one.
bool waitForEvent(Display* d, bool timed) {
    if (XPending(d)) return true;
    const int fd = ConnectionNumber(d);
    fd_set set;
    FD_ZERO(&set);
    FD_SET(fd, &set);
    timeval second{1, 0};
    const int n = select(fd + 1, &set, nullptr, nullptr, timed ? &second : nullptr);
    return n > 0 || (n < 0 && errno == EINTR);
}

// Sends all of `parts` before `deadline`; false when the keeper stopped
// reading or the time ran out.
bool sendAll(int fd, const QByteArrayList& parts, const QElapsedTimer& clock, qint64 deadline) {
    for (const QByteArray& part : parts) {
        const char* at = part.constData();
        qsizetype left = part.size();
        while (left > 0) {
            const ssize_t n = ::send(fd, at, size_t(left), MSG_NOSIGNAL | MSG_DONTWAIT);
            if (n > 0) {
                at += n;
                left -= n;
                continue;
            }
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return false;
            const qint64 wait = deadline - clock.elapsed();
            if (wait <= 0) return false;
            pollfd p{fd, POLLOUT, 0};
            if (::poll(&p, 1, int(wait)) < 0 && errno != EINTR) return false;
        }
    }
    return true;
}

}  // namespace

Formats formatsOf(const QMimeData& data) {
    Formats out;
    if (data.hasText()) {
        const QString text = data.text();
        const QByteArray utf8 = text.toUtf8();
        out.append({QStringLiteral("UTF8_STRING"), utf8});
        out.append({QStringLiteral("text/plain;charset=utf-8"), utf8});
        out.append({QStringLiteral("text/plain"), utf8});
        bool latin = true, ascii = true;
        for (QChar c : text) {
            latin = latin && c.unicode() < 0x100;
            ascii = ascii && c.unicode() < 0x80;
        }
        // ASCII reads the same in both: the bytes are shared, not copied.
        if (latin) out.append({QStringLiteral("STRING"), ascii ? utf8 : text.toLatin1()});
    }
    for (const QString& f : data.formats()) {
        // Text went above; Qt's own formats mean nothing to other programs.
        if (f.startsWith(QLatin1String("text/plain")) || f.startsWith(QLatin1String("application/x-qt"))) continue;
        out.append({f, data.data(f)});
    }
    return out;
}

int handOverMs(qint64 bytes) {
    // The keeper's start, then its reading and claiming at a pace any
    // machine keeps (8 MB a second).
    return int(qMin<qint64>(2000 + bytes / 8192, 600000));
}

bool handOverAtExit() { return handOverAtExit(QCoreApplication::applicationFilePath()); }

bool handOverAtExit(const QString& keeperProgram) {
    if (QGuiApplication::platformName() != QLatin1String("xcb")) return true;
    QClipboard* cb = QGuiApplication::clipboard();
    const QMimeData* data = cb && cb->ownsClipboard() ? cb->mimeData(QClipboard::Clipboard) : nullptr;
    if (!data) return true;
    Display* d = XOpenDisplay(nullptr);
    if (!d) return false;
    const auto closeDisplay = qScopeGuard([d] { XCloseDisplay(d); });
    // A clipboard manager takes it from Qt as the application object goes.
    if (XGetSelectionOwner(d, XInternAtom(d, "CLIPBOARD_MANAGER", False)) != None) return true;
    const Formats formats = formatsOf(*data);
    if (formats.isEmpty()) return true;
    const QByteArrayList parts = pieces(formats);
    qint64 total = 0;
    for (const QByteArray& p : parts) total += p.size();
    if (total > kMaxInput) {
        qCWarning(lcKeeper) << "clipboard not kept: larger than" << kMaxInput << "bytes";
        return false;
    }
    const Atom clipboard = XInternAtom(d, "CLIPBOARD", False);
    const Window ours = XGetSelectionOwner(d, clipboard);

    // A socket, not a file: the bytes stay in memory on their way.
    int ends[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) {
        qCWarning(lcKeeper) << "clipboard not kept: no socket:" << strerror(errno);
        return false;
    }
    const auto closeOurs = qScopeGuard([&] { ::close(ends[0]); });
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, ends[1], STDIN_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    // Its own session, default signals, nothing blocked: it outlives us and
    // whatever terminal started us.
    sigset_t none, defaults;
    sigemptyset(&none);
    sigemptyset(&defaults);
    for (int s : {SIGPIPE, SIGTERM, SIGCHLD, SIGUSR1, SIGUSR2}) sigaddset(&defaults, s);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setsigdefault(&attr, &defaults);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    const QByteArray program = keeperProgram.toLocal8Bit();
    char* argv[] = {const_cast<char*>(program.constData()), const_cast<char*>(kArgument), nullptr};
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, program.constData(), &actions, &attr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    ::close(ends[1]);
    if (spawned != 0) {
        qCWarning(lcKeeper) << "clipboard not kept: the keeper did not start:" << strerror(spawned);
        return false;
    }

    QElapsedTimer clock;
    clock.start();
    const qint64 deadline = handOverMs(total);
    if (!sendAll(ends[0], parts, clock, deadline)) {
        qCWarning(lcKeeper) << "clipboard not kept: the keeper did not read it in time";
        return false;
    }
    ::close(ends[0]);
    ends[0] = -1;
    while (clock.elapsed() < deadline) {
        if (XGetSelectionOwner(d, clipboard) != ours) return true;
        int status = 0;
        if (::waitpid(pid, &status, WNOHANG) == pid) {
            qCWarning(lcKeeper) << "clipboard not kept: the keeper ended with status"
                                << (WIFEXITED(status) ? WEXITSTATUS(status) : -1);
            return false;
        }
        QThread::msleep(5);
    }
    qCWarning(lcKeeper) << "clipboard not kept: the keeper did not take it in" << deadline << "ms";
    return false;
}

int serveFromStdin() {
    // Detached from whatever started Mirvok: only the display ending (or
    // another owner) ends it.
    std::signal(SIGHUP, SIG_IGN);
    std::signal(SIGINT, SIG_IGN);
    const std::optional<Formats> formats = readFrom(STDIN_FILENO);
    // The socket's other end may wait for us to go; nothing more comes.
    const int null = ::open("/dev/null", O_RDONLY);
    if (null >= 0) {
        ::dup2(null, STDIN_FILENO);
        ::close(null);
    }
    if (!formats || formats->isEmpty()) return 2;
    XSetErrorHandler(ignoreErrors);
    Display* d = XOpenDisplay(nullptr);
    if (!d) return 3;
    const Window w = XCreateSimpleWindow(d, DefaultRootWindow(d), -10, -10, 1, 1, 0, 0, 0);
    const Atom clipboard = XInternAtom(d, "CLIPBOARD", False);
    const Time owned = freshTime(d, w);
    Server server(d, *formats, owned);
    XSetSelectionOwner(d, clipboard, w, owned);
    if (XGetSelectionOwner(d, clipboard) != w) return 4;
    // Once another program owns the clipboard, transfers under way still
    // finish: the requestor asked while we were the owner.
    bool owner = true;
    while (owner || server.busy()) {
        if (!waitForEvent(d, server.busy())) {
            server.dropStalled();
            continue;
        }
        if (!XPending(d)) continue;
        XEvent ev;
        XNextEvent(d, &ev);
        if (ev.type == SelectionClear && ev.xselectionclear.selection == clipboard) owner = false;
        else if (ev.type == SelectionRequest) server.answer(ev.xselectionrequest, owner);
        else if (ev.type == PropertyNotify && ev.xproperty.window != w) server.propertyChanged(ev.xproperty);
        else if (ev.type == DestroyNotify) server.windowGone(ev.xdestroywindow.window);
        server.dropStalled();
    }
    XCloseDisplay(d);
    return 0;
}

}  // namespace clipboardkeeper
