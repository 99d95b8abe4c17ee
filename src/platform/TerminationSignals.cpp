#include "platform/TerminationSignals.h"

#include <QDebug>
#include <QLoggingCategory>
#include <QSocketNotifier>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {
Q_LOGGING_CATEGORY(lcTermination, "mirvok.platform.signals", QtInfoMsg)
constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};
// Zero-initialised statics: nothing is constructed when a signal arrives.
int g_pipe[2] = {-1, -1};
struct sigaction g_previous[sizeof(kSignals) / sizeof(kSignals[0])];

// Safe to call from a signal handler: one write to a non-blocking pipe.
extern "C" void onSignal(int sig)
{
    const int saved = errno;
    const unsigned char byte = static_cast<unsigned char>(sig);
    if (g_pipe[1] >= 0) {
        const ssize_t n = ::write(g_pipe[1], &byte, 1);
        (void)n;  // a full pipe already holds a quit request
    }
    errno = saved;
}
}  // namespace

TerminationSignals::TerminationSignals(QObject* parent) : QObject(parent)
{
    if (::pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        qWarning().noquote() << "termination signals: no pipe; SIGTERM ends the application at once";
        g_pipe[0] = g_pipe[1] = -1;
        return;
    }
    notifier_ = new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &TerminationSignals::readPipe);
    for (size_t i = 0; i < std::size(kSignals); ++i) {
        struct sigaction sa = {};
        sa.sa_handler = onSignal;
        sigemptyset(&sa.sa_mask);
        sa.sa_flags = SA_RESTART;
        ::sigaction(kSignals[i], &sa, &g_previous[i]);
    }
}

TerminationSignals::~TerminationSignals()
{
    if (g_pipe[0] < 0)
        return;
    for (size_t i = 0; i < std::size(kSignals); ++i)
        ::sigaction(kSignals[i], &g_previous[i], nullptr);
    delete notifier_;
    ::close(g_pipe[0]);
    ::close(g_pipe[1]);
    g_pipe[0] = g_pipe[1] = -1;
}

void TerminationSignals::readPipe()
{
    unsigned char byte = 0;
    while (::read(g_pipe[0], &byte, 1) == 1) {
        qCDebug(lcTermination).noquote() << QStringLiteral("signal %1: quitting").arg(byte);
        emit received(byte);
    }
}
