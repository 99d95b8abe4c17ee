#include "crash/core/CRKCompactUnwind.h"

#include "crash/core/CRKDwarf.h"
#include "crash/core/CRKSDKLog.h"
#include "crash/core/CRKUtilities.h"

#include <cstring>

namespace {

constexpr int32_t kCpuTypeX86_64 = 0x01000007;

bool u32At(const CRKCompactUnwindContext* c, uint64_t offset, uint32_t* out)
{
    if (offset > c->unwindInfoLength || c->unwindInfoLength - offset < 4)
        return false;
    memcpy(out, c->unwindInfo + offset, 4);
    return true;
}

bool u16At(const CRKCompactUnwindContext* c, uint64_t offset, uint16_t* out)
{
    if (offset > c->unwindInfoLength || c->unwindInfoLength - offset < 2)
        return false;
    memcpy(out, c->unwindInfo + offset, 2);
    return true;
}

bool read8(uint64_t address, uint64_t* out)
{
    return CRKReadMemory(reinterpret_cast<const void*>(address), out, 8);
}

// Compact register number to the thread context's field.
uint64_t* compactRegister(CRKThreadContext* t, int number)
{
    switch (number) {
    case 1: return &t->rbx;
    case 2: return &t->r12;
    case 3: return &t->r13;
    case 4: return &t->r14;
    case 5: return &t->r15;
    case 6: return &t->rbp;
    default: return nullptr;
    }
}

bool frameStep(uint32_t encoding, CRKThreadContext* t)
{
    const uint64_t fp = t->rbp;
    uint64_t saved[2];
    if (fp < 4096 || !CRKReadMemory(reinterpret_cast<const void*>(fp), saved, sizeof(saved))) {
        CRKSDKLog("%s: Error: failed to read memory at address %p\n", __func__, reinterpret_cast<void*>(fp));
        return false;
    }
    // Saved registers lie below the frame pointer, 3 bits each.
    const uint32_t offset = (encoding >> 16) & 0xff;
    uint32_t registers = encoding & 0x7fff;
    uint64_t at = fp - 8 * uint64_t(offset);
    CRKThreadContext next = *t;
    for (int i = 0; i < 5; ++i, at += 8) {
        const int reg = int(registers & 7);
        registers >>= 3;
        if (reg == 0)
            continue;
        uint64_t value;
        uint64_t* field = compactRegister(&next, reg);
        if (!field || !read8(at, &value))
            return false;
        *field = value;
    }
    next.rbp = saved[0];
    next.rip = saved[1];
    next.rsp = fp + 16;
    *t = next;
    return true;
}

bool framelessStep(const CRKCompactUnwindResult& r, CRKThreadContext* t)
{
    const uint32_t encoding = r.encoding;
    CRKSDKLog("%s: Frameless unwind encountered with encoding %x\n", __func__, encoding);
    uint64_t stackSize = 8 * uint64_t((encoding >> 16) & 0xff);
    if ((encoding & kCRKCompactModeMask) == kCRKCompactX86FramelessIndirect) {
        // The immediate of the function's own "sub $n, %rsp".
        uint32_t immediate;
        const uint64_t at = r.functionStart + ((encoding >> 16) & 0xff);
        if (!CRKReadMemory(reinterpret_cast<const void*>(at), &immediate, 4)) {
            CRKSDKLog("%s: Error: unable to read subl value\n", __func__);
            return false;
        }
        stackSize = immediate + 8 * uint64_t((encoding >> 13) & 7);
    }
    const uint32_t count = (encoding >> 10) & 7;
    int registers[6];
    if (!CRKCompactUnwindDecodePermutation(count, encoding & 0x3ff, registers)) {
        CRKSDKLog("%s: Error: unable to decompress registers %x\n", __func__, encoding);
        return false;
    }
    CRKThreadContext next = *t;
    uint64_t at = t->rsp + stackSize - 8 - 8 * uint64_t(count);
    for (uint32_t i = 0; i < count; ++i, at += 8) {
        uint64_t value;
        uint64_t* field = compactRegister(&next, registers[i]);
        if (!field || !read8(at, &value)) {
            CRKSDKLog("%s: Error: unable to read memory to set register\n", __func__);
            return false;
        }
        *field = value;
    }
    uint64_t ret;
    if (!read8(at, &ret)) {
        CRKSDKLog("%s: Error: unable to read memory to set register\n", __func__);
        return false;
    }
    if (ret < 4096) {
        CRKSDKLog("%s: Error: computed PC is invalid\n", __func__);
        return false;
    }
    next.rip = ret;
    next.rsp = at + 8;
    *t = next;
    return true;
}

}  // namespace

bool CRKCompactUnwindDecodePermutation(uint32_t count, uint32_t permutation, int* registers)
{
    int indexes[6] = {};
    switch (count) {
    case 6:
    case 5: {
        const uint32_t divisors[5] = {120, 24, 6, 2, 1};
        for (int i = 0; i < 5; ++i) {
            indexes[i] = int(permutation / divisors[i]);
            permutation -= uint32_t(indexes[i]) * divisors[i];
        }
        break;
    }
    case 4: {
        const uint32_t divisors[4] = {60, 12, 3, 1};
        for (int i = 0; i < 4; ++i) {
            indexes[i] = int(permutation / divisors[i]);
            permutation -= uint32_t(indexes[i]) * divisors[i];
        }
        break;
    }
    case 3: {
        const uint32_t divisors[3] = {20, 4, 1};
        for (int i = 0; i < 3; ++i) {
            indexes[i] = int(permutation / divisors[i]);
            permutation -= uint32_t(indexes[i]) * divisors[i];
        }
        break;
    }
    case 2:
        indexes[0] = int(permutation / 5);
        indexes[1] = int(permutation % 5);
        break;
    case 1:
        indexes[0] = int(permutation);
        break;
    case 0:
        return true;
    default:
        CRKSDKLog("%s: Error: invalid register number count %d\n", __func__, int(count));
        return false;
    }
    // Each index picks the index-th register number not yet used.
    bool used[7] = {};
    for (uint32_t i = 0; i < count; ++i) {
        int seen = 0;
        registers[i] = 0;
        for (int n = 1; n <= 6; ++n) {
            if (used[n])
                continue;
            if (seen++ == indexes[i]) {
                registers[i] = n;
                used[n] = true;
                break;
            }
        }
        if (registers[i] == 0)
            return false;
    }
    return true;
}

bool CRKCompactUnwindInit(CRKCompactUnwindContext* c, const void* unwindInfo, size_t length, const void* ehFrame,
                          size_t ehFrameLength, uint64_t loadAddress)
{
    if (!c || reinterpret_cast<uintptr_t>(unwindInfo) < 4096 || length < 28) {
        CRKSDKLog("%s: Error: invalid unwind info passed to compact unwind init\n", __func__);
        return false;
    }
    memset(c, 0, sizeof(*c));
    c->unwindInfo = static_cast<const uint8_t*>(unwindInfo);
    c->unwindInfoLength = length;
    c->ehFrame = static_cast<const uint8_t*>(ehFrame);
    c->ehFrameLength = ehFrameLength;
    c->loadAddress = loadAddress;
    uint32_t header[7];
    memcpy(header, unwindInfo, sizeof(header));
    c->version = header[0];
    if (c->version != 1) {
        CRKSDKLog("%s: Error: bad unwind_info structure version (%d != %d)\n", __func__, int(c->version), 1);
        return false;
    }
    c->commonEncodingsOffset = header[1];
    c->commonEncodingsCount = header[2];
    c->personalityOffset = header[3];
    c->personalityCount = header[4];
    c->indexOffset = header[5];
    c->indexCount = header[6];
    return true;
}

bool CRKCompactUnwindLookup(CRKCompactUnwindContext* c, uint64_t pc, CRKCompactUnwindResult* result)
{
    if (!c || !result || c->indexCount < 2 || pc < c->loadAddress)
        return false;
    const uint64_t offsetInImage = pc - c->loadAddress;
    bool found = false;
    for (uint32_t i = 0; i + 1 < c->indexCount; ++i) {
        uint32_t here, next, page, lsda;
        const uint64_t entry = uint64_t(c->indexOffset) + 12ULL * i;
        if (!u32At(c, entry, &here) || !u32At(c, entry + 4, &page) || !u32At(c, entry + 8, &lsda)
            || !u32At(c, entry + 12, &next))
            return false;
        if (here <= offsetInImage && offsetInImage < next) {
            c->functionOffset = here;
            c->secondLevelOffset = page;
            c->lsdaOffset = lsda;
            c->nextFunctionOffset = next;
            found = true;
            break;
        }
    }
    if (!found) {
        CRKSDKLog("%s: Unable to find pc in first level\n", __func__);
        return false;
    }
    uint32_t kind;
    if (c->secondLevelOffset == 0 || !u32At(c, c->secondLevelOffset, &kind))
        return false;
    const uint64_t page = c->secondLevelOffset;
    uint16_t entriesOffset, count;
    if (!u16At(c, page + 4, &entriesOffset) || !u16At(c, page + 6, &count) || count == 0)
        return false;
    uint32_t encoding = 0;
    if (kind == 2) {
        // Regular page: {function offset from the image, encoding} pairs.
        int64_t low = 0, high = int64_t(count) - 1, match = -1;
        while (low <= high) {
            const int64_t mid = (low + high) / 2;
            uint32_t fn;
            if (!u32At(c, page + entriesOffset + 8ULL * uint64_t(mid), &fn))
                return false;
            if (fn <= offsetInImage) {
                match = mid;
                low = mid + 1;
            } else {
                high = mid - 1;
            }
        }
        uint32_t fn, nextFn = c->nextFunctionOffset;
        if (match < 0 || !u32At(c, page + entriesOffset + 8ULL * uint64_t(match), &fn)
            || !u32At(c, page + entriesOffset + 8ULL * uint64_t(match) + 4, &encoding))
            return false;
        if (match + 1 < count)
            u32At(c, page + entriesOffset + 8ULL * uint64_t(match + 1), &nextFn);
        result->functionStart = c->loadAddress + fn;
        result->functionEnd = c->loadAddress + nextFn;
    } else if (kind == 3) {
        uint16_t encodingsOffset, encodingsCount;
        if (!u16At(c, page + 8, &encodingsOffset) || !u16At(c, page + 10, &encodingsCount))
            return false;
        const uint64_t target = offsetInImage - c->functionOffset;
        int64_t low = 0, high = int64_t(count) - 1, match = -1;
        while (low <= high) {
            const int64_t mid = (low + high) / 2;
            uint32_t e;
            if (!u32At(c, page + entriesOffset + 4ULL * uint64_t(mid), &e))
                return false;
            if ((e & 0xffffff) <= target) {
                match = mid;
                low = mid + 1;
            } else {
                high = mid - 1;
            }
        }
        uint32_t entry;
        if (match < 0 || !u32At(c, page + entriesOffset + 4ULL * uint64_t(match), &entry)) {
            CRKSDKLog("%s: Unable to find PC in second level\n", __func__);
            return false;
        }
        result->functionStart = c->loadAddress + c->functionOffset + (entry & 0xffffff);
        uint32_t following;
        if (match + 1 < count && u32At(c, page + entriesOffset + 4ULL * uint64_t(match + 1), &following))
            result->functionEnd = c->loadAddress + c->functionOffset + (following & 0xffffff);
        else
            result->functionEnd = c->loadAddress + c->nextFunctionOffset;
        const uint32_t index = entry >> 24;
        if (index < c->commonEncodingsCount) {
            if (!u32At(c, uint64_t(c->commonEncodingsOffset) + 4ULL * index, &encoding))
                return false;
        } else if (index - c->commonEncodingsCount < encodingsCount) {
            if (!u32At(c, page + encodingsOffset + 4ULL * (index - c->commonEncodingsCount), &encoding))
                return false;
        } else {
            return false;
        }
    } else {
        CRKSDKLog("%s: Unrecognized header kind - unable to continue\n", __func__);
        return false;
    }
    if (pc < result->functionStart || pc >= result->functionEnd) {
        CRKSDKLog("%s: PC does not match computed function range\n", __func__);
        return false;
    }
    result->encoding = encoding;
    return true;
}

bool CRKCompactUnwindComputeRegisters(const CRKCompactUnwindContext* c, const CRKCompactUnwindResult& r,
                                      int32_t cputype, CRKThreadContext* t)
{
    if (!c || !t) {
        CRKSDKLog("%s: Error: invalid inputs\n", __func__);
        return false;
    }
    if (cputype != kCpuTypeX86_64)
        return false;
    CRKSDKLog("%s: Computing registers for encoding %x\n", __func__, r.encoding);
    switch (r.encoding & kCRKCompactModeMask) {
    case kCRKCompactX86Frame:
        return frameStep(r.encoding, t);
    case kCRKCompactX86Frameless:
    case kCRKCompactX86FramelessIndirect:
        return framelessStep(r, t);
    case kCRKCompactX86Dwarf: {
        const uint32_t offset = r.encoding & 0xffffff;
        if (!c->ehFrame || offset == 0 || offset >= c->ehFrameLength)
            return false;
        const CRKDwarfBounds bounds{reinterpret_cast<uintptr_t>(c->ehFrame),
                                    reinterpret_cast<uintptr_t>(c->ehFrame) + c->ehFrameLength};
        CRKDwarfRules rules;
        bool undefined = false;
        return CRKDwarfRulesForFDE(c->ehFrame + offset, bounds, t->rip, &rules, nullptr, nullptr)
               && CRKDwarfApplyRules(rules, bounds, t, &undefined) && !undefined;
    }
    default:
        CRKSDKLog("%s: Invalid encoding %x\n", __func__, r.encoding);
        return false;
    }
}
