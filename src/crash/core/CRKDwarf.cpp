#include "crash/core/CRKDwarf.h"
#include "crash/core/CRKDwarfCursor.h"

#include "crash/core/CRKSDKLog.h"
#include "crash/core/CRKUtilities.h"

#include <cstring>

namespace {

using crkdwarf::Cursor;

struct Cie {
    uint64_t codeAlignment = 0;
    int64_t dataAlignment = 0;
    uint64_t returnRegister = 16;
    uint8_t fdeEncoding = 0;
    bool signalFrame = false;
    bool augmentationZ = false;
    const uint8_t* instructions = nullptr;
    const uint8_t* end = nullptr;
};

struct Fde {
    uintptr_t pcBegin = 0;
    uintptr_t pcEnd = 0;
    const uint8_t* instructions = nullptr;
    const uint8_t* end = nullptr;
};

// Entry length; sets `next` to the first byte after the entry.
bool readLength(Cursor& c, const uint8_t** next)
{
    uint32_t length32;
    if (!c.read(&length32) || length32 == 0)
        return false;
    uint64_t length = length32;
    if (length32 == 0xffffffff && !c.read(&length))
        return false;
    if (!c.has(length))
        return false;
    *next = c.p + length;
    return true;
}

bool parseCie(const uint8_t* at, const CRKDwarfBounds& b, Cie* cie)
{
    Cursor c{at, reinterpret_cast<const uint8_t*>(b.end)};
    const uint8_t* next;
    uint32_t id;
    uint8_t version;
    if (!readLength(c, &next) || !c.read(&id) || !c.read(&version)) {
        CRKSDKLog("%s: Error: CIE length invalid\n", __func__);
        return false;
    }
    c.end = next;
    if (id != 0)
        CRKSDKLog("%s: Error: CIE flag not found\n", __func__);
    if (version != 1 && version != 3 && version != 4) {
        CRKSDKLog("%s: Error: CIE version %u unsupported\n", __func__, unsigned(version));
        return false;
    }
    const char* augmentation = reinterpret_cast<const char*>(c.p);
    const size_t augLength = strnlen(augmentation, size_t(c.end - c.p));
    if (augLength == size_t(c.end - c.p))
        return false;
    c.p += augLength + 1;
    if (version == 4) {  // address size and segment selector size
        uint8_t skip[2];
        if (!c.read(&skip))
            return false;
    }
    if (!c.uleb(&cie->codeAlignment) || !c.sleb(&cie->dataAlignment))
        return false;
    if (version == 1) {
        uint8_t r;
        if (!c.read(&r))
            return false;
        cie->returnRegister = r;
    } else if (!c.uleb(&cie->returnRegister)) {
        return false;
    }
    if (augmentation[0] == 'z') {
        uint64_t dataLength;
        if (!c.uleb(&dataLength) || !c.has(dataLength))
            return false;
        const uint8_t* dataEnd = c.p + dataLength;
        cie->augmentationZ = true;
        for (const char* a = augmentation + 1; *a; ++a) {
            uint8_t encoding;
            uintptr_t ignored;
            switch (*a) {
            case 'L':
                if (!c.read(&encoding))
                    return false;
                break;
            case 'P':
                if (!c.read(&encoding) || !CRKDwarfReadEncodedPointer(&c.p, dataEnd, encoding, 0, &ignored)) {
                    CRKSDKLog("%s: Error: Found an invalid start address\n", __func__);
                    return false;
                }
                break;
            case 'R':
                if (!c.read(&cie->fdeEncoding))
                    return false;
                break;
            case 'S':
                cie->signalFrame = true;
                break;
            case 'B':  // AArch64 pointer authentication; nothing to read
                break;
            default:
                CRKSDKLog("%s: Error: Unhandled augmentation string entry %c\n", __func__, *a);
                return false;
            }
        }
        c.p = dataEnd;
    } else if (augmentation[0] != 0) {
        CRKSDKLog("%s: Error: Unimplemented: augmentation string %s\n", __func__, augmentation);
        return false;
    }
    cie->instructions = c.p;
    cie->end = c.end;
    return true;
}

bool parseFde(const uint8_t* at, const CRKDwarfBounds& b, Fde* fde, Cie* cie)
{
    Cursor c{at, reinterpret_cast<const uint8_t*>(b.end)};
    const uint8_t* next;
    if (!readLength(c, &next)) {
        CRKSDKLog("%s: Error: FDE has zero length\n", __func__);
        return false;
    }
    c.end = next;
    const uint8_t* pointerField = c.p;
    uint32_t ciePointer;
    if (!c.read(&ciePointer) || ciePointer == 0) {
        CRKSDKLog("%s: Error: CIE offset invalid\n", __func__);
        return false;
    }
    const uint8_t* cieAt = pointerField - ciePointer;
    if (reinterpret_cast<uintptr_t>(cieAt) < b.start || reinterpret_cast<uintptr_t>(cieAt) >= b.end
        || !parseCie(cieAt, b, cie)) {
        CRKSDKLog("%s: Error: Unable to parse CIE record\n", __func__);
        return false;
    }
    uintptr_t begin, range;
    if (!CRKDwarfReadEncodedPointer(&c.p, c.end, cie->fdeEncoding, 0, &begin)) {
        CRKSDKLog("%s: Error: Found an invalid start address\n", __func__);
        return false;
    }
    if (!CRKDwarfReadEncodedPointer(&c.p, c.end, cie->fdeEncoding & 0x0f, 0, &range)) {
        CRKSDKLog("%s: Error: Found an invalid address range\n", __func__);
        return false;
    }
    if (cie->augmentationZ) {
        uint64_t skip;
        if (!c.uleb(&skip) || !c.has(skip))
            return false;
        c.p += skip;
    }
    fde->pcBegin = begin;
    fde->pcEnd = begin + range;
    fde->instructions = c.p;
    fde->end = c.end;
    return true;
}

// The FDE for pc through the sorted table of .eh_frame_hdr.
const uint8_t* findFde(const CRKBinaryImageNode& image, const CRKDwarfBounds& b, uintptr_t pc)
{
    const uint8_t* hdr = reinterpret_cast<const uint8_t*>(image.ehFrameHeader);
    Cursor c{hdr, reinterpret_cast<const uint8_t*>(b.end)};
    uint8_t version, framePtrEnc, countEnc, tableEnc;
    if (!c.read(&version) || !c.read(&framePtrEnc) || !c.read(&countEnc) || !c.read(&tableEnc) || version != 1)
        return nullptr;
    uintptr_t framePtr, count;
    if (!CRKDwarfReadEncodedPointer(&c.p, c.end, framePtrEnc, uintptr_t(hdr), &framePtr)
        || !CRKDwarfReadEncodedPointer(&c.p, c.end, countEnc, uintptr_t(hdr), &count))
        return nullptr;
    if (tableEnc != 0x3b || count == 0 || !c.has(count * 8)) {  // datarel | sdata4
        CRKSDKLog("%s: Unhandled: encoding 0x%x\n", __func__, unsigned(tableEnc));
        return nullptr;
    }
    const int32_t* table = reinterpret_cast<const int32_t*>(c.p);
    size_t low = 0, high = count;
    while (high - low > 1) {
        const size_t mid = (low + high) / 2;
        if (uintptr_t(hdr) + intptr_t(table[2 * mid]) <= pc)
            low = mid;
        else
            high = mid;
    }
    if (uintptr_t(hdr) + intptr_t(table[2 * low]) > pc)
        return nullptr;
    const uintptr_t fde = uintptr_t(hdr) + intptr_t(table[2 * low + 1]);
    if (fde < b.start || fde >= b.end)
        return nullptr;
    return reinterpret_cast<const uint8_t*>(fde);
}

bool validRegister(uint64_t r) { return r < kCRKDwarfRegisterCount; }

constexpr int kStateStackDepth = 8;

// Runs CFA instructions into `rules` while the row location stays at or
// below `target`. `initial` holds the CIE's rules for DW_CFA_restore.
bool runInstructions(const uint8_t* p, const uint8_t* end, const Cie& cie, uintptr_t location, uintptr_t target,
                     CRKDwarfRules* rules, const CRKDwarfRules* initial)
{
    CRKDwarfRules stack[kStateStackDepth];
    int depth = 0;
    Cursor c{p, end};
    auto setRule = [&](uint64_t reg, uint32_t kind, int64_t value) {
        if (validRegister(reg))  // vector registers are not needed to unwind
            rules->registers[reg] = {kind, value};
    };
    // Factors and the data alignment come from the image's bytes: a product
    // beyond 64 bits makes the entry malformed, never undefined behaviour.
    int64_t scaled = 0;
    auto scale = [&](int64_t factor, bool negate = false) {
        return !__builtin_mul_overflow(factor, cie.dataAlignment, &scaled)
            && !(negate && __builtin_sub_overflow(int64_t(0), scaled, &scaled));
    };
    while (c.p < c.end) {
        uint8_t op;
        c.read(&op);
        const uint8_t high = op & 0xc0, low = op & 0x3f;
        uint64_t reg = 0, u = 0;
        int64_t s = 0;
        if (high == 0x40) {  // advance_loc
            location += low * cie.codeAlignment;
            if (location > target)
                return true;
            continue;
        }
        if (high == 0x80) {  // offset
            if (!c.uleb(&u))
                return false;
            if (!scale(int64_t(u)))
                return false;
            setRule(low, kCRKDwarfOffset, scaled);
            continue;
        }
        if (high == 0xc0) {  // restore
            if (initial && validRegister(low))
                rules->registers[low] = initial->registers[low];
            continue;
        }
        switch (op) {
        case 0x00:  // nop
            break;
        case 0x01: {  // set_loc
            uintptr_t to;
            if (!CRKDwarfReadEncodedPointer(&c.p, c.end, cie.fdeEncoding, 0, &to))
                return false;
            location = to;
            if (location > target)
                return true;
            break;
        }
        case 0x02:
        case 0x03:
        case 0x04: {
            uint8_t d1;
            uint16_t d2;
            uint32_t d4;
            if (op == 0x02 ? !c.read(&d1) : op == 0x03 ? !c.read(&d2) : !c.read(&d4))
                return false;
            location += (op == 0x02 ? d1 : op == 0x03 ? d2 : d4) * cie.codeAlignment;
            if (location > target)
                return true;
            break;
        }
        case 0x05:  // offset_extended
            if (!c.uleb(&reg) || !c.uleb(&u))
                return false;
            if (!scale(int64_t(u)))
                return false;
            setRule(reg, kCRKDwarfOffset, scaled);
            break;
        case 0x06:  // restore_extended
            if (!c.uleb(&reg))
                return false;
            if (initial && validRegister(reg))
                rules->registers[reg] = initial->registers[reg];
            break;
        case 0x07:  // undefined
            if (!c.uleb(&reg))
                return false;
            setRule(reg, kCRKDwarfUndefined, 0);
            break;
        case 0x08:  // same_value
            if (!c.uleb(&reg))
                return false;
            setRule(reg, kCRKDwarfSameValue, 0);
            break;
        case 0x09:  // register
            if (!c.uleb(&reg) || !c.uleb(&u))
                return false;
            setRule(reg, kCRKDwarfRegister, int64_t(u));
            break;
        case 0x0a:  // remember_state
            if (depth == kStateStackDepth)
                return false;
            stack[depth++] = *rules;
            break;
        case 0x0b:  // restore_state: the whole row, CFA included
            if (depth == 0)
                return false;
            *rules = stack[--depth];
            break;
        case 0x0c:  // def_cfa
            if (!c.uleb(&reg) || !c.uleb(&u))
                return false;
            rules->cfaRegister = reg;
            rules->cfaOffset = int64_t(u);
            break;
        case 0x0d:  // def_cfa_register
            if (!c.uleb(&reg))
                return false;
            rules->cfaRegister = reg;
            break;
        case 0x0e:  // def_cfa_offset
            if (!c.uleb(&u))
                return false;
            rules->cfaOffset = int64_t(u);
            break;
        case 0x0f: {  // def_cfa_expression
            const uintptr_t at = uintptr_t(c.p);
            if (!c.uleb(&u) || !c.has(u))
                return false;
            c.p += u;
            rules->cfaRegister = 17;
            rules->cfaExpression = at;
            break;
        }
        case 0x10:    // expression
        case 0x16: {  // val_expression
            if (!c.uleb(&reg))
                return false;
            const uintptr_t at = uintptr_t(c.p);
            if (!c.uleb(&u) || !c.has(u))
                return false;
            c.p += u;
            setRule(reg, op == 0x10 ? kCRKDwarfExpression : kCRKDwarfValExpression, int64_t(at));
            break;
        }
        case 0x11:  // offset_extended_sf
            if (!c.uleb(&reg) || !c.sleb(&s))
                return false;
            if (!scale(s))
                return false;
            setRule(reg, kCRKDwarfOffset, scaled);
            break;
        case 0x12:  // def_cfa_sf
            if (!c.uleb(&reg) || !c.sleb(&s))
                return false;
            if (!scale(s))
                return false;
            rules->cfaRegister = reg;
            rules->cfaOffset = scaled;
            break;
        case 0x13:  // def_cfa_offset_sf
            if (!c.sleb(&s) || !scale(s))
                return false;
            rules->cfaOffset = scaled;
            break;
        case 0x14:  // val_offset
            if (!c.uleb(&reg) || !c.uleb(&u))
                return false;
            if (!scale(int64_t(u)))
                return false;
            setRule(reg, kCRKDwarfValOffset, scaled);
            break;
        case 0x15:  // val_offset_sf
            if (!c.uleb(&reg) || !c.sleb(&s))
                return false;
            if (!scale(s))
                return false;
            setRule(reg, kCRKDwarfValOffset, scaled);
            break;
        case 0x2e:  // GNU_args_size
            if (!c.uleb(&u))
                return false;
            break;
        case 0x2f:  // GNU_negative_offset_extended
            if (!c.uleb(&reg) || !c.uleb(&u))
                return false;
            if (!scale(int64_t(u), true))
                return false;
            setRule(reg, kCRKDwarfOffset, scaled);
            break;
        default:
            CRKSDKLog("%s: Error: Unimplemented DWARF instruction 0x%x\n", __func__, unsigned(op));
            CRKSDKLog("%s: Error: Failed to execute dwarf instruction 0x%x\n", __func__, unsigned(op));
            return false;
        }
    }
    return true;
}

bool readStack(uint64_t address, uint64_t* out)
{
    return CRKReadMemory(reinterpret_cast<const void*>(address), out, 8);
}

}  // namespace

bool CRKDwarfReadULEB128(const uint8_t** cursor, const uint8_t* end, uint64_t* out)
{
    uint64_t value = 0;
    unsigned shift = 0;
    const uint8_t* p = *cursor;
    for (int i = 0; i < 10; ++i) {
        if (p >= end)
            return false;
        const uint8_t byte = *p++;
        if (shift < 64)
            value |= uint64_t(byte & 0x7f) << shift;
        shift += 7;
        if (!(byte & 0x80)) {
            *cursor = p;
            *out = value;
            return true;
        }
    }
    return false;
}

bool CRKDwarfReadSLEB128(const uint8_t** cursor, const uint8_t* end, int64_t* out)
{
    uint64_t value = 0;
    unsigned shift = 0;
    const uint8_t* p = *cursor;
    for (int i = 0; i < 10; ++i) {
        if (p >= end)
            return false;
        const uint8_t byte = *p++;
        if (shift < 64)
            value |= uint64_t(byte & 0x7f) << shift;
        shift += 7;
        if (!(byte & 0x80)) {
            if (shift < 64 && (byte & 0x40))
                value |= ~uint64_t(0) << shift;
            *cursor = p;
            *out = int64_t(value);
            return true;
        }
    }
    return false;
}

bool CRKDwarfReadEncodedPointer(const uint8_t** cursor, const uint8_t* end, uint8_t encoding, uintptr_t dataBase,
                                uintptr_t* out)
{
    if (encoding == 0xff) {
        *out = 0;
        return true;
    }
    Cursor c{*cursor, end};
    const uintptr_t at = uintptr_t(c.p);
    uint64_t value;
    switch (encoding & 0x0f) {
    case 0x00:
    case 0x04:
    case 0x0c: {
        uint64_t v;
        if (!c.read(&v))
            return false;
        value = v;
        break;
    }
    case 0x01:
        if (!c.uleb(&value))
            return false;
        break;
    case 0x02: {
        uint16_t v;
        if (!c.read(&v))
            return false;
        value = v;
        break;
    }
    case 0x03: {
        uint32_t v;
        if (!c.read(&v))
            return false;
        value = v;
        break;
    }
    case 0x09: {
        int64_t v;
        if (!c.sleb(&v))
            return false;
        value = uint64_t(v);
        break;
    }
    case 0x0a: {
        int16_t v;
        if (!c.read(&v))
            return false;
        value = uint64_t(int64_t(v));
        break;
    }
    case 0x0b: {
        int32_t v;
        if (!c.read(&v))
            return false;
        value = uint64_t(int64_t(v));
        break;
    }
    default:
        CRKSDKLog("%s: Unhandled: encoding 0x%x\n", __func__, unsigned(encoding));
        return false;
    }
    switch (encoding & 0x70) {
    case 0x00:
        break;
    case 0x10:
        value += at;
        break;
    case 0x30:
        if (!dataBase)
            return false;
        value += dataBase;
        break;
    default:
        CRKSDKLog("%s: Unhandled: relative encoding 0x%x\n", __func__, unsigned(encoding));
        return false;
    }
    if (encoding & 0x80) {
        if (value == 0 || !readStack(value, &value))
            return false;
    }
    *cursor = c.p;
    *out = uintptr_t(value);
    return true;
}

bool CRKDwarfGetRegister(const CRKThreadContext* ctx, uint64_t number, uint64_t* out)
{
    const uint64_t values[kCRKDwarfRegisterCount] = {ctx->rax, ctx->rdx, ctx->rcx, ctx->rbx, ctx->rsi, ctx->rdi,
                                                     ctx->rbp, ctx->rsp, ctx->r8,  ctx->r9,  ctx->r10, ctx->r11,
                                                     ctx->r12, ctx->r13, ctx->r14, ctx->r15, ctx->rip};
    if (number >= kCRKDwarfRegisterCount) {
        CRKSDKLog("%s: Error: Unrecognized get register number %lu\n", __func__, number);
        return false;
    }
    *out = values[number];
    return true;
}

bool CRKDwarfSetRegister(CRKThreadContext* ctx, uint64_t number, uint64_t value)
{
    uint64_t* slots[kCRKDwarfRegisterCount] = {&ctx->rax, &ctx->rdx, &ctx->rcx, &ctx->rbx, &ctx->rsi, &ctx->rdi,
                                               &ctx->rbp, &ctx->rsp, &ctx->r8,  &ctx->r9,  &ctx->r10, &ctx->r11,
                                               &ctx->r12, &ctx->r13, &ctx->r14, &ctx->r15, &ctx->rip};
    if (number >= kCRKDwarfRegisterCount) {
        CRKSDKLog("%s: Unrecognized set register number %lu\n", __func__, number);
        return false;
    }
    *slots[number] = value;
    return true;
}

bool CRKDwarfRulesForFDE(const void* fdeAddress, const CRKDwarfBounds& bounds, uintptr_t pc, CRKDwarfRules* rules,
                         uintptr_t* fdeStart, uintptr_t* fdeEnd)
{
    const uint8_t* fdeAt = static_cast<const uint8_t*>(fdeAddress);
    Fde fde;
    Cie cie;
    if (reinterpret_cast<uintptr_t>(fdeAt) < bounds.start || reinterpret_cast<uintptr_t>(fdeAt) >= bounds.end
        || !parseFde(fdeAt, bounds, &fde, &cie)) {
        CRKSDKLog("%s: Error: Unable to init FDE\n", __func__);
        return false;
    }
    if (fdeStart)
        *fdeStart = fde.pcBegin;
    if (fdeEnd)
        *fdeEnd = fde.pcEnd;
    if (pc < fde.pcBegin || pc >= fde.pcEnd)
        return false;
    memset(rules, 0, sizeof(*rules));
    if (!runInstructions(cie.instructions, cie.end, cie, fde.pcBegin, UINTPTR_MAX, rules, nullptr)) {
        CRKSDKLog("%s: Error: Unable to run CIE instructions\n", __func__);
        return false;
    }
    const CRKDwarfRules initial = *rules;
    if (!runInstructions(fde.instructions, fde.end, cie, fde.pcBegin, pc, rules, &initial)) {
        CRKSDKLog("%s: Error: Unable to run FDE instructions\n", __func__);
        return false;
    }
    rules->signalFrame = cie.signalFrame;
    return true;
}

bool CRKDwarfFindRules(const CRKBinaryImageNode& image, uintptr_t pc, CRKDwarfRules* rules, uintptr_t* fdeStart,
                       uintptr_t* fdeEnd)
{
    if (image.ehFrameHeader < 4096 || image.ehFrameHeader < image.unwindStart
        || image.unwindEnd <= image.ehFrameHeader)
        return false;
    const CRKDwarfBounds bounds{image.unwindStart, image.unwindEnd};
    const uint8_t* fdeAt = findFde(image, bounds, pc);
    return fdeAt && CRKDwarfRulesForFDE(fdeAt, bounds, pc, rules, fdeStart, fdeEnd);
}

bool CRKDwarfApplyRules(const CRKDwarfRules& rules, const CRKDwarfBounds& bounds, CRKThreadContext* context,
                        bool* returnAddressUndefined)
{
    *returnAddressUndefined = false;
    uint64_t cfa;
    if (rules.cfaRegister == 17) {
        if (!CRKDwarfEvaluateExpression(rules.cfaExpression, bounds, context, 0, false, &cfa)) {
            CRKSDKLog("%s: Error: failed to compute CFA expression\n", __func__);
            return false;
        }
    } else {
        uint64_t base;
        if (!CRKDwarfGetRegister(context, rules.cfaRegister, &base)) {
            CRKSDKLog("%s: Error: failed to get CFA\n", __func__);
            return false;
        }
        cfa = base + uint64_t(rules.cfaOffset);
    }
    if (rules.registers[16].kind == kCRKDwarfUndefined) {
        *returnAddressUndefined = true;
        return true;
    }
    CRKThreadContext next = *context;
    for (int r = 0; r < kCRKDwarfRegisterCount; ++r) {
        const CRKDwarfRule& rule = rules.registers[r];
        uint64_t value = 0;
        switch (rule.kind) {
        case kCRKDwarfSameValue:
            continue;
        case kCRKDwarfUndefined:
            continue;  // caller-saved: the value is lost, keep ours
        case kCRKDwarfOffset:
            if (!readStack(cfa + uint64_t(rule.value), &value)) {
                CRKSDKLog("%s: Error: Unable to read CFA value\n", __func__);
                return false;
            }
            break;
        case kCRKDwarfValOffset:
            value = cfa + uint64_t(rule.value);
            break;
        case kCRKDwarfRegister:
            if (!CRKDwarfGetRegister(context, uint64_t(rule.value), &value))
                return false;
            break;
        case kCRKDwarfExpression:
        case kCRKDwarfValExpression:
            if (!CRKDwarfEvaluateExpression(uintptr_t(rule.value), bounds, context, cfa, true, &value)) {
                CRKSDKLog("%s: Error: unable to evaluate expression\n", __func__);
                return false;
            }
            if (rule.kind == kCRKDwarfExpression && !readStack(value, &value)) {
                CRKSDKLog("%s: Error: Unable to read memory computed from expression\n", __func__);
                return false;
            }
            break;
        default:
            CRKSDKLog("%s: Error: Unrecognized register save location 0x%x\n", __func__, rule.kind);
            return false;
        }
        CRKDwarfSetRegister(&next, uint64_t(r), value);
    }
    next.rsp = cfa;
    if (next.rsp == context->rsp && next.rip == context->rip) {
        CRKSDKLog("%s: Error: Stack pointer hasn't changed\n", __func__);
        return false;
    }
    *context = next;
    return true;
}

bool CRKDwarfUnwindFrame(const CRKBinaryImageNode& image, uintptr_t pc, CRKThreadContext* context,
                         bool* returnAddressUndefined, bool* signalFrame)
{
    *returnAddressUndefined = false;
    CRKDwarfRules rules;
    if (!CRKDwarfFindRules(image, pc, &rules, nullptr, nullptr))
        return false;
    if (signalFrame)
        *signalFrame = rules.signalFrame;
    return CRKDwarfApplyRules(rules, CRKDwarfBounds{image.unwindStart, image.unwindEnd}, context, returnAddressUndefined);
}
