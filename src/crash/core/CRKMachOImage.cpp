#include "crash/core/CRKMachOImage.h"

#include "crash/core/CRKUtilities.h"

#include <cstring>

namespace {

constexpr uint32_t kSegment = 0x1;
constexpr uint32_t kSegment64 = 0x19;
constexpr uint32_t kVersionMinTVOS = 0x2f;
constexpr uint32_t kVersionMinWatchOS = 0x30;

uint32_t u32(const CRKMachOLoadCommand& c, size_t at)
{
    uint32_t v;
    memcpy(&v, c.bytes + at, 4);
    return c.swapped ? __builtin_bswap32(v) : v;
}

uint64_t u64(const CRKMachOLoadCommand& c, size_t at)
{
    uint64_t v;
    memcpy(&v, c.bytes + at, 8);
    return c.swapped ? __builtin_bswap64(v) : v;
}

bool nameIs(const uint8_t* field, const char* name)
{
    return strncmp(reinterpret_cast<const char*>(field), name, 16) == 0;
}

// Calls f(sectionOffsetInCommand) for each section header of a segment
// command whose segment name matches; gives the segment's vmsize.
struct Segment {
    bool is64 = false;
    uint32_t sections = 0;
    size_t headerSize = 0, sectionSize = 0;
};

bool readSegment(const CRKMachOLoadCommand& c, Segment* s)
{
    if (c.type == kSegment64 && c.size >= 72) {
        *s = {true, u32(c, 64), 72, 80};
    } else if (c.type == kSegment && c.size >= 56) {
        *s = {false, u32(c, 48), 56, 68};
    } else {
        return false;
    }
    // Sections that would reach past the command are not read.
    const uint64_t room = (c.size - s->headerSize) / s->sectionSize;
    if (s->sections > room)
        s->sections = uint32_t(room);
    return true;
}

}  // namespace

bool CRKBinaryImageSectionInfo(const CRKMachOSlice& sliceIn, const char* segment, const char* section,
                               CRKMachOSectionInfo* out)
{
    if (!out || !segment || !section)
        return false;
    CRKMachOSlice slice = sliceIn;
    bool found = false;
    CRKMachOSliceEnumerateLoadCommands(&slice, [&](const CRKMachOLoadCommand& c) {
        Segment s;
        if (found || !readSegment(c, &s) || !nameIs(c.bytes + 8, segment))
            return;
        for (uint32_t i = 0; i < s.sections; ++i) {
            const size_t at = s.headerSize + i * s.sectionSize;
            if (!nameIs(c.bytes + at, section))
                continue;
            if (s.is64) {
                out->address = u64(c, at + 32);
                out->size = u64(c, at + 40);
                out->fileOffset = u32(c, at + 48);
            } else {
                out->address = u32(c, at + 32);
                out->size = u32(c, at + 36);
                out->fileOffset = u32(c, at + 40);
            }
            found = true;
            return;
        }
    });
    return found;
}

void CRKBinaryImageFillDetails(CRKBinaryImageDetails* d)
{
    if (reinterpret_cast<uintptr_t>(d) < 4096 || reinterpret_cast<uintptr_t>(d->slice.header) < 4096)
        return;
    d->base = reinterpret_cast<uintptr_t>(d->slice.header);
    CRKMachOSlice slice = d->slice;
    CRKMachOSliceEnumerateLoadCommands(&slice, [&](const CRKMachOLoadCommand& c) {
        Segment s;
        if (readSegment(c, &s) && nameIs(c.bytes + 8, "__TEXT"))
            d->size = s.is64 ? u64(c, 32) : u32(c, 28);
        if (const uint8_t* uuid = CRKMachOUUIDCommandBytes(c))
            CRKHexEncodeBytes(uuid, 16, d->uuid);
        if (CRKMachOEncryptionCommandIsEncrypted(c))
            d->encrypted = true;
        if (c.type == kCRKMachOLoadCommandVersionMinMacOSX || c.type == kCRKMachOLoadCommandVersionMinIPhoneOS
            || c.type == kVersionMinTVOS || c.type == kVersionMinWatchOS) {
            // The last one wins; LC_BUILD_VERSION is not read.
            CRKMachOVersionMinCommandMinimum(c, &d->minimumSDK);
            CRKMachOVersionMinCommandSDK(c, &d->builtSDK);
        }
    });
    d->slice.cputype = slice.cputype;
    d->slice.cpusubtype = slice.cpusubtype;
    CRKMachOSectionInfo info;
    if (CRKBinaryImageSectionInfo(d->slice, "__TEXT", "__unwind_info", &info))
        d->unwindInfo = info.address + uint64_t(d->slide);
    if (CRKBinaryImageSectionInfo(d->slice, "__TEXT", "__eh_frame", &info))
        d->ehFrame = info.address + uint64_t(d->slide);
    if (CRKBinaryImageSectionInfo(d->slice, "__DATA", "__crash_info", &info))
        d->crashInfo = info.address + uint64_t(d->slide);
}

void CRKMachOVersionString(const CRKMachOVersion& v, char* out)
{
    if (!out)
        return;
    char* p = out;
    const uint32_t parts[3] = {v.major, v.minor, v.bugfix};
    for (int i = 0; i < 3; ++i) {
        char digits[12];
        int n = 0;
        uint32_t x = parts[i];
        do {
            digits[n++] = char('0' + x % 10);
            x /= 10;
        } while (x);
        while (n)
            *p++ = digits[--n];
        if (i < 2)
            *p++ = '.';
    }
    *p = 0;
}
