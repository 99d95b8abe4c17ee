#include "crash/core/CRKUnwind.h"

#include "crash/core/CRKBinaryImage.h"
#include "crash/core/CRKDwarf.h"
#include "crash/core/CRKSDKLog.h"
#include "crash/core/CRKUtilities.h"

#include <cstring>

namespace {

bool read8(uint64_t address, uint64_t* out)
{
    return CRKReadMemory(reinterpret_cast<const void*>(address), out, 8);
}

// The step succeeded only if the stack moved up (the stack grows down).
bool accept(CRKUnwindCursor* cursor, const CRKThreadContext& next)
{
    if (next.rsp <= cursor->context.rsp)
        return false;
    cursor->context = next;
    return true;
}

bool stepWithDwarf(CRKUnwindCursor* cursor, uintptr_t lookupPC, bool* ended, bool* signalFrame)
{
    CRKBinaryImageNode image;
    if (!CRKBinaryImageSafeFindImageForAddress(lookupPC, &image)) {
        CRKSDKLog("%s: Unable to find binary for %p\n", __func__, reinterpret_cast<void*>(lookupPC));
        return false;
    }
    CRKThreadContext next = cursor->context;
    bool undefined = false;
    if (!CRKDwarfUnwindFrame(image, lookupPC, &next, &undefined, signalFrame))
        return false;
    if (undefined) {
        *ended = true;
        return true;
    }
    return accept(cursor, next);
}

}  // namespace

bool CRKUnwindInit(CRKUnwindCursor* cursor, const CRKThreadContext* context)
{
    if (!cursor || !context)
        return false;
    memset(cursor, 0, sizeof(*cursor));
    cursor->context = *context;
    return true;
}

uint64_t CRKUnwindGetPC(const CRKUnwindCursor* cursor)
{
    return reinterpret_cast<uintptr_t>(cursor) < 4096 ? 0 : cursor->context.rip;
}

uint64_t CRKUnwindGetSP(const CRKUnwindCursor* cursor)
{
    return reinterpret_cast<uintptr_t>(cursor) < 4096 ? 0 : cursor->context.rsp;
}

bool CRKUnwindWithFramePointer(CRKUnwindCursor* cursor)
{
    const uint64_t fp = cursor->context.rbp;
    uint64_t frame[2];
    if (fp < 4096 || fp < cursor->context.rsp || (fp & 7) != 0)
        return false;
    if (!CRKReadMemory(reinterpret_cast<const void*>(fp), frame, sizeof(frame))) {
        CRKSDKLog("%s: Error: failed to read memory at address %p\n", __func__, reinterpret_cast<void*>(fp));
        return false;
    }
    // The caller's frame must lie above this one, or the chain is a cycle.
    if (frame[0] != 0 && frame[0] <= fp)
        return false;
    CRKThreadContext next = cursor->context;
    next.rip = frame[1];
    next.rbp = frame[0];
    next.rsp = fp + 16;
    return accept(cursor, next);
}

bool CRKUnwindFirstExecutableAddress(uintptr_t start, uintptr_t end, uintptr_t* out, uintptr_t* outSlot)
{
    start &= ~uintptr_t(7);
    int words = 0;
    for (uintptr_t at = start; at < end && words < kCRKUnwindScanWords; at += 8, ++words) {
        if (at < 4096)
            continue;
        uint64_t word;
        if (!read8(at, &word))
            return false;
        CRKBinaryImageNode image;
        if (word >= 4096 && CRKBinaryImageSafeFindImageForAddress(word, &image)) {
            *out = word;
            if (outSlot)
                *outSlot = at;
            return true;
        }
    }
    return false;
}

bool CRKUnwindNextFrame(CRKUnwindCursor* cursor)
{
    if (reinterpret_cast<uintptr_t>(cursor) < 4096) {
        CRKSDKLog("%s: Error: invalid inputs\n", __func__);
        return false;
    }
    CRKThreadContext& ctx = cursor->context;
    if (cursor->finished || cursor->frameCount >= kCRKUnwindMaxFrames)
        return false;
    if (ctx.rsp < 4096) {
        CRKSDKLog("%s: Cancelling unwind for thread with invalid PC/SP\n", __func__);
        return false;
    }
    if (cursor->frameCount == 0) {
        // A call through a null pointer still leaves a frame worth writing.
        if (ctx.rip == 0) {
            cursor->nullCall = true;
        } else if (ctx.rip < 4096) {
            CRKSDKLog("%s: Cancelling unwind for thread with invalid PC/SP\n", __func__);
            return false;
        }
        ++cursor->frameCount;
        return true;
    }
    bool stepped = false, ended = false;
    if (cursor->frameCount == 1 && cursor->nullCall) {
        // The call pushed its return address and jumped to 0.
        uint64_t ret;
        if (read8(ctx.rsp, &ret)) {
            CRKThreadContext next = ctx;
            next.rip = ret;
            next.rsp = ctx.rsp + 8;
            stepped = accept(cursor, next);
        }
    }
    // The thread's own PC is exact, and so is the one a signal frame
    // restores; a return address points after the call.
    const uintptr_t lookup = cursor->frameCount == 1 || cursor->exactPC ? ctx.rip : ctx.rip - 1;
    bool signalFrame = false;
    if (!stepped)
        stepped = stepWithDwarf(cursor, lookup, &ended, &signalFrame);
    cursor->exactPC = stepped && signalFrame;
    if (ended) {
        CRKSDKLog("%s: outermost frame (return address undefined)\n", __func__);
        cursor->finished = true;
        return false;
    }
    if (!stepped)
        stepped = CRKUnwindWithFramePointer(cursor);
    if (!stepped) {
        uintptr_t found = 0, slot = 0;
        if (CRKUnwindFirstExecutableAddress(ctx.rsp, ctx.rsp + 8 * kCRKUnwindScanWords, &found, &slot)) {
            CRKSDKLog("%s: Stack scan successful\n", __func__);
            CRKThreadContext next = ctx;
            next.rip = found;
            next.rsp = slot + 8;
            stepped = accept(cursor, next);
        }
    }
    if (!stepped) {
        CRKSDKLog("%s: Error: failed to advance to the next frame\n", __func__);
        cursor->finished = true;
        return false;
    }
    if (ctx.rip < 4096) {
        CRKSDKLog("%s: end of stack (PC %p)\n", __func__, reinterpret_cast<void*>(ctx.rip));
        cursor->finished = true;
        return false;
    }
    if (ctx.rsp < 4096) {
        CRKSDKLog("%s: Error: SP (%p) isn't a valid pointer\n", __func__, reinterpret_cast<void*>(ctx.rsp));
        return false;
    }
    ++cursor->frameCount;
    return true;
}
