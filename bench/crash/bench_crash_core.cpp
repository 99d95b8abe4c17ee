// Crash-time core figures, medians of 20:
// - CRKContextInitialize with about 110 libraries loaded (a fresh process
//   each time, the web engine's libraries loaded first);
// - fault to death of a process with 120 threads 40 frames deep, built
//   without frame pointers (a fresh process each time), a third of them
//   blocking every signal the way graphics drivers' and the main loop
//   library's workers do: through pthread_sigmask (the crash and sampling
//   signals stay open), or by a raw system call (skipped unasked);
// - one log line, one key write.
#include "crash/core/CRKContext.h"
#include "crash/core/CRKUserLogging.h"
#include "crash/core/CRKUtilities.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dlfcn.h>
#include <link.h>
#include <csignal>
#include <string>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

double nowMs()
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

std::string tempFolder()
{
    char path[] = "/tmp/bench_crash_XXXXXX";
    return mkdtemp(path) ? path : "/tmp";
}

int countImages(dl_phdr_info*, size_t, void* n)
{
    ++*static_cast<int*>(n);
    return 0;
}

constexpr int kThreads = 120;
std::atomic<int> gReady{0};
volatile bool gRelease = false;

// A real frame per level: the asm keeps the compiler from turning the
// recursion into a loop.
extern "C" __attribute__((noinline)) int deep(int depth)
{
    volatile char pad[16];
    pad[0] = char(depth);
    if (depth == 0) {
        gReady.fetch_add(1);
        while (!gRelease)
            pause();
        return 0;
    }
    int r = deep(depth - 1);
    asm volatile("" : "+r"(r));
    return r + pad[0];
}

int gOut = -1;

// Child modes; each reports one figure on the pipe (a fault, two: its moment
// and the moment the record was done, from the crash callback).
int child(const char* mode, int out)
{
    gOut = out;
    const std::string folder = tempFolder();
    CRKContextParameters p;
    p.reportPath = folder.c_str();
    p.documentsPath = folder.c_str();
    double figure = 0;
    if (strcmp(mode, "init") == 0) {
        dlopen("libQt6WebEngineWidgets.so.6", RTLD_NOW | RTLD_GLOBAL);
        int images = 0;
        dl_iterate_phdr(countImages, &images);
        const double start = nowMs();
        CRKContextInitialize(&p);
        figure = nowMs() - start;
        (void)!write(out, &images, sizeof(images));
    } else {
        p.crashCallback = [](void*) {
            const double done = nowMs();
            (void)!write(gOut, &done, sizeof(done));
        };
        CRKContextInitialize(&p);
        const bool raw = strcmp(mode, "fault-raw") == 0;
        for (int i = 0; i < kThreads; ++i)
            std::thread([i, raw] {
                if (i % 3 == 0) {
                    sigset_t all;
                    sigfillset(&all);
                    if (raw)
                        syscall(SYS_rt_sigprocmask, SIG_BLOCK, &all, nullptr, 8);
                    else
                        pthread_sigmask(SIG_BLOCK, &all, nullptr);
                }
                deep(40);
            }).detach();
        while (gReady.load() < kThreads)
            usleep(1000);
        figure = nowMs();  // the moment of the fault
    }
    (void)!write(out, &figure, sizeof(figure));
    if (strcmp(mode, "init") == 0)
        close(out);
    else
        *static_cast<volatile int*>(nullptr) = 1;
    std::string command = "rm -rf " + folder;
    return system(command.c_str());
}

double runChild(const char* self, const char* mode, int* images, double* recorded = nullptr)
{
    int fds[2];
    if (pipe(fds) != 0)
        return -1;
    const pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        const std::string fd = std::to_string(fds[1]);
        execl(self, self, mode, fd.c_str(), nullptr);
        _exit(127);
    }
    close(fds[1]);
    double figure = -1;
    if (strcmp(mode, "init") == 0)
        (void)!read(fds[0], images, sizeof(*images));
    (void)!read(fds[0], &figure, sizeof(figure));
    double done = -1;
    if (recorded && read(fds[0], &done, sizeof(done)) == sizeof(done))
        *recorded = done - figure;
    int status = 0;
    waitpid(pid, &status, 0);
    const double died = nowMs();
    close(fds[0]);
    return strcmp(mode, "init") != 0 ? died - figure : figure;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 3)
        return child(argv[1], atoi(argv[2]));
    std::vector<double> init, fault, faultRaw, recorded, recordedRaw, logLine, keyWrite;
    int images = 0;
    for (int i = 0; i < 20; ++i) {
        init.push_back(runChild(argv[0], "init", &images));
        double r = -1;
        fault.push_back(runChild(argv[0], "fault", nullptr, &r));
        recorded.push_back(r);
        faultRaw.push_back(runChild(argv[0], "fault-raw", nullptr, &r));
        recordedRaw.push_back(r);
    }
    const std::string folder = tempFolder();
    CRKContextParameters p;
    p.reportPath = folder.c_str();
    CRKContextInitialize(&p);
    for (int round = 0; round < 20; ++round) {
        double start = nowMs();
        for (int i = 0; i < 100; ++i)
            CRKUserLoggingRecordLogMessage("a line the application logs while it runs");
        logLine.push_back((nowMs() - start) * 10);  // µs per line
        start = nowMs();
        for (int i = 0; i < 100; ++i)
            CRKUserLoggingRecordUserKeyValue(("key" + std::to_string(i % 12)).c_str(), "value");
        keyWrite.push_back((nowMs() - start) * 10);
    }
    printf("CRKContextInitialize, %d images loaded: %.2f ms\n", images, median(init));
    printf("fault to death, %d threads x 40 frames, no frame pointers, a third blocking all signals: %.2f ms"
           " (record done after %.2f ms)\n",
           kThreads, median(fault), median(recorded));
    printf("the same, the blockers by a raw system call (not asked): %.2f ms (record done after %.2f ms)\n",
           median(faultRaw), median(recordedRaw));
    printf("log line: %.1f us\n", median(logLine));
    printf("key write (compaction every 64 included): %.1f us\n", median(keyWrite));
    std::string command = "rm -rf " + folder;
    return system(command.c_str()) == 0 ? 0 : 1;
}
