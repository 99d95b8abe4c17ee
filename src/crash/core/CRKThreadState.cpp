#include "crash/core/CRKThreadState.h"

#include "crash/core/CRKContext.h"
#include "crash/core/CRKHost.h"
#include "crash/core/CRKSDKLog.h"
#include "crash/core/CRKUtilities.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <linux/futex.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

enum SlotState : uint32_t { kAsked = 0, kAnswered = 1, kBlocked = 2, kGone = 3 };

long futex(uint32_t* address, int op, uint32_t value, const timespec* timeout)
{
    return syscall(SYS_futex, address, op, value, timeout, nullptr, 0);
}

uint64_t monotonicNs()
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return uint64_t(ts.tv_sec) * 1000000000ULL + uint64_t(ts.tv_nsec);
}

void threadStateHandler(int, siginfo_t* info, void* uc)
{
    const int saved = errno;
    CRKContextWritable* w = CRKContextGetWritable();
    if (!w || !info || info->si_code != SI_TKILL || info->si_pid != getpid() || !uc) {
        errno = saved;
        return;
    }
    const uint32_t generation = __atomic_load_n(&w->threadRelease, __ATOMIC_SEQ_CST);
    const int tid = CRKThreadId();
    CRKThreadSlot* mine = nullptr;
    for (CRKThreadSlot& slot : w->threadSlots) {
        if (__atomic_load_n(&slot.tid, __ATOMIC_ACQUIRE) == tid) {
            mine = &slot;
            break;
        }
    }
    if (mine) {
        CRKThreadContextFromUContext(static_cast<const ucontext_t*>(uc), &mine->context);
        __atomic_store_n(&mine->state, kAnswered, __ATOMIC_SEQ_CST);
        futex(&mine->state, FUTEX_WAKE_PRIVATE, 1, nullptr);
        // Parked until the record is written; bounded so that a recorder
        // that died cannot leave the thread stuck for good.
        const uint64_t deadline = monotonicNs() + 5000000000ULL;
        while (__atomic_load_n(&w->threadRelease, __ATOMIC_SEQ_CST) == generation) {
            const uint64_t now = monotonicNs();
            if (now >= deadline)
                break;
            const uint64_t left = deadline - now;
            timespec ts{time_t(left / 1000000000ULL), long(left % 1000000000ULL)};
            futex(&w->threadRelease, FUTEX_WAIT_PRIVATE, generation, &ts);
        }
    }
    errno = saved;
}

// "/proc/self/task/<tid>/<leaf>" into `out` (64 bytes).
void taskPath(int tid, const char* leaf, char* out)
{
    memcpy(out, "/proc/self/task/", 17);
    char digits[16];
    int n = 0;
    do {
        digits[n++] = char('0' + tid % 10);
        tid /= 10;
    } while (tid > 0 && n < 15);
    size_t at = strlen(out);
    while (n > 0)
        out[at++] = digits[--n];
    out[at++] = '/';
    const size_t length = strnlen(leaf, 63 - at);
    memcpy(out + at, leaf, length);
    out[at + length] = 0;
}

// Whether the thread blocks `signal` now (its "SigBlk" mask): such a thread
// would never answer, so it is not waited for.
bool threadBlocks(int tid, int signal)
{
    char path[64], mask[32];
    taskPath(tid, "status", path);
    if (!CRKHostReadProcField(path, "SigBlk", mask, sizeof(mask)))
        return false;
    const size_t digits = strnlen(mask, sizeof(mask));
    const size_t fromEnd = size_t(signal - 1) / 4;
    if (fromEnd >= digits)
        return false;
    const char c = mask[digits - 1 - fromEnd];
    const int nibble = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : 0;
    return (nibble >> ((signal - 1) % 4)) & 1;
}

struct LinuxDirent64 {
    uint64_t ino;
    int64_t off;
    unsigned short reclen;
    unsigned char type;
    char name[];
};

}  // namespace

void CRKThreadStateInitialize()
{
    CRKContext* context = CRKContextGet();
    if (!context)
        return;
    context->threadStateSignal = SIGRTMIN + 7;
    struct sigaction action;
    memset(&action, 0, sizeof(action));
    action.sa_sigaction = threadStateHandler;
    action.sa_flags = SA_SIGINFO | SA_RESTART | SA_ONSTACK;
    sigemptyset(&action.sa_mask);
    if (sigaction(context->threadStateSignal, &action, nullptr) != 0)
        CRKSDKLog("%s: Unable to install handler for %d (%s)\n", __func__, context->threadStateSignal,
                  strerror(errno));
}

int CRKThreadListTasks(int* tids, int maximum)
{
    const int fd = open("/proc/self/task", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return 0;
    int count = 0;
    alignas(8) char buffer[4096];
    for (;;) {
        const long n = syscall(SYS_getdents64, fd, buffer, sizeof(buffer));
        if (n <= 0)
            break;
        for (long at = 0; at < n;) {
            const LinuxDirent64* entry = reinterpret_cast<const LinuxDirent64*>(buffer + at);
            at += entry->reclen;
            if (entry->name[0] < '0' || entry->name[0] > '9')
                continue;
            int tid = 0;
            for (const char* c = entry->name; *c >= '0' && *c <= '9'; ++c)
                tid = tid * 10 + (*c - '0');
            if (count < maximum)
                tids[count++] = tid;
        }
    }
    close(fd);
    return count;
}

void CRKThreadStateCollect(const int* tids, int count)
{
    CRKContext* context = CRKContextGet();
    CRKContextWritable* w = CRKContextGetWritable();
    if (!context || !w || context->threadStateSignal <= 0)
        return;
    const int self = CRKThreadId();
    const pid_t pid = getpid();
    int used = 0;
    for (int i = 0; i < count && used < kCRKThreadSlots; ++i) {
        if (tids[i] == self)
            continue;
        CRKThreadSlot& slot = w->threadSlots[used++];
        uint32_t state = kAsked;
        if (threadBlocks(tids[i], context->threadStateSignal))
            state = kBlocked;
        __atomic_store_n(&slot.state, state, __ATOMIC_SEQ_CST);
        __atomic_store_n(&slot.tid, tids[i], __ATOMIC_SEQ_CST);
        if (state == kAsked && syscall(SYS_tgkill, pid, tids[i], context->threadStateSignal) != 0)
            __atomic_store_n(&slot.state, kGone, __ATOMIC_SEQ_CST);
    }
    for (int i = used; i < kCRKThreadSlots; ++i)
        __atomic_store_n(&w->threadSlots[i].tid, 0, __ATOMIC_SEQ_CST);
    const uint64_t deadline = monotonicNs() + 100000000ULL;
    for (int i = 0; i < used; ++i) {
        CRKThreadSlot& slot = w->threadSlots[i];
        while (__atomic_load_n(&slot.state, __ATOMIC_SEQ_CST) == kAsked) {
            const uint64_t now = monotonicNs();
            if (now >= deadline)
                break;
            const uint64_t left = deadline - now;
            timespec ts{time_t(left / 1000000000ULL), long(left % 1000000000ULL)};
            futex(&slot.state, FUTEX_WAIT_PRIVATE, kAsked, &ts);
        }
    }
}

bool CRKThreadStateGet(int tid, CRKThreadContext* out)
{
    CRKContextWritable* w = CRKContextGetWritable();
    if (!w)
        return false;
    for (CRKThreadSlot& slot : w->threadSlots) {
        if (__atomic_load_n(&slot.tid, __ATOMIC_ACQUIRE) == tid) {
            if (__atomic_load_n(&slot.state, __ATOMIC_ACQUIRE) != kAnswered)
                return false;
            *out = slot.context;
            return true;
        }
    }
    return false;
}

const char* CRKThreadStateMissingReason(int tid)
{
    CRKContextWritable* w = CRKContextGetWritable();
    if (!w)
        return "not asked";
    for (CRKThreadSlot& slot : w->threadSlots) {
        if (__atomic_load_n(&slot.tid, __ATOMIC_ACQUIRE) != tid)
            continue;
        switch (__atomic_load_n(&slot.state, __ATOMIC_ACQUIRE)) {
        case kBlocked: return "signal blocked";
        case kGone: return "thread ended";
        case kAnswered: return "";
        default: return "no answer";
        }
    }
    return "not asked";
}

void CRKThreadStateRelease()
{
    CRKContextWritable* w = CRKContextGetWritable();
    if (!w)
        return;
    for (CRKThreadSlot& slot : w->threadSlots)
        __atomic_store_n(&slot.tid, 0, __ATOMIC_SEQ_CST);
    __atomic_add_fetch(&w->threadRelease, 1, __ATOMIC_SEQ_CST);
    futex(&w->threadRelease, FUTEX_WAKE_PRIVATE, INT32_MAX, nullptr);
}

void CRKThreadContextFromUContext(const ucontext_t* uc, CRKThreadContext* out)
{
    const greg_t* g = uc->uc_mcontext.gregs;
    out->rax = uint64_t(g[REG_RAX]);
    out->rbx = uint64_t(g[REG_RBX]);
    out->rcx = uint64_t(g[REG_RCX]);
    out->rdx = uint64_t(g[REG_RDX]);
    out->rdi = uint64_t(g[REG_RDI]);
    out->rsi = uint64_t(g[REG_RSI]);
    out->rbp = uint64_t(g[REG_RBP]);
    out->rsp = uint64_t(g[REG_RSP]);
    out->r8 = uint64_t(g[REG_R8]);
    out->r9 = uint64_t(g[REG_R9]);
    out->r10 = uint64_t(g[REG_R10]);
    out->r11 = uint64_t(g[REG_R11]);
    out->r12 = uint64_t(g[REG_R12]);
    out->r13 = uint64_t(g[REG_R13]);
    out->r14 = uint64_t(g[REG_R14]);
    out->r15 = uint64_t(g[REG_R15]);
    out->rip = uint64_t(g[REG_RIP]);
    out->rflags = uint64_t(g[REG_EFL]);
    const uint64_t segments = uint64_t(g[REG_CSGSFS]);  // cs, gs, fs, pad: 16 bits each
    out->cs = segments & 0xffff;
    out->gs = (segments >> 16) & 0xffff;
    out->fs = (segments >> 32) & 0xffff;
}

void CRKThreadReadName(int tid, char* out, unsigned long size)
{
    if (!out || size == 0)
        return;
    out[0] = 0;
    char path[64];
    taskPath(tid, "comm", path);
    const int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return;
    ssize_t got;
    do {
        got = read(fd, out, size - 1);
    } while (got < 0 && errno == EINTR);
    close(fd);
    if (got <= 0) {
        out[0] = 0;
        return;
    }
    out[got] = 0;
    if (out[got - 1] == '\n')
        out[got - 1] = 0;
}
