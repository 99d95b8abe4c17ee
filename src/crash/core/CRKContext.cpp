#include "crash/core/CRKContext.h"

#include "crash/core/CRKAllocator.h"
#include "crash/core/CRKBinaryImage.h"
#include "crash/core/CRKException.h"
#include "crash/core/CRKHost.h"
#include "crash/core/CRKQueue.h"
#include "crash/core/CRKSDKLog.h"
#include "crash/core/CRKSignal.h"
#include "crash/core/CRKThreadState.h"
#include "crash/core/CRKUserLogging.h"
#include "crash/core/CRKUtilities.h"

#include <climits>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

CRKContext* gContext = nullptr;
CRKContextWritable* gWritable = nullptr;
CRKQueue* gLoggingQueue = nullptr;
CRKQueue* gBinaryImagesQueue = nullptr;
CRKQueue* gExceptionQueue = nullptr;

const char* duplicatePath(const char* folder, const char* name)
{
    char path[PATH_MAX];
    if (!CRKPathJoin(path, sizeof(path), folder, name))
        return nullptr;
    return CRKDuplicateString(path);
}

bool baseInitialize()
{
    gLoggingQueue = new CRKQueue("com.kitvendor.crashkit.mac.logging");
    gBinaryImagesQueue = new CRKQueue("com.kitvendor.crashkit.mac.binary-images");
    gExceptionQueue = new CRKQueue("com.kitvendor.crashkit.mac.exception");
    const size_t writableSize = 2 * kCRKStackSize + sizeof(CRKContextWritable);
    const size_t readOnlySize = sizeof(CRKContext) + 16384;
    CRKAllocator* allocator = CRKAllocatorCreate(writableSize, readOnlySize);
    CRKAllocatorSet(allocator);
    auto* context = static_cast<CRKContext*>(
        CRKAllocatorSafeAllocate(allocator, sizeof(CRKContext), kCRKAllocationReadOnly));
    if (!context)
        return false;
    memset(context, 0, sizeof(*context));
    context->machExceptionStack = CRKAllocatorSafeAllocate(allocator, kCRKStackSize, kCRKAllocationWritable);
    context->signalStack = CRKAllocatorSafeAllocate(allocator, kCRKStackSize, kCRKAllocationWritable);
    auto* writable = static_cast<CRKContextWritable*>(
        CRKAllocatorSafeAllocate(allocator, sizeof(CRKContextWritable), kCRKAllocationWritable));
    if (!writable || !context->signalStack)
        return false;
    memset(context->machExceptionStack, 0, kCRKStackSize);
    memset(context->signalStack, 0, kCRKStackSize);
    memset(static_cast<void*>(writable), 0, sizeof(*writable));
    writable->debugLogFd = -1;
    context->readPipe[0] = context->readPipe[1] = -1;
    __atomic_store_n(&gWritable, writable, __ATOMIC_SEQ_CST);
    __atomic_store_n(&gContext, context, __ATOMIC_SEQ_CST);
    return true;
}

}  // namespace

CRKQueue* CRKContextLoggingQueue() { return gLoggingQueue; }
CRKQueue* CRKContextBinaryImagesQueue() { return gBinaryImagesQueue; }
CRKQueue* CRKContextExceptionQueue() { return gExceptionQueue; }

CRKContext* CRKContextGet()
{
    CRKContext* c = __atomic_load_n(&gContext, __ATOMIC_ACQUIRE);
    return reinterpret_cast<uintptr_t>(c) >= 4096 ? c : nullptr;
}

CRKContextWritable* CRKContextGetWritable()
{
    CRKContextWritable* w = __atomic_load_n(&gWritable, __ATOMIC_ACQUIRE);
    return reinterpret_cast<uintptr_t>(w) >= 4096 ? w : nullptr;
}

bool CRKContextIsInitialized()
{
    __atomic_thread_fence(__ATOMIC_SEQ_CST);
    CRKContext* c = CRKContextGet();
    return c && __atomic_load_n(&c->initialized, __ATOMIC_SEQ_CST);
}

bool CRKContextMarkAndCheckIfCrashed()
{
    __atomic_thread_fence(__ATOMIC_SEQ_CST);
    CRKContextWritable* w = CRKContextGetWritable();
    if (!CRKContextIsInitialized() || !w)
        return false;
    // The claim is the claimer's thread id itself: with a separate flag, a
    // nested fault between setting it and storing the id would find a claim
    // that is not its own and park the thread for ever.
    int32_t expected = 0;
    if (!__atomic_compare_exchange_n(&w->claimingTid, &expected, int32_t(CRKThreadId()), false, __ATOMIC_SEQ_CST,
                                     __ATOMIC_SEQ_CST))
        return true;
    __atomic_store_n(&w->crashBegun, 1, __ATOMIC_SEQ_CST);
    return false;
}

bool CRKContextHasCrashed()
{
    CRKContextWritable* w = CRKContextGetWritable();
    return w && __atomic_load_n(&w->claimingTid, __ATOMIC_SEQ_CST) != 0;
}

int CRKContextClaimingThread()
{
    CRKContextWritable* w = CRKContextGetWritable();
    return w ? __atomic_load_n(&w->claimingTid, __ATOMIC_SEQ_CST) : 0;
}

bool CRKContextDebuggerAttached()
{
    CRKContext* c = CRKContextGet();
    return c && c->debuggerAttached;
}

void CRKContextInitialize(const CRKContextParameters* parameters)
{
    if (!parameters || CRKContextGet())
        return;
    if (!baseInitialize())
        return;
    CRKContext* context = CRKContextGet();
    const char* folder = CRKDuplicateString(parameters->reportPath ? parameters->reportPath : ".");
    context->reportPath = folder;
    context->sdkLogPath = duplicatePath(folder, "sdk.log");
    if (!context->sdkLogPath || !CRKFileUnlink(context->sdkLogPath))
        fprintf(stderr, "[CrashKit:Crash] Unable to write initialize SDK write paths %s\n", strerror(errno));
    if (pipe2(context->readPipe, O_CLOEXEC) != 0)
        context->readPipe[0] = context->readPipe[1] = -1;

    context->debuggerAttached = CRKProcessDebuggerAttached();
    context->crashCallback = parameters->crashCallback;
    context->delegate = parameters->delegate;
    context->firstInstall = parameters->firstInstall;

    CRKHostInitialize(parameters);

    CRKUserLoggingPaths paths;
    paths.userIncremental = duplicatePath(folder, "user_incremental_kv.crkrecord");
    paths.userCompacted = duplicatePath(folder, "user_compacted_kv.crkrecord");
    paths.internalIncremental = duplicatePath(folder, "internal_incremental_kv.crkrecord");
    paths.internalCompacted = duplicatePath(folder, "internal_compacted_kv.crkrecord");
    paths.logA = duplicatePath(folder, "log_a.crkrecord");
    paths.logB = duplicatePath(folder, "log_b.crkrecord");
    paths.errorsA = duplicatePath(folder, "errors_a.crkrecord");
    paths.errorsB = duplicatePath(folder, "errors_b.crkrecord");
    paths.customExceptionA = duplicatePath(folder, "custom_exception_a.crkrecord");
    paths.customExceptionB = duplicatePath(folder, "custon_exception_b.crkrecord");
    paths.maxCustomKeys = parameters->maxCustomKeys;
    paths.logBufferSize = parameters->logBufferSize;
    paths.maxErrors = parameters->errorReportingEnabled ? parameters->maxCustomExceptions : 0;
    paths.maxCustomExceptions = parameters->maxCustomExceptions;
    CRKUserLoggingInit(&context->logging, &paths);

    context->binaryImagesPath = duplicatePath(folder, "binary_images.crkrecord");
    CRKBinaryImageInit(context->binaryImagesPath);

    if (context->debuggerAttached) {
        CRKSDKLog("%s: Debugger present - not installing handlers\n", __func__);
    } else {
        CRKThreadStateInitialize();
        context->signal.path = duplicatePath(folder, "signal.crkrecord");
        CRKSignalInitialize(&context->signal);
        context->mach.path = duplicatePath(folder, "mach_exception.crkrecord");
        CRKMachExceptionInit(&context->mach, parameters->machExceptionExclusionMask);
        context->exception.path = duplicatePath(folder, "exception.crkrecord");
        CRKExceptionInitialize(&context->exception,
                               parameters->customExceptionsEnabled ? parameters->maxCustomExceptions : 0);
    }

    CRKContextRecordMetadata(parameters);

    __atomic_store_n(&context->initialized, 1, __ATOMIC_SEQ_CST);
    __atomic_thread_fence(__ATOMIC_SEQ_CST);
    if (!CRKAllocatorProtect(CRKAllocatorGet()))
        CRKSDKLog("%s: Error: Memory protection failed\n", __func__);
}
