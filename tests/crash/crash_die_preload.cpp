// Test-only: preloaded into the real application, makes it die the way
// MIRVOK_TEST_DIE names once a byte arrives on the FIFO MIRVOK_TEST_DIE_FIFO.
// The thread that dies is one the application never started, as a library's
// would be. "at-mark" dies on the main thread instead, when the start-up
// logs the timing mark MIRVOK_TEST_DIE_AT (the mirvok.timing category must
// be on): a death at a named step, however fast or slow the machine.
#include <QByteArray>
#include <QMessageLogContext>
#include <QString>
#include <QtGlobal>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <pthread.h>
#include <string>
#include <thread>
#include <unistd.h>

namespace {

volatile int gNever = -1;
QtMessageHandler gPreviousHandler = nullptr;

void dieAtMark(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    static const QByteArray mark = qgetenv("MIRVOK_TEST_DIE_AT");
    // A mark is "<microseconds> <what>".
    if (!mark.isEmpty() && message.toUtf8().endsWith(" " + mark))
        *static_cast<volatile int*>(nullptr) = 1;
    if (gPreviousHandler)
        gPreviousHandler(type, context, message);
}

__attribute__((noinline)) int recurse(int depth)
{
    volatile char pad[512];
    pad[0] = char(depth);
    if (depth == gNever)
        return 0;
    int r = recurse(depth + 1);
    asm volatile("" : "+r"(r));
    return r + pad[0];
}

__attribute__((constructor)) void arm()
{
    const char* how = getenv("MIRVOK_TEST_DIE");
    const char* fifo = getenv("MIRVOK_TEST_DIE_FIFO");
    if (!how || strcmp(program_invocation_short_name, "mirvok") != 0)
        return;
    if (strcmp(how, "at-mark") == 0) {
        gPreviousHandler = qInstallMessageHandler(dieAtMark);
        return;
    }
    if (!fifo)
        return;
    // Extra threads parked a few frames deep, for fault-to-death figures.
    for (int i = 0, n = getenv("MIRVOK_TEST_DIE_THREADS") ? atoi(getenv("MIRVOK_TEST_DIE_THREADS")) : 0; i < n; ++i)
        std::thread([] {
            for (;;)
                pause();
        }).detach();
    std::thread([how = std::string(how), fifo = std::string(fifo)] {
        // Every signal blocked from the start, the way graphics drivers' and
        // the main loop library's workers run.
        if (how == "blocked-thread") {
            sigset_t all;
            sigfillset(&all);
            pthread_sigmask(SIG_BLOCK, &all, nullptr);
        }
        const int fd = open(fifo.c_str(), O_RDONLY | O_CLOEXEC);
        char byte;
        if (fd < 0 || read(fd, &byte, 1) != 1)
            return;
        // The moment of the fault, for fault-to-death figures.
        timespec now;
        clock_gettime(CLOCK_MONOTONIC, &now);
        const std::string stamp = std::to_string(now.tv_sec * 1000000000LL + now.tv_nsec);
        const int out = open((fifo + ".fault").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        if (out >= 0) {
            (void)!write(out, stamp.data(), stamp.size());
            close(out);
        }
        if (how == "blocked-thread")
            *static_cast<volatile int*>(nullptr) = 1;
        else if (how == "overflow-thread")
            gNever = recurse(0);
    }).detach();
}

}  // namespace
