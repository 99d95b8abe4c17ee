#pragma once

#include "crash/core/CRKRecords.h"

#include <cstdint>

// DWARF call-frame unwinding over .eh_frame_hdr and .eh_frame as they lie in
// a loaded image. Every function here is safe to call from a signal handler:
// no heap, no locks; image bytes are read in place only inside the image's
// mapped range, stack memory only through CRKReadMemory.

// DWARF register numbers of x86-64 that unwinding needs: 0 rax, 1 rdx, 2 rcx,
// 3 rbx, 4 rsi, 5 rdi, 6 rbp, 7 rsp, 8-15 r8-r15, 16 return address.
inline constexpr int kCRKDwarfRegisterCount = 17;

enum CRKDwarfRuleKind : uint32_t {
    kCRKDwarfSameValue = 0,
    kCRKDwarfOffset = 1,      // saved at CFA + value
    kCRKDwarfValOffset = 2,   // equals CFA + value
    kCRKDwarfRegister = 3,    // in register `value`
    kCRKDwarfExpression = 4,  // saved at the address the expression at `value` computes
    kCRKDwarfValExpression = 5,
    kCRKDwarfUndefined = 6,
};

struct CRKDwarfRule {
    uint32_t kind;
    int64_t value;
};

struct CRKDwarfRules {
    uint64_t cfaRegister;  // 17: the CFA is given by the expression
    int64_t cfaOffset;
    uintptr_t cfaExpression;
    CRKDwarfRule registers[kCRKDwarfRegisterCount];
    // The CIE's "S": a signal trampoline. The caller's PC it restores is the
    // interrupted instruction itself, not a return address.
    bool signalFrame;
};

// Bytes of an image that may be read in place.
struct CRKDwarfBounds {
    uintptr_t start;
    uintptr_t end;
};

// Finds the FDE covering `pc` through the image's .eh_frame_hdr table, and
// runs its CIE and FDE instructions for every row whose location is at or
// below `pc`. `fdeStart` and `fdeEnd` receive the function's range.
bool CRKDwarfFindRules(const CRKBinaryImageNode& image, uintptr_t pc, CRKDwarfRules* rules, uintptr_t* fdeStart,
                       uintptr_t* fdeEnd);

// The same for an FDE given by its address (a Mach-O __eh_frame entry that a
// compact-unwind entry names); `fdeStart`/`fdeEnd` are filled even when `pc`
// lies outside the FDE (then the answer is false).
bool CRKDwarfRulesForFDE(const void* fde, const CRKDwarfBounds& bounds, uintptr_t pc, CRKDwarfRules* rules,
                         uintptr_t* fdeStart, uintptr_t* fdeEnd);

// Computes the caller's registers from a row of rules.
bool CRKDwarfApplyRules(const CRKDwarfRules& rules, const CRKDwarfBounds& bounds, CRKThreadContext* context,
                        bool* returnAddressUndefined);

// Unwinds one frame: `pc` is the address to look up (the exact PC for a
// thread's own frame and for the frame a signal interrupted, return address
// - 1 for callers). On success `context` holds the caller's registers and
// `signalFrame` (if given) whether this frame was a signal trampoline.
// `returnAddressUndefined` is set when the rules say the frame is the
// outermost one.
bool CRKDwarfUnwindFrame(const CRKBinaryImageNode& image, uintptr_t pc, CRKThreadContext* context,
                         bool* returnAddressUndefined, bool* signalFrame = nullptr);

// Readers over a bounded cursor; each advances it. False when out of range.
bool CRKDwarfReadULEB128(const uint8_t** cursor, const uint8_t* end, uint64_t* out);
bool CRKDwarfReadSLEB128(const uint8_t** cursor, const uint8_t* end, int64_t* out);
// One DW_EH_PE-encoded pointer; `dataBase` is the base of datarel values.
bool CRKDwarfReadEncodedPointer(const uint8_t** cursor, const uint8_t* end, uint8_t encoding, uintptr_t dataBase,
                                uintptr_t* out);

// Register access by DWARF number; false for numbers above 16.
bool CRKDwarfGetRegister(const CRKThreadContext* context, uint64_t number, uint64_t* out);
bool CRKDwarfSetRegister(CRKThreadContext* context, uint64_t number, uint64_t value);

// Evaluates a DWARF expression block (ULEB128 length, then the opcodes).
bool CRKDwarfEvaluateExpression(uintptr_t expression, const CRKDwarfBounds& bounds,
                                const CRKThreadContext* context, uint64_t initial, bool pushInitial,
                                uint64_t* out);
