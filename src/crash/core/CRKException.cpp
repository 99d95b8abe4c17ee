#include "crash/core/CRKException.h"

#include "crash/core/CRKBinaryImage.h"
#include "crash/core/CRKContext.h"
#include "crash/core/CRKProcess.h"
#include "crash/core/CRKSDKLog.h"
#include "crash/core/CRKThreadState.h"
#include "crash/core/CRKUserLogging.h"
#include "crash/core/CRKUtilities.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cxxabi.h>
#include <dlfcn.h>
#include <exception>
#include <mutex>
#include <string>
#include <typeinfo>
#include <ucontext.h>

namespace {

std::mutex gExceptionLock;

void writeExceptionLine(CRKFile* f, uint32_t type, const char* name, const char* reason,
                        const CRKExceptionFrame* frames, uint32_t frameCount)
{
    CRKFileWriteSectionStart(f, "exception");
    CRKFileWriteHashStart(f);
    CRKFileWriteHashEntryString(f, "type", CRKExceptionTypeName(type));
    CRKFileWriteHashEntryHexEncodedString(f, "name", name);
    CRKFileWriteHashEntryHexEncodedString(f, "reason", reason);
    CRKFileWriteHashEntryUint64(f, "time", CRKTimeNow());
    if (frames && frameCount > 0) {
        CRKFileWriteHashKey(f, "frames");
        CRKFileWriteArrayStart(f);
        for (uint32_t i = 0; i < frameCount; ++i) {
            const CRKExceptionFrame& fr = frames[i];
            CRKFileWriteHashStart(f);
            CRKFileWriteHashEntryUint64(f, "pc", fr.pc);
            CRKFileWriteHashEntryHexEncodedString(f, "symbol", fr.symbol);
            CRKFileWriteHashEntryUint64(f, "offset", fr.offset);
            CRKFileWriteHashEntryHexEncodedString(f, "library", fr.library);
            CRKFileWriteHashEntryHexEncodedString(f, "file", fr.file);
            CRKFileWriteHashEntryUint64(f, "line", fr.line);
            CRKFileWriteHashEnd(f);
        }
        CRKFileWriteArrayEnd(f);
    }
    CRKFileWriteHashEnd(f);
    CRKFileWriteSectionEnd(f);
}

// The throwing thread's real registers: unwinding starts at this frame and
// walks out through the terminate machinery to the thrower.
__attribute__((noinline)) void captureContext(CRKThreadContext* out)
{
    ucontext_t uc;
    getcontext(&uc);
    CRKThreadContextFromUContext(&uc, out);
}

void recordActiveException()
{
    std::type_info* type = abi::__cxa_current_exception_type();
    if (!type) {
        CRKSDKLog("%s: no active exception\n", __func__);
        return;
    }
    CRKSDKLog("%s: Recording exception of type '%s'\n", __func__, type->name());
    int status = 0;
    char* demangled = abi::__cxa_demangle(type->name(), nullptr, nullptr, &status);
    const std::string typeName = demangled && status == 0 ? demangled : type->name();
    free(demangled);
    std::string reason;
    try {
        throw;
    } catch (const char* text) {
        reason = text ? text : "";
    } catch (const std::string& text) {
        reason = text;
    } catch (const std::exception& e) {
        reason = e.what() ? e.what() : "";
    } catch (...) {
    }
    CRKExceptionRecord(kCRKExceptionCpp, typeName.c_str(), reason.c_str(), nullptr, 0, true);
}

}  // namespace

const char* CRKExceptionTypeName(uint32_t type)
{
    switch (type) {
    case kCRKExceptionObjC: return "objective-c";
    case kCRKExceptionCpp: return "c++";
    case kCRKExceptionJavaScript: return "javascript";
    case kCRKExceptionCustom: return "custom";
    default: return "unknown";
    }
}

void CRKExceptionInitialize(CRKExceptionRecordState* record, uint32_t customExceptionLimit)
{
    if (!record)
        return;
    if (!CRKFileUnlink(record->path))
        CRKSDKLog("%s: Unable to reset the exception file %s\n", __func__, record->path);
    if (record->customPath && !CRKFileUnlink(record->customPath))
        CRKSDKLog("%s: Unable to reset the custom exception file %s\n", __func__, record->customPath);
    record->previousTerminate = std::set_terminate(CRKTerminateHandler);
    record->customExceptionLimit = customExceptionLimit;
    if (CRKContextWritable* w = CRKContextGetWritable())
        w->customExceptionCount = 0;
}

void CRKExceptionRecord(uint32_t type, const char* name, const char* reason, const CRKExceptionFrame* frames,
                        uint32_t frameCount, bool notify)
{
    if (!CRKContextIsInitialized())
        return;
    CRKContext* context = CRKContextGet();
    const bool crash = type == kCRKExceptionObjC || type == kCRKExceptionCpp;
    CRKSDKLog("%s: Recording an exception structure (%d, %d)\n", __func__, int(notify), int(crash));
    CRKBinaryImagePollNow();
    if (crash) {
        // Written on the throwing thread, so it is the one marked crashed.
        std::lock_guard lock(gExceptionLock);
        CRKFile file;
        char buffer[16384];
        if (!CRKFileInitWithBuffer(&file, context->exception.path, buffer, sizeof(buffer))) {
            CRKSDKLog("%s: Unable to open exception file\n", __func__);
        } else {
            writeExceptionLine(&file, type, name, reason, frames, frameCount);
            CRKThreadContext self;
            captureContext(&self);
            CRKHandler(&file, CRKThreadId(), &self);
            CRKFileClose(&file);
        }
    } else {
        CRKUserLoggingWriteAndCheckABFiles(&context->logging.customExceptionStore, [&](CRKFile* f) {
            writeExceptionLine(f, type, name, reason, frames, frameCount);
        });
    }
    CRKSDKLog("%s: Finished recording an exception structure\n", __func__);
}

void CRKTerminateHandler()
{
    CRKSDKLog("%s: C++ terminate handler invoked\n", __func__);
    CRKContext* context = CRKContextGet();
    CRKTerminateFunction previous = context ? context->exception.previousTerminate : nullptr;
    if (previous == &CRKTerminateHandler) {
        CRKSDKLog("%s: Error: original handler was set recursively\n", __func__);
        previous = nullptr;
    } else if (previous) {
        CRKSDKLog("%s: restoring pre-existing handler\n", __func__);
        if (std::set_terminate(previous) == previous) {
            CRKSDKLog("%s: handler has already been restored, aborting\n", __func__);
            abort();
        }
    }
    recordActiveException();
    if (previous) {
        CRKSDKLog("%s: invoking pre-existing handler\n", __func__);
        previous();
    }
    CRKSDKLog("%s: aborting\n", __func__);
    abort();
}

void CRKExceptionCheckHandlers()
{
    if (CRKContextDebuggerAttached())
        return;
    std::terminate_handler current = std::get_terminate();
    if (current == &CRKTerminateHandler)
        return;
    Dl_info info;
    const bool found = dladdr(reinterpret_cast<void*>(current), &info) != 0;
    fprintf(stderr, "[CrashKit:Crash] Warning: std::get_terminate is '%s' in '%s'\n",
            found && info.dli_sname ? info.dli_sname : "unknown", found && info.dli_fname ? info.dli_fname : "unknown");
}
