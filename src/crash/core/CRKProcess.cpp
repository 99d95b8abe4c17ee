#include "crash/core/CRKProcess.h"

#include "crash/core/CRKContext.h"
#include "crash/core/CRKHost.h"
#include "crash/core/CRKSDKLog.h"
#include "crash/core/CRKThreadState.h"
#include "crash/core/CRKUnwind.h"
#include "crash/core/CRKUtilities.h"

#include <cstring>
#include <sys/resource.h>

namespace {

void writeRegisters(CRKFile* file, const CRKThreadContext& c)
{
    CRKFileWriteHashKey(file, "registers");
    CRKFileWriteHashStart(file);
    const struct {
        const char* name;
        uint64_t value;
    } regs[] = {{"rax", c.rax}, {"rbx", c.rbx}, {"rcx", c.rcx}, {"rdx", c.rdx}, {"rdi", c.rdi},
                {"rsi", c.rsi}, {"rbp", c.rbp}, {"rsp", c.rsp}, {"r8", c.r8},   {"r9", c.r9},
                {"r10", c.r10}, {"r11", c.r11}, {"r12", c.r12}, {"r13", c.r13}, {"r14", c.r14},
                {"r15", c.r15}, {"rip", c.rip}, {"rflags", c.rflags}, {"cs", c.cs}, {"fs", c.fs},
                {"gs", c.gs}};
    for (const auto& r : regs)
        CRKFileWriteHashEntryUint64(file, r.name, r.value);
    CRKFileWriteHashEnd(file);
}

void recordThreads(CRKFile* file, const int* tids, int count, int crashedTid, const CRKThreadContext* crashed)
{
    CRKFileWriteSectionStart(file, "threads");
    CRKFileWriteArrayStart(file);
    for (int i = 0; i < count; ++i) {
        CRKSDKLog("%s: recording thread %d data\n", __func__, i);
        CRKThreadContext context;
        bool have;
        if (tids[i] == crashedTid)
            have = crashed != nullptr;
        else
            have = CRKThreadStateGet(tids[i], &context);
        if (tids[i] == crashedTid && crashed)
            context = *crashed;
        CRKFileWriteHashStart(file);
        if (have) {
            writeRegisters(file, context);
        } else {
            // An unreadable thread is written empty so the line stays whole,
            // with the reason it could not be read.
            const char* reason = tids[i] == crashedTid ? "no context" : CRKThreadStateMissingReason(tids[i]);
            CRKSDKLog("%s: unable to get thread state (%s)\n", __func__, reason);
            CRKFileWriteHashKey(file, "registers");
            CRKFileWriteHashStart(file);
            CRKFileWriteHashEnd(file);
            CRKFileWriteHashEntryString(file, "reason", reason);
        }
        CRKFileWriteHashKey(file, "stacktrace");
        CRKFileWriteArrayStart(file);
        CRKUnwindCursor cursor;
        if (have && CRKUnwindInit(&cursor, &context)) {
            while (CRKUnwindNextFrame(&cursor))
                CRKFileWriteArrayEntryUint64(file, CRKUnwindGetPC(&cursor));
        }
        CRKFileWriteArrayEnd(file);
        if (tids[i] == crashedTid)
            CRKFileWriteHashEntryBoolean(file, "crashed", true);
        CRKFileWriteHashEnd(file);
    }
    CRKFileWriteArrayEnd(file);
    CRKFileWriteSectionEnd(file);
    CRKSDKLog("%s: completed recording all thread data\n", __func__);
}

void recordRuntime(CRKFile* file)
{
    // No message-send runtime and no crash-information sections on Linux.
    CRKFileWriteSectionStart(file, "runtime");
    CRKFileWriteHashStart(file);
    CRKFileWriteHashEntryString(file, "objc_selector", "");
    CRKFileWriteHashKey(file, "crash_info_entries");
    CRKFileWriteArrayStart(file);
    CRKFileWriteArrayEnd(file);
    CRKFileWriteHashEnd(file);
    CRKFileWriteSectionEnd(file);
}

void recordNames(CRKFile* file, const int* tids, int count)
{
    CRKFileWriteSectionStart(file, "dispatch_queue_names");
    CRKFileWriteArrayStart(file);
    for (int i = 0; i < count; ++i)
        CRKFileWriteArrayEntryString(file, "");
    CRKFileWriteArrayEnd(file);
    CRKFileWriteSectionEnd(file);

    CRKFileWriteSectionStart(file, "thread_names");
    CRKFileWriteArrayStart(file);
    for (int i = 0; i < count; ++i) {
        char name[65];
        CRKThreadReadName(tids[i], name, sizeof(name));
        CRKFileWriteArrayEntryString(file, name);
    }
    CRKFileWriteArrayEnd(file);
    CRKFileWriteSectionEnd(file);
}

// Decimal digits at *p, advancing past them and the spaces that follow.
uint64_t parseUnsigned(const char** p)
{
    uint64_t value = 0;
    while (**p >= '0' && **p <= '9')
        value = value * 10 + uint64_t(*(*p)++ - '0');
    while (**p == ' ')
        ++*p;
    return value;
}

uint64_t kilobytes(const char* key)
{
    char value[64];
    if (!CRKHostReadProcField("/proc/meminfo", key, value, sizeof(value)))
        return 0;
    const char* p = value;
    return parseUnsigned(&p) * 1024;
}

}  // namespace

bool CRKProcessRecordStats(CRKFile* file)
{
    char statm[128];
    if (!CRKHostReadProcField("/proc/self/statm", "", statm, sizeof(statm))) {
        CRKSDKLog("%s: Failed to get task info\n", __func__);
        CRKSDKLog("%s: Unable to get process stats\n", __func__);
        return false;
    }
    const char* p = statm;
    const uint64_t virtualPages = parseUnsigned(&p);
    const uint64_t residentPages = parseUnsigned(&p);
    rusage usage;
    memset(&usage, 0, sizeof(usage));
    getrusage(RUSAGE_SELF, &usage);
    const uint64_t freeBytes = kilobytes("MemFree");
    CRKFileWriteSectionStart(file, "process_stats");
    CRKFileWriteHashStart(file);
    CRKFileWriteHashEntryUint64(file, "active", kilobytes("Active:"));
    CRKFileWriteHashEntryUint64(file, "inactive", kilobytes("Inactive:"));
    CRKFileWriteHashEntryUint64(file, "wired", kilobytes("Mlocked"));
    CRKFileWriteHashEntryUint64(file, "freeMem", freeBytes);
    CRKFileWriteHashEntryUint64(file, "free_mem", freeBytes);
    CRKFileWriteHashEntryUint64(file, "virtual", virtualPages * 4096);
    CRKFileWriteHashEntryUint64(file, "resident", residentPages * 4096);
    CRKFileWriteHashEntryUint64(file, "user_time",
                                uint64_t(usage.ru_utime.tv_sec) * 1000000 + uint64_t(usage.ru_utime.tv_usec));
    CRKFileWriteHashEntryUint64(file, "sys_time",
                                uint64_t(usage.ru_stime.tv_sec) * 1000000 + uint64_t(usage.ru_stime.tv_usec));
    CRKFileWriteHashEnd(file);
    CRKFileWriteSectionEnd(file);
    return true;
}

void CRKHandler(CRKFile* file, int crashedTid, const CRKThreadContext* crashedContext)
{
    int tids[kCRKMaxTasks];
    const int count = CRKThreadListTasks(tids, kCRKMaxTasks);
    if (count == 0)
        CRKSDKLog("%s: Error: unable to get task threads\n", __func__);
    CRKThreadStateCollect(tids, count);
    CRKReadMemoryCachePages(true);
    recordThreads(file, tids, count, crashedTid, crashedContext);
    CRKReadMemoryCachePages(false);
    recordRuntime(file);
    recordNames(file, tids, count);
    CRKProcessRecordStats(file);
    CRKHostRecordStorage(file);
    CRKThreadStateRelease();
    CRKContext* context = CRKContextGet();
    if (context && context->crashCallback) {
        CRKSDKLog("%s: Performing syncrhonous crash callback - hold onto your butts\n", __func__);
        context->crashCallback(context->delegate);
    }
}
