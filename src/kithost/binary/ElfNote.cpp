#include "kithost/binary/ElfNote.h"

#include <cstring>

namespace {

constexpr uint32_t kPtNote = 4;
constexpr uint32_t kShtNote = 7;
constexpr uint32_t kNtGnuBuildId = 3;

struct Reader {
    const uint8_t* base;
    size_t length;
    bool bigEndian;

    bool fits(uint64_t offset, uint64_t size) const
    {
        return offset <= length && size <= length - offset;
    }
    uint16_t u16(size_t off) const
    {
        const uint8_t* p = base + off;
        return bigEndian ? uint16_t(p[0] << 8 | p[1]) : uint16_t(p[1] << 8 | p[0]);
    }
    uint32_t u32(size_t off) const
    {
        uint32_t v = 0;
        for (int i = 0; i < 4; ++i)
            v = (v << 8) | base[off + (bigEndian ? i : 3 - i)];
        return v;
    }
    uint64_t u64(size_t off) const
    {
        uint64_t v = 0;
        for (int i = 0; i < 8; ++i)
            v = (v << 8) | base[off + (bigEndian ? i : 7 - i)];
        return v;
    }
};

size_t alignUp(size_t v, size_t a)
{
    return (v + a - 1) & ~(a - 1);
}

}  // namespace

bool CRKElfIsElf(const void* bytes, size_t length)
{
    return bytes && length >= 4 && std::memcmp(bytes, "\x7f" "ELF", 4) == 0;
}

const char* CRKElfMachineName(uint16_t machine)
{
    switch (machine) {
    case 3: return "i386";
    case 40: return "arm";
    case 62: return "x86_64";
    case 183: return "arm64";
    case 243: return "riscv";
    default: return "unknown";
    }
}

bool CRKElfNotesFindGNUBuildId(const void* notes, size_t length, size_t alignment,
                               bool bigEndian, const uint8_t** id, size_t* idLength)
{
    if (!notes || !id || !idLength)
        return false;
    const size_t align = alignment == 8 ? 8 : 4;
    const Reader r{static_cast<const uint8_t*>(notes), length, bigEndian};
    size_t off = 0;
    while (r.fits(off, 12)) {
        const uint32_t namesz = r.u32(off);
        const uint32_t descsz = r.u32(off + 4);
        const uint32_t type = r.u32(off + 8);
        const size_t nameOff = off + 12;
        if (!r.fits(nameOff, namesz))
            return false;
        const size_t descOff = alignUp(nameOff + namesz, align);
        if (!r.fits(descOff, descsz))
            return false;
        if (type == kNtGnuBuildId && namesz == 4 && std::memcmp(r.base + nameOff, "GNU", 4) == 0
            && descsz > 0) {
            *id = r.base + descOff;
            *idLength = descsz;
            return true;
        }
        const size_t next = alignUp(descOff + descsz, align);
        if (next <= off)
            return false;
        off = next;
    }
    return false;
}

bool CRKElfReadImageInfo(const void* bytes, size_t length, CRKElfImageInfo* out)
{
    if (!out || !CRKElfIsElf(bytes, length) || length < 52)
        return false;
    const auto* base = static_cast<const uint8_t*>(bytes);
    const uint8_t cls = base[4];
    const uint8_t data = base[5];
    if ((cls != 1 && cls != 2) || (data != 1 && data != 2))
        return false;
    const bool is64 = cls == 2;
    if (is64 && length < 64)
        return false;
    const Reader r{base, length, data == 2};
    *out = CRKElfImageInfo();
    out->architecture = CRKElfMachineName(r.u16(18));

    const uint64_t phoff = is64 ? r.u64(32) : r.u32(28);
    const uint64_t shoff = is64 ? r.u64(40) : r.u32(32);
    const uint16_t phentsize = r.u16(is64 ? 54 : 42);
    const uint16_t phnum = r.u16(is64 ? 56 : 44);
    const uint16_t shentsize = r.u16(is64 ? 58 : 46);
    const uint16_t shnum = r.u16(is64 ? 60 : 48);

    auto tryNotes = [&](uint64_t off, uint64_t size, uint64_t align) {
        if (!r.fits(off, size))
            return false;
        return CRKElfNotesFindGNUBuildId(base + off, size_t(size), size_t(align), r.bigEndian,
                                         &out->buildId, &out->buildIdLength);
    };

    const size_t minPh = is64 ? 56 : 32;
    if (phentsize >= minPh && r.fits(phoff, uint64_t(phentsize) * phnum)) {
        for (uint16_t i = 0; i < phnum; ++i) {
            const size_t p = size_t(phoff) + size_t(i) * phentsize;
            if (r.u32(p) != kPtNote)
                continue;
            const uint64_t off = is64 ? r.u64(p + 8) : r.u32(p + 4);
            const uint64_t size = is64 ? r.u64(p + 32) : r.u32(p + 16);
            const uint64_t align = is64 ? r.u64(p + 48) : r.u32(p + 28);
            if (tryNotes(off, size, align))
                return true;
        }
    }
    const size_t minSh = is64 ? 64 : 40;
    if (shentsize >= minSh && r.fits(shoff, uint64_t(shentsize) * shnum)) {
        for (uint16_t i = 0; i < shnum; ++i) {
            const size_t s = size_t(shoff) + size_t(i) * shentsize;
            if (r.u32(s + 4) != kShtNote)
                continue;
            const uint64_t off = is64 ? r.u64(s + 24) : r.u32(s + 16);
            const uint64_t size = is64 ? r.u64(s + 32) : r.u32(s + 20);
            const uint64_t align = is64 ? r.u64(s + 48) : r.u32(s + 32);
            if (tryNotes(off, size, align))
                return true;
        }
    }
    return true;
}
