#include "crash/core/CRKDwarf.h"
#include "crash/core/CRKDwarfCursor.h"

#include "crash/core/CRKSDKLog.h"
#include "crash/core/CRKUtilities.h"

#include <cstring>

// The DWARF expression machine of CFA and register rules: a 100-entry stack
// on the caller's stack, operands read in place inside the image's bounds,
// memory read only through CRKReadMemory.

namespace {

using crkdwarf::Cursor;

bool readStack(uint64_t address, uint64_t* out)
{
    return CRKReadMemory(reinterpret_cast<const void*>(address), out, 8);
}

}  // namespace

bool CRKDwarfEvaluateExpression(uintptr_t expression, const CRKDwarfBounds& b, const CRKThreadContext* ctx,
                                uint64_t initial, bool pushInitial, uint64_t* out)
{
    if (expression < 4096)
        return false;
    Cursor c{reinterpret_cast<const uint8_t*>(expression), reinterpret_cast<const uint8_t*>(b.end)};
    uint64_t length;
    if (!c.uleb(&length) || length == 0 || !c.has(length)) {
        CRKSDKLog("%s: Error: DWARF expression length is zero\n", __func__);
        return false;
    }
    c.end = c.p + length;
    const uint8_t* const start = c.p;
    uint64_t stack[100];
    int top = 0;
    auto push = [&](uint64_t v) {
        if (top == 100)
            return false;
        stack[top++] = v;
        return true;
    };
    auto pop = [&](uint64_t* v) {
        if (top == 0)
            return false;
        *v = stack[--top];
        return true;
    };
    if (pushInitial)
        push(initial);
    int steps = 0;
    while (c.p < c.end) {
        if (++steps > 10000)
            return false;  // a loop through DW_OP_skip/bra
        uint8_t op;
        c.read(&op);
        uint64_t a = 0, b2 = 0, u = 0;
        int64_t s;
        bool ok = true;
        if (op >= 0x30 && op <= 0x4f) {  // lit0..lit31
            ok = push(op - 0x30);
        } else if (op >= 0x70 && op <= 0x8f) {  // breg0..breg31
            uint64_t value;
            ok = c.sleb(&s) && CRKDwarfGetRegister(ctx, op - 0x70, &value) && push(value + uint64_t(s));
            if (!ok)
                CRKSDKLog("%s: Error: DW_OP_breg invalid register number\n", __func__);
        } else {
            switch (op) {
            case 0x03: {  // addr
                uint64_t v;
                ok = c.read(&v) && push(v);
                break;
            }
            case 0x06:  // deref
                ok = pop(&a) && readStack(a, &a) && push(a);
                break;
            case 0x08: {
                uint8_t v;
                ok = c.read(&v) && push(v);
                break;
            }
            case 0x09: {
                int8_t v;
                ok = c.read(&v) && push(uint64_t(int64_t(v)));
                break;
            }
            case 0x0a: {
                uint16_t v;
                ok = c.read(&v) && push(v);
                break;
            }
            case 0x0b: {
                int16_t v;
                ok = c.read(&v) && push(uint64_t(int64_t(v)));
                break;
            }
            case 0x0c: {
                uint32_t v;
                ok = c.read(&v) && push(v);
                break;
            }
            case 0x0d: {
                int32_t v;
                ok = c.read(&v) && push(uint64_t(int64_t(v)));
                break;
            }
            case 0x0e:
            case 0x0f: {
                uint64_t v;
                ok = c.read(&v) && push(v);
                break;
            }
            case 0x10:
                ok = c.uleb(&u) && push(u);
                break;
            case 0x11:
                ok = c.sleb(&s) && push(uint64_t(s));
                break;
            case 0x12:  // dup
                ok = top > 0 && push(stack[top - 1]);
                break;
            case 0x13:  // drop
                ok = pop(&a);
                break;
            case 0x14:  // over
                ok = top > 1 && push(stack[top - 2]);
                break;
            case 0x15: {  // pick
                uint8_t i;
                ok = c.read(&i) && i < top && push(stack[top - 1 - i]);
                break;
            }
            case 0x16:  // swap
                ok = pop(&a) && pop(&b2) && push(a) && push(b2);
                break;
            case 0x17:  // rot
                if (top < 3)
                    return false;
                a = stack[top - 1];
                stack[top - 1] = stack[top - 2];
                stack[top - 2] = stack[top - 3];
                stack[top - 3] = a;
                break;
            case 0x19:  // abs
                ok = pop(&a) && push(int64_t(a) < 0 ? 0 - a : a);
                break;
            case 0x1a:
                ok = pop(&a) && pop(&b2) && push(b2 & a);
                break;
            case 0x1c:
                ok = pop(&a) && pop(&b2) && push(b2 - a);
                break;
            case 0x1e:
                ok = pop(&a) && pop(&b2) && push(b2 * a);
                break;
            case 0x1f:
                ok = pop(&a) && push(0 - a);
                break;
            case 0x20:
                ok = pop(&a) && push(~a);
                break;
            case 0x21:
                ok = pop(&a) && pop(&b2) && push(b2 | a);
                break;
            case 0x22:
                ok = pop(&a) && pop(&b2) && push(b2 + a);
                break;
            case 0x23:
                ok = c.uleb(&u) && pop(&a) && push(a + u);
                break;
            case 0x24:
                ok = pop(&a) && pop(&b2) && push(a < 64 ? b2 << a : 0);
                break;
            case 0x25:
                ok = pop(&a) && pop(&b2) && push(a < 64 ? b2 >> a : 0);
                break;
            case 0x26:
                ok = pop(&a) && pop(&b2) && push(uint64_t(int64_t(b2) >> (a < 63 ? a : 63)));
                break;
            case 0x27:
                ok = pop(&a) && pop(&b2) && push(b2 ^ a);
                break;
            case 0x29:
            case 0x2a:
            case 0x2b:
            case 0x2c:
            case 0x2d:
            case 0x2e: {  // eq ge gt le lt ne, signed
                ok = pop(&a) && pop(&b2);
                const int64_t x = int64_t(b2), y = int64_t(a);
                const bool r = op == 0x29 ? x == y : op == 0x2a ? x >= y : op == 0x2b ? x > y
                             : op == 0x2c ? x <= y : op == 0x2d ? x < y : x != y;
                ok = ok && push(r ? 1 : 0);
                break;
            }
            case 0x2f:    // skip
            case 0x28: {  // bra
                int16_t offset;
                ok = c.read(&offset);
                if (ok && op == 0x28)
                    ok = pop(&a);
                if (ok && (op == 0x2f || a != 0)) {
                    const uint8_t* to = c.p + offset;
                    if (to < start || to > c.end)
                        return false;
                    c.p = to;
                }
                break;
            }
            case 0x92: {  // bregx
                uint64_t value;
                ok = c.uleb(&u) && c.sleb(&s) && CRKDwarfGetRegister(ctx, u, &value) && push(value + uint64_t(s));
                break;
            }
            case 0x94: {  // deref_size
                uint8_t size;
                ok = c.read(&size) && pop(&a);
                if (ok && (size == 1 || size == 2 || size == 4 || size == 8)) {
                    uint64_t v = 0;
                    ok = CRKReadMemory(reinterpret_cast<const void*>(a), &v, size) && push(v);
                } else if (ok) {
                    CRKSDKLog("%s: Error: unrecognized DW_OP_deref_size argument %x\n", __func__, unsigned(size));
                    ok = false;
                }
                break;
            }
            case 0x96:  // nop
                break;
            default:
                CRKSDKLog("%s: Error: Unrecognized DWARF expression opcode 0x%x\n", __func__, unsigned(op));
                return false;
            }
        }
        if (!ok) {
            CRKSDKLog("%s: Error: failed to execute DWARF machine opcode\n", __func__);
            return false;
        }
    }
    return pop(out);
}

