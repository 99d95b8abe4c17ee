#pragma once

#include "crash/core/CRKDwarf.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

// A bounded reader over call-frame and expression bytes, shared by the
// call-frame walker and the expression machine. Safe to use from a signal
// handler: no allocation, no locks, never reads outside [p, end).
namespace crkdwarf {

struct Cursor {
    const uint8_t* p;
    const uint8_t* end;

    bool has(size_t n) const { return p <= end && size_t(end - p) >= n; }
    template <class T>
    bool read(T* out)
    {
        if (!has(sizeof(T)))
            return false;
        memcpy(out, p, sizeof(T));
        p += sizeof(T);
        return true;
    }
    bool uleb(uint64_t* out) { return CRKDwarfReadULEB128(&p, end, out); }
    bool sleb(int64_t* out) { return CRKDwarfReadSLEB128(&p, end, out); }
};

}  // namespace crkdwarf
