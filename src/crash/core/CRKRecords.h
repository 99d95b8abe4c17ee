#pragma once

#include "crash/core/CRKFile.h"

#include <csignal>
#include <cstdint>

// The plain records the crash-time core keeps in its region. Everything here
// is zero-initialisable and holds no owning pointers: nothing is constructed
// or destroyed at crash time.

// The x86-64 registers the "threads" line writes, in its order.
struct CRKThreadContext {
    uint64_t rax, rbx, rcx, rdx, rdi, rsi, rbp, rsp;
    uint64_t r8, r9, r10, r11, r12, r13, r14, r15;
    uint64_t rip, rflags, cs, fs, gs;
};

// One loaded image. `base` is its lowest PT_LOAD address (0: free slot),
// `size` reaches to the end of its last executable segment. The unwind
// tables are read in place only inside [unwindStart, unwindEnd): the
// PT_LOAD segment that holds .eh_frame_hdr (and .eh_frame beside it), which
// is mapped whole, unlike the holes between segments.
struct CRKBinaryImageNode {
    uintptr_t base;
    uint64_t size;
    uintptr_t ehFrameHeader;  // PT_GNU_EH_FRAME, 0 when absent
    uintptr_t unwindInfo;     // always 0 on Linux
    uintptr_t crashInfo;      // always 0 on Linux
    uintptr_t unwindStart;
    uintptr_t unwindEnd;
};

inline constexpr int kCRKBinaryImageSlots = 512;

// A thread's registers, handed over by the thread itself from the reserved
// real-time signal's handler.
struct CRKThreadSlot {
    int32_t tid;
    uint32_t state;  // 0 asked, 1 answered
    CRKThreadContext context;
};

inline constexpr int kCRKThreadSlots = 256;

inline constexpr int kCRKHandledSignalCount = 7;

struct CRKSignalRecord {
    const char* path;
    struct sigaction previous[kCRKHandledSignalCount];
    uint8_t hasPrevious[kCRKHandledSignalCount];
    stack_t previousStack;
};

struct CRKMachExceptionRecord {
    const char* path;
    uint32_t exclusionMask;
    uint32_t claimedMask;
};

using CRKTerminateFunction = void (*)();

struct CRKExceptionRecordState {
    const char* path;
    const char* customPath;
    CRKTerminateFunction previousTerminate;
    uint32_t customExceptionLimit;
};

struct CRKUserLoggingABStorage {
    const char* pathA;
    const char* pathB;
    uint32_t maxBytes;
    uint32_t maxEntries;
    uint8_t limitedBySize;
    uint32_t* counter;  // in the writable record; null for size-limited stores
    const char** activePath;  // in the writable record
};

struct CRKUserLoggingKVStorage {
    const char* incrementalPath;
    const char* compactedPath;
    uint32_t incrementalLimit;
    uint32_t maxKeys;
    uint32_t* counter;  // in the writable record
};

struct CRKUserLoggingRecord {
    CRKUserLoggingKVStorage userKV;
    CRKUserLoggingKVStorage internalKV;
    CRKUserLoggingABStorage logStore;
    CRKUserLoggingABStorage errorStore;
    CRKUserLoggingABStorage customExceptionStore;
    uint64_t startTime;  // monotonic nanoseconds
};
