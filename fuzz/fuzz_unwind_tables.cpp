// The crash-time unwinders' readers of unwind tables: a Mach-O
// __unwind_info section (with __eh_frame beside it) and DWARF call-frame
// entries of .eh_frame, then the rules applied to a thread whose stack is a
// buffer of ours. Input: [u8 mode: bit 0 set for DWARF][u16 LE offset of the
// FDE][section bytes].
#include "crash/core/CRKCompactUnwind.h"
#include "crash/core/CRKDwarf.h"

#include <cstdint>
#include <initializer_list>

namespace {
constexpr int32_t kCPUTypeX86_64 = 0x01000007;
constexpr uint64_t kLoadAddress = 0x100000000;

// A thread stopped in the middle of a small stack, so rules that read saved
// registers find memory.
CRKThreadContext threadOn(uint64_t* stack, std::size_t words) {
    CRKThreadContext thread{};
    for (std::size_t i = 0; i < words; ++i) stack[i] = 0x1000 + 8 * i;
    thread.rsp = reinterpret_cast<uintptr_t>(stack + words / 2);
    thread.rbp = thread.rsp + 64;
    return thread;
}

void compact(const std::uint8_t* bytes, std::size_t length) {
    CRKCompactUnwindContext context;
    if (!CRKCompactUnwindInit(&context, bytes, length, bytes, length, kLoadAddress)) return;
    for (uint64_t offset : {0x0ULL, 0x330ULL, 0x338ULL, 0x340ULL, 0x4000ULL, 0xffffffffULL}) {
        CRKCompactUnwindResult result;
        if (!CRKCompactUnwindLookup(&context, kLoadAddress + offset, &result)) continue;
        uint64_t stack[64];
        CRKThreadContext thread = threadOn(stack, 64);
        CRKCompactUnwindComputeRegisters(&context, result, kCPUTypeX86_64, &thread);
    }
}

void dwarf(const std::uint8_t* bytes, std::size_t length, std::size_t fdeOffset) {
    if (length == 0) return;
    const CRKDwarfBounds bounds{reinterpret_cast<uintptr_t>(bytes), reinterpret_cast<uintptr_t>(bytes) + length};
    const void* fde = bytes + fdeOffset % length;
    CRKDwarfRules rules;
    uintptr_t start = 0, end = 0;
    CRKDwarfRulesForFDE(fde, bounds, 0, &rules, &start, &end);
    // Rows at the function's first byte and inside it.
    for (uintptr_t pc : {start, start + (end - start) / 2, end > start ? end - 1 : end}) {
        uintptr_t s = 0, e = 0;
        if (!CRKDwarfRulesForFDE(fde, bounds, pc, &rules, &s, &e)) continue;
        uint64_t stack[64];
        CRKThreadContext thread = threadOn(stack, 64);
        bool undefined = false;
        CRKDwarfApplyRules(rules, bounds, &thread, &undefined);
    }
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 3) return 0;
    const std::size_t fdeOffset = std::size_t(data[1]) | std::size_t(data[2]) << 8;
    if (data[0] & 1) dwarf(data + 3, size - 3, fdeOffset);
    else compact(data + 3, size - 3);
    return 0;
}
