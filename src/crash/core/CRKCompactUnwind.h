#pragma once

#include "crash/core/CRKRecords.h"

#include <cstddef>
#include <cstdint>

// Reader of a Mach-O __unwind_info section (version 1) and the x86-64
// register modes of its encodings. Format code over bytes: the section's
// bytes are read in place inside the length given, stack memory only
// through CRKReadMemory; no allocation, no locks. Safe to call from a
// signal handler. Linux images carry no such section; the reader serves
// Mach-O files and is tested on real ones.

inline constexpr uint32_t kCRKCompactModeMask = 0x0f000000;
// x86-64 modes.
inline constexpr uint32_t kCRKCompactX86Frame = 0x01000000;
inline constexpr uint32_t kCRKCompactX86Frameless = 0x02000000;
inline constexpr uint32_t kCRKCompactX86FramelessIndirect = 0x03000000;
inline constexpr uint32_t kCRKCompactX86Dwarf = 0x04000000;

struct CRKCompactUnwindContext {
    const uint8_t* unwindInfo;
    size_t unwindInfoLength;
    const uint8_t* ehFrame;  // __eh_frame bytes as loaded, or null
    size_t ehFrameLength;
    uint64_t loadAddress;  // the header address; function offsets count from it
    uint32_t version, commonEncodingsOffset, commonEncodingsCount, personalityOffset, personalityCount,
        indexOffset, indexCount;
    uint32_t functionOffset, secondLevelOffset, lsdaOffset, nextFunctionOffset;
};

struct CRKCompactUnwindResult {
    uint32_t encoding;
    uint64_t functionStart;
    uint64_t functionEnd;
};

// Reads the 28-byte header; version 1 only.
bool CRKCompactUnwindInit(CRKCompactUnwindContext* context, const void* unwindInfo, size_t length,
                          const void* ehFrame, size_t ehFrameLength, uint64_t loadAddress);

// First level, then the second-level page (compressed or regular) holding pc.
bool CRKCompactUnwindLookup(CRKCompactUnwindContext* context, uint64_t pc, CRKCompactUnwindResult* result);

// Applies an x86-64 encoding to a thread's registers: frame (rbp chain and
// the saved registers it lists), frameless with immediate or indirect stack
// size (saved registers restored), DWARF (the FDE at __eh_frame + offset).
// Other architectures' encodings are not decoded (arm64's mode 4 is a
// frame, not DWARF): false.
bool CRKCompactUnwindComputeRegisters(const CRKCompactUnwindContext* context, const CRKCompactUnwindResult& result,
                                      int32_t cputype, CRKThreadContext* thread);

// The frameless register permutation: `count` compact register numbers
// (1 rbx, 2 r12, 3 r13, 4 r14, 5 r15, 6 rbp) in stack order, lowest first.
bool CRKCompactUnwindDecodePermutation(uint32_t count, uint32_t permutation, int* registers);
