#include "crash/core/CRKInterpose.h"

#include "crash/core/CRKSignal.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <dlfcn.h>
#include <pthread.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

using SigmaskFn = int (*)(int, const sigset_t*, sigset_t*);
using CreateFn = int (*)(pthread_t*, const pthread_attr_t*, void* (*)(void*), void*);

template <typename Fn>
Fn next(const char* name)
{
    return reinterpret_cast<Fn>(dlsym(RTLD_NEXT, name));
}

// The register-sampling signal of CRKThreadState.
int samplingSignal() { return SIGRTMIN + 7; }

int forwardMask(SigmaskFn fn, int how, const sigset_t* set, sigset_t* old)
{
    if (!set || how == SIG_UNBLOCK)
        return fn(how, set, old);
    sigset_t kept = *set;
    CRKInterposeKeepCrashSignals(&kept);
    return fn(how, &kept, old);
}

struct Start {
    void* (*routine)(void*);
    void* argument;
};

void* startThread(void* raw)
{
    const Start start = *static_cast<Start*>(raw);
    free(raw);
    CRKSignalThreadStarted();
    return start.routine(start.argument);
}

// Resolved before any thread can race for them.
__attribute__((constructor)) void resolveEarly()
{
    sigset_t current;
    pthread_sigmask(SIG_BLOCK, nullptr, &current);
    sigprocmask(SIG_BLOCK, nullptr, &current);
}

}  // namespace

void CRKInterposeKeepCrashSignals(void* set)
{
    auto* s = static_cast<sigset_t*>(set);
    for (int signal : kCRKHandledSignals)
        sigdelset(s, signal);
    sigdelset(s, samplingSignal());
}

extern "C" __attribute__((visibility("default"))) int pthread_sigmask(int how, const sigset_t* set, sigset_t* old) noexcept
{
    static const SigmaskFn fn = next<SigmaskFn>("pthread_sigmask");
    if (!fn)
        return ENOSYS;
    return forwardMask(fn, how, set, old);
}

extern "C" __attribute__((visibility("default"))) int sigprocmask(int how, const sigset_t* set, sigset_t* old) noexcept
{
    static const SigmaskFn fn = next<SigmaskFn>("sigprocmask");
    if (!fn) {
        errno = ENOSYS;
        return -1;
    }
    return forwardMask(fn, how, set, old);
}

extern "C" __attribute__((visibility("default"))) int pthread_create(pthread_t* thread, const pthread_attr_t* attr,
                                                                     void* (*routine)(void*), void* argument) noexcept
{
    static const CreateFn fn = next<CreateFn>("pthread_create");
    if (!fn)
        return EAGAIN;
    auto* start = static_cast<Start*>(malloc(sizeof(Start)));
    if (!start)
        return fn(thread, attr, routine, argument);
    *start = {routine, argument};
    const int result = fn(thread, attr, startThread, start);
    if (result != 0)
        free(start);
    return result;
}
