// A process that installs the crash-time core and then dies the way its
// first argument names, leaving its record files in the folder of its
// second argument. Before dying it writes "ranges.txt": the address range of
// each function a crashed stack is expected to pass through.
#include "crash/core/CRKContext.h"
#include "crash/core/CRKException.h"
#include "crash/core/CRKUserLogging.h"
#include "platform/SerialQueue.h"
#include "platform/ThreadStartHook.h"
#include "crash/core/CRKSignal.h"

#include <QThread>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <elf.h>
#include <fcntl.h>
#include <link.h>
#include <pthread.h>
#include <stdexcept>
#include <string>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>
#include <vector>

#define NOINLINE extern "C" __attribute__((noinline, visibility("default")))

static std::string gDir;
static volatile int gSink;

static void writeRange(FILE* out, const char* name, void* fn)
{
    Dl_info info;
    ElfW(Sym)* sym = nullptr;
    if (dladdr1(fn, &info, reinterpret_cast<void**>(&sym), RTLD_DL_SYMENT) && sym)
        fprintf(out, "%s %lu %lu\n", name, (unsigned long)info.dli_saddr,
                (unsigned long)info.dli_saddr + (unsigned long)sym->st_size);
}

NOINLINE int crash_fault(const char* how);
NOINLINE int crash_caller(const char* how);
NOINLINE int crash_deep(int depth);
NOINLINE int crash_recurse(int depth);

NOINLINE int crash_fault(const char* how)
{
    std::string s = how;
    if (s == "segv") {
        *static_cast<volatile int*>(nullptr) = 1;
    } else if (s == "fpe") {
        volatile int zero = 0;
        gSink = 10 / zero;
    } else if (s == "trap") {
        __builtin_trap();
    } else if (s == "int3") {
        asm volatile("int3");
    } else if (s == "abort") {
        abort();
    } else if (s == "bus") {
        const std::string path = gDir + "/truncated";
        const int fd = open(path.c_str(), O_RDWR | O_CREAT, 0644);
        (void)!ftruncate(fd, 8192);
        volatile char* p = static_cast<char*>(mmap(nullptr, 8192, PROT_READ, MAP_SHARED, fd, 0));
        (void)!ftruncate(fd, 0);
        gSink = p[4096];
    } else if (s.rfind("raise-", 0) == 0) {
        raise(atoi(s.c_str() + 6));
    } else if (s == "wait") {
        int fd = open((gDir + "/ready").c_str(), O_WRONLY | O_CREAT, 0644);
        close(fd);
        for (;;)
            pause();
    } else if (s == "cxx") {
        throw std::runtime_error("boom \"quoted\"");
    } else if (s == "nullcall") {
        void (*volatile fn)() = nullptr;
        fn();
    } else if (s == "overflow") {
        gSink = crash_recurse(0);
    }
    return gSink + 1;
}

static volatile int gNever = -1;

NOINLINE int crash_recurse(int depth)
{
    volatile char pad[512];
    pad[0] = char(depth);
    if (depth == gNever)
        return 0;
    int r = crash_recurse(depth + 1);
    asm volatile("" : "+r"(r));
    return r + pad[0];
}

NOINLINE int crash_caller(const char* how)
{
    return crash_fault(how) + 1;
}

static std::atomic<int> gParked{0};

// Other threads: a chain of frames, parked.
NOINLINE int crash_deep(int depth)
{
    volatile char pad[16];
    pad[0] = char(depth);
    if (depth == 0) {
        gParked.fetch_add(1);
        while (gNever != 0)
            pause();
        return 0;
    }
    int r = crash_deep(depth - 1);  // the asm keeps each level a real frame
    asm volatile("" : "+r"(r));
    return r + pad[0];
}

static std::atomic<int> gArrived{0};

int main(int argc, char** argv)
{
    if (argc < 3)
        return 2;
    const std::string scenario = argv[1];
    gDir = argv[2];
    const bool install = getenv("CHILD_NO_HANDLERS") == nullptr;
    CRKContextParameters params;
    params.reportPath = argv[2];
    params.apiKey = "key";
    params.sessionId = "session";
    params.documentsPath = argv[2];
    params.hostModel = "model \"x\"";
    if (scenario == "chained") {
        struct sigaction previous;
        memset(&previous, 0, sizeof(previous));
        previous.sa_handler = [](int) {
            const int fd = open((gDir + "/chained").c_str(), O_WRONLY | O_CREAT, 0644);
            close(fd);
            signal(SIGSEGV, SIG_DFL);
        };
        sigaction(SIGSEGV, &previous, nullptr);
    }
    if (install)
        CRKContextInitialize(&params);
    setThreadStartHook(CRKSignalThreadStarted);

    FILE* ranges = fopen((gDir + "/ranges.txt").c_str(), "w");
    writeRange(ranges, "crash_fault", reinterpret_cast<void*>(crash_fault));
    writeRange(ranges, "crash_caller", reinterpret_cast<void*>(crash_caller));
    writeRange(ranges, "crash_deep", reinterpret_cast<void*>(crash_deep));
    writeRange(ranges, "crash_recurse", reinterpret_cast<void*>(crash_recurse));
    writeRange(ranges, "main", reinterpret_cast<void*>(main));
    fclose(ranges);

    const int extraThreads = getenv("CHILD_THREADS") ? atoi(getenv("CHILD_THREADS")) : 2;
    for (int i = 0; i < extraThreads; ++i) {
        std::thread([i] {
            // 15 bytes, the kernel's limit: four characters, a quote, and a
            // character cut after its first byte.
            if (i == 0)
                pthread_setname_np(pthread_self(), "\xe5\xb7\xa5\xe4\xbd\x9c\xe7\xba\xbf\xe7\xa8\x8b\"\xe9\x98");
            crash_deep(40);
        }).detach();
    }
    const int blockers = getenv("CHILD_BLOCKER") ? 1 : 0;
    if (blockers) {
        // Past the C library: the thread really blocks every signal.
        std::thread([] {
            sigset_t all;
            sigfillset(&all);
            syscall(SYS_rt_sigprocmask, SIG_BLOCK, &all, nullptr, 8);
            gParked.fetch_add(1);
            for (;;)
                pause();
        }).detach();
    }
    // Under load a fixed pause is not enough for the other threads to reach
    // the bottom of their chains (or block their signals) before the crash:
    // wait for them (5 s at most).
    for (int i = 0; i < 5000 && gParked.load() < extraThreads + blockers; ++i)
        usleep(1000);
    usleep(20000);

    if (scenario == "keys") {
        // Writes ten keys over and over until killed, compacting every 64.
        for (unsigned i = 0;; ++i) {
            const std::string key = "key" + std::to_string(i % 10), value = std::to_string(i);
            CRKUserLoggingRecordUserKeyValue(key.c_str(), value.c_str());
        }
    } else if (scenario == "cxx-worker") {
        std::thread([] { crash_caller("cxx"); }).join();
    } else if (scenario == "cxx-main") {
        crash_caller("cxx");
    } else if (scenario == "overflow-queue") {
        SerialQueue queue("com.mirvok.test.overflow");
        queue.async([] { crash_caller("overflow"); });
        for (;;)
            pause();
    } else if (scenario == "blocked-thread") {
        // The way graphics drivers' and the main loop library's workers run.
        std::thread([] {
            sigset_t all;
            sigfillset(&all);
            pthread_sigmask(SIG_BLOCK, &all, nullptr);
            crash_caller("segv");
        }).join();
    } else if (scenario == "overflow-thread") {
        std::thread([] { crash_caller("overflow"); }).join();
    } else if (scenario == "overflow-qthread") {
        QThread* thread = QThread::create([] { crash_caller("overflow"); });
        thread->start();
        thread->wait();
    } else if (scenario == "two") {
        // Two threads fault at the same moment.
        for (int i = 0; i < 2; ++i) {
            std::thread([] {
                gArrived.fetch_add(1);
                while (gArrived.load() < 2) {
                }
                crash_caller("segv");
            }).detach();
        }
        for (;;)
            pause();
    } else if (scenario == "chained") {
        crash_caller("segv");
    } else {
        crash_caller(scenario == "overflow-main" ? "overflow" : scenario.c_str());
    }
    return 0;
}
