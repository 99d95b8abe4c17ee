#pragma once

#include "crash/core/CRKRecords.h"

#include <cstdint>

// Turns a thread's registers into the program counters of its stack.
// Strategies per step: DWARF call-frame information of the image holding the
// PC, then the frame-pointer chain, then (only when both fail) a scan of at
// most 512 stack words for an address inside a loaded image. Each step must
// move the stack pointer up, so a cycle ends the walk. Safe to call from a
// signal handler: no heap, no locks, stack memory read only through
// CRKReadMemory.

inline constexpr uint32_t kCRKUnwindMaxFrames = 512;
inline constexpr int kCRKUnwindScanWords = 512;

struct CRKUnwindCursor {
    CRKThreadContext context;
    uint32_t frameCount;
    bool nullCall;  // the thread's own PC was 0: a call through a null pointer
    bool finished;
    bool exactPC;   // the PC is an interrupted instruction (above a signal frame)
};

bool CRKUnwindInit(CRKUnwindCursor* cursor, const CRKThreadContext* context);

// Advances to the next frame; true while there is one. After a true answer
// CRKUnwindGetPC is that frame's program counter (the thread's own PC
// first, then return addresses).
bool CRKUnwindNextFrame(CRKUnwindCursor* cursor);

uint64_t CRKUnwindGetPC(const CRKUnwindCursor* cursor);
uint64_t CRKUnwindGetSP(const CRKUnwindCursor* cursor);

// One frame-pointer step: [FP] is the caller's FP, [FP+8] its return address.
bool CRKUnwindWithFramePointer(CRKUnwindCursor* cursor);

// The first word in [start, end) (at most 512 of them) that holds an address
// inside a loaded image's code; `outSlot` gets its address.
bool CRKUnwindFirstExecutableAddress(uintptr_t start, uintptr_t end, uintptr_t* out, uintptr_t* outSlot);
