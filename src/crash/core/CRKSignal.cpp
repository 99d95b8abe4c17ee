#include "crash/core/CRKSignal.h"

#include "crash/core/CRKContext.h"
#include "crash/core/CRKProcess.h"
#include "crash/core/CRKSDKLog.h"
#include "crash/core/CRKThreadState.h"
#include "crash/core/CRKUtilities.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dlfcn.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <unistd.h>

const int kCRKHandledSignals[kCRKHandledSignalCount] = {SIGABRT, SIGBUS, SIGFPE, SIGILL, SIGSEGV, SIGSYS, SIGTRAP};

int CRKSignalMacNumber(int signal)
{
    if (signal == SIGBUS)
        return 10;
    if (signal == SIGSYS)
        return 12;
    return signal;
}

const char* CRKSignalName(int macNumber)
{
    static const char* const names[] = {"SIGILL", "SIGTRAP", "SIGABRT", "UNKNOWN", "SIGFPE",
                                        "UNKNOWN", "SIGBUS", "SIGSEGV", "SIGSYS"};
    return macNumber >= 4 && macNumber <= 12 ? names[macNumber - 4] : "UNKNOWN";
}

const char* CRKSignalCodeName(int macNumber)
{
    return macNumber == 6 ? "ABORT" : nullptr;
}

bool CRKSignalWasSent(const siginfo_t* info)
{
    // SI_USER is 0; SI_QUEUE, SI_TKILL and the other user codes are negative.
    return info && info->si_code <= 0;
}

namespace {

void dieWithDefault(int signal)
{
    struct sigaction action;
    memset(&action, 0, sizeof(action));
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    sigaction(signal, &action, nullptr);
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, signal);
    sigprocmask(SIG_UNBLOCK, &set, nullptr);
    syscall(SYS_tgkill, getpid(), CRKThreadId(), signal);
    _exit(128 + signal);
}

void park()
{
    // Another thread is recording; it releases nothing here: the process
    // dies when that record is done.
    for (;;)
        pause();
}

thread_local struct ThreadAltStack {
    void* mapping = nullptr;
    size_t size = 0;
    ~ThreadAltStack()
    {
        if (!mapping)
            return;
        stack_t off;
        memset(&off, 0, sizeof(off));
        off.ss_flags = SS_DISABLE;
        sigaltstack(&off, nullptr);
        munmap(mapping, size);
    }
} tAltStack;

}  // namespace

void CRKSignalThreadStarted()
{
    stack_t current;
    if (tAltStack.mapping || sigaltstack(nullptr, &current) != 0 || !(current.ss_flags & SS_DISABLE))
        return;
    const size_t size = kCRKStackSize + 4096;  // plus a guard page below
    void* mapping = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (mapping == MAP_FAILED)
        return;
    mprotect(mapping, 4096, PROT_NONE);
    stack_t stack;
    memset(&stack, 0, sizeof(stack));
    stack.ss_sp = static_cast<char*>(mapping) + 4096;
    stack.ss_size = kCRKStackSize;
    if (sigaltstack(&stack, nullptr) != 0) {
        munmap(mapping, size);
        return;
    }
    tAltStack.mapping = mapping;
    tAltStack.size = size;
}

void CRKSignalInitialize(CRKSignalRecord* record)
{
    CRKContext* context = CRKContextGet();
    if (!record || !context)
        return;
    if (!CRKFileUnlink(record->path))
        CRKSDKLog("%s: Unable to reset the signal log file %s\n", __func__, strerror(errno));
    stack_t current;
    if (sigaltstack(nullptr, &current) == 0 && (current.ss_flags & SS_DISABLE)) {
        stack_t stack;
        memset(&stack, 0, sizeof(stack));
        stack.ss_sp = context->signalStack;
        stack.ss_size = kCRKStackSize;
        if (sigaltstack(&stack, &record->previousStack) != 0)
            CRKSDKLog("%s: Unable to setup stack %s\n", "CRKSignalInstallAltStack", strerror(errno));
    }
    for (int i = 0; i < kCRKHandledSignalCount; ++i) {
        struct sigaction action, previous;
        memset(&action, 0, sizeof(action));
        action.sa_sigaction = CRKSignalHandler;
        action.sa_flags = SA_SIGINFO | SA_ONSTACK;
        sigemptyset(&action.sa_mask);
        if (sigaction(kCRKHandledSignals[i], &action, &previous) != 0) {
            CRKSDKLog("%s: Unable to install handler for %d (%s)\n", __func__, kCRKHandledSignals[i],
                      strerror(errno));
            continue;
        }
        const bool had = (previous.sa_flags & SA_SIGINFO) ? previous.sa_sigaction != nullptr
                                                          : previous.sa_handler != SIG_DFL;
        if (had) {
            record->previous[i] = previous;
            record->hasPrevious[i] = 1;
        }
    }
}

bool CRKSignalSafeRemoveHandlers(bool includeFirst)
{
    bool ok = true;
    for (int i = includeFirst ? 0 : 1; i < kCRKHandledSignalCount; ++i) {
        struct sigaction action;
        memset(&action, 0, sizeof(action));
        action.sa_handler = SIG_DFL;
        sigemptyset(&action.sa_mask);
        if (sigaction(kCRKHandledSignals[i], &action, nullptr) != 0) {
            CRKSDKLog("%s: Unable to set default handler for %d (%s)\n", __func__, i, strerror(errno));
            ok = false;
        }
    }
    return ok;
}

bool CRKSignalSafeInstallPreexistingHandlers(const CRKSignalRecord* record)
{
    bool ok = CRKSignalSafeRemoveHandlers(true);
    if (!record)
        return false;
    for (int i = 0; i < kCRKHandledSignalCount; ++i) {
        if (!record->hasPrevious[i])
            continue;
        if (sigaction(kCRKHandledSignals[i], &record->previous[i], nullptr) != 0) {
            CRKSDKLog("%s: Unable to install handler for %d (%s)\n", __func__, kCRKHandledSignals[i],
                      strerror(errno));
            ok = false;
        }
    }
    return ok;
}

void CRKSignalHandler(int signal, siginfo_t* info, void* uc)
{
    const int savedErrno = errno;
    errno = 0;
    CRKSDKLog("%s: Signal: %d\n", __func__, signal);
    CRKContext* context = CRKContextGet();
    // Claim first: resetting the handlers before the claim would let a second
    // faulting thread die unrecorded while this one writes.
    if (CRKContextMarkAndCheckIfCrashed()) {
        if (CRKContextClaimingThread() == CRKThreadId()) {
            CRKSDKLog("%s: Error: fault while recording, taking the default action\n", __func__);
            dieWithDefault(signal);
        }
        CRKSDKLog("%s: Error: aborting signal handler because crash has already occurred\n", __func__);
        park();
    }
    sigset_t all;
    sigfillset(&all);
    if (sigprocmask(SIG_UNBLOCK, &all, nullptr) != 0)
        CRKSDKLog("%s: Unable to unmask signals - we risk infinite recursion here\n", __func__);

    if (context && CRKContextIsInitialized()) {
        CRKFile file;
        char buffer[16384];
        if (!CRKFileInitWithBuffer(&file, context->signal.path, buffer, sizeof(buffer))) {
            CRKSDKLog("%s: Unable to open signal file\n", __func__);
        } else {
            const int mac = CRKSignalMacNumber(signal);
            CRKFileWriteSectionStart(&file, "signal");
            CRKFileWriteHashStart(&file);
            if (info) {
                CRKFileWriteHashEntryUint64(&file, "number", uint64_t(mac));
                CRKFileWriteHashEntryUint64(&file, "code", uint64_t(int64_t(info->si_code)));
                CRKFileWriteHashEntryUint64(&file, "address", reinterpret_cast<uintptr_t>(info->si_addr));
                CRKFileWriteHashEntryString(&file, "name", CRKSignalName(mac));
                CRKFileWriteHashEntryString(&file, "code_name", CRKSignalCodeName(mac));
            }
            CRKFileWriteHashEntryUint64(&file, "errno", uint64_t(savedErrno));
            CRKFileWriteHashEntryUint64(&file, "time", CRKTimeNow());
            CRKFileWriteHashEnd(&file);
            CRKFileWriteSectionEnd(&file);
            CRKThreadContext crashed;
            const bool haveContext = reinterpret_cast<uintptr_t>(uc) >= 4096;
            if (haveContext)
                CRKThreadContextFromUContext(static_cast<const ucontext_t*>(uc), &crashed);
            CRKHandler(&file, CRKThreadId(), haveContext ? &crashed : nullptr);
            CRKFileClose(&file);
        }
    }
    if (context)
        CRKSignalSafeInstallPreexistingHandlers(&context->signal);
    else
        CRKSignalSafeRemoveHandlers(true);

    // A hardware fault comes back by itself when the handler returns. A sent
    // signal, SIGTRAP (int3 has moved past) and SIGSYS do not: send them again
    // now that the previous handler is back; should that one return, die by
    // the default action.
    if (CRKSignalWasSent(info) || signal == SIGTRAP || signal == SIGSYS) {
        syscall(SYS_tgkill, getpid(), CRKThreadId(), signal);
        dieWithDefault(signal);
    }
    errno = savedErrno;
}

void CRKSignalEnumerateHandledSignals(void (*block)(int, int, void*), void* data)
{
    if (!block)
        return;
    for (int i = 0; i < kCRKHandledSignalCount; ++i)
        block(i, kCRKHandledSignals[i], data);
}

void CRKSignalCheckHandlers()
{
    if (CRKContextDebuggerAttached())
        return;
    for (int i = 0; i < kCRKHandledSignalCount; ++i) {
        struct sigaction current;
        if (sigaction(kCRKHandledSignals[i], nullptr, &current) != 0) {
            fprintf(stderr, "Unable to read signal handler\n");
            continue;
        }
        if ((current.sa_flags & SA_SIGINFO) && current.sa_sigaction == CRKSignalHandler)
            continue;
        Dl_info info;
        const void* handler = (current.sa_flags & SA_SIGINFO) ? reinterpret_cast<void*>(current.sa_sigaction)
                                                              : reinterpret_cast<void*>(current.sa_handler);
        const char* symbol = dladdr(handler, &info) && info.dli_sname ? info.dli_sname : "(null)";
        fprintf(stderr,
                "[CrashKit] The signal %s has a non-CrashKit handler (%s).  This will interfer with reporting.\n",
                CRKSignalName(CRKSignalMacNumber(kCRKHandledSignals[i])), symbol);
    }
}

void CRKMachExceptionInit(CRKMachExceptionRecord* record, uint32_t exclusionMask)
{
    if (!record)
        return;
    record->exclusionMask = exclusionMask;
    record->claimedMask = 0;
    CRKFileUnlink(record->path);
    CRKSDKLog("%s: no Mach exceptions on this system: faults are caught as signals\n", __func__);
}

uint32_t CRKMachExceptionMaskForSignal(int macNumber)
{
    static const uint32_t masks[] = {4, 64, 1024, 0, 8, 0, 2, 2, 1024};
    return macNumber >= 4 && macNumber <= 12 ? masks[macNumber - 4] : 0;
}

const char* CRKMachExceptionName(uint32_t exception)
{
    switch (exception) {
    case 1: return "EXC_BAD_ACCESS";
    case 2: return "EXC_BAD_INSTRUCTION";
    case 3: return "EXC_ARITHMETIC";
    case 6: return "EXC_BREAKPOINT";
    case 12: return "EXC_GUARD";
    default: return nullptr;
    }
}

const char* CRKMachExceptionCodeName(uint32_t exception, uint64_t code)
{
    static const char* const arithmetic[] = {"EXC_I386_DIV",   "EXC_I386_INTO",   "EXC_I386_NOEXT",
                                             "EXC_I386_EXTOVR", "EXC_I386_EXTERR", "EXC_I386_EMERR",
                                             "EXC_I386_BOUND", "EXC_I386_SSEEXTERR"};
    static const char* const traps[34] = {
        "EXC_I386_DIVERR",  "EXC_I386_SGLSTP",   "EXC_I386_NMIFLT",    "EXC_I386_BPTFLT",  "EXC_I386_INTOFLT",
        "EXC_I386_BOUNDFLT", "EXC_I386_INVOPFLT", "EXC_I386_NOEXTFLT", nullptr,            "EXC_I386_EXTOVRFLT",
        "EXC_I386_INVTSSFLT", "EXC_I386_SEGNPFLT", "EXC_I386_STKFLT",  "EXC_I386_GPFLT",   "EXC_I386_PGFLT",
        nullptr,            "EXC_I386_EXTERRFLT", "EXC_I386_ALIGNFLT", nullptr, nullptr, nullptr, nullptr, nullptr,
        nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
        "EXC_I386_ENOEXTFLT", "EXC_I386_ENDPERR"};
    switch (exception) {
    case 1: return code == 1 ? "KERN_INVALID_ADDRESS" : code == 2 ? "KERN_PROTECTION_FAILURE" : nullptr;
    case 2: return "EXC_I386_INVOP";
    case 3: return code >= 1 && code <= 8 ? arithmetic[code - 1] : nullptr;
    case 6: return code < 34 ? traps[code] : nullptr;
    default: return nullptr;
    }
}
