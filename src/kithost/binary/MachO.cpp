#include "kithost/binary/MachO.h"

#include <cstring>

namespace {

constexpr uint32_t kFatMagic = 0xcafebabe;
constexpr uint32_t kFatCigam = 0xbebafeca;
constexpr uint32_t kMagic32 = 0xfeedface;
constexpr uint32_t kCigam32 = 0xcefaedfe;
constexpr uint32_t kMagic64 = 0xfeedfacf;
constexpr uint32_t kCigam64 = 0xcffaedfe;
constexpr size_t kFatHeaderSize = 8;
constexpr size_t kFatArchSize = 20;
constexpr size_t kHeaderSize32 = 28;
constexpr size_t kHeaderSize64 = 32;

constexpr int32_t kCpuArchABI64 = 0x01000000;
constexpr int32_t kCpuArchABI64_32 = 0x02000000;
constexpr int32_t kCpuTypeX86 = 7;
constexpr int32_t kCpuTypeARM = 12;
constexpr int32_t kCpuTypePowerPC = 18;
constexpr uint32_t kSubtypeCapabilityMask = 0xff000000u;

uint32_t readU32(const uint8_t* p, bool swapped)
{
    uint32_t v;
    std::memcpy(&v, p, sizeof v);
    return swapped ? __builtin_bswap32(v) : v;
}

uint32_t readBigEndianU32(const uint8_t* p)
{
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]);
}

struct ArchName {
    int32_t cputype;
    int32_t cpusubtype;
    const char* name;
};

// The names llvm-lipo prints, so that our map keys match what developers see.
constexpr ArchName kArchNames[] = {
    {kCpuTypeX86, 3, "i386"},
    {kCpuTypeX86 | kCpuArchABI64, 3, "x86_64"},
    {kCpuTypeX86 | kCpuArchABI64, 8, "x86_64h"},
    {kCpuTypeARM, 5, "armv4t"},
    {kCpuTypeARM, 6, "armv6"},
    {kCpuTypeARM, 7, "armv5e"},
    {kCpuTypeARM, 8, "xscale"},
    {kCpuTypeARM, 9, "armv7"},
    {kCpuTypeARM, 11, "armv7s"},
    {kCpuTypeARM, 12, "armv7k"},
    {kCpuTypeARM, 14, "armv6m"},
    {kCpuTypeARM, 15, "armv7m"},
    {kCpuTypeARM, 16, "armv7em"},
    {kCpuTypeARM | kCpuArchABI64, 0, "arm64"},
    {kCpuTypeARM | kCpuArchABI64, 2, "arm64e"},
    {kCpuTypeARM | kCpuArchABI64_32, 1, "arm64_32"},
    {kCpuTypePowerPC, 0, "ppc"},
    {kCpuTypePowerPC | kCpuArchABI64, 0, "ppc64"},
};

}  // namespace

int CRKMachOEnumerateSlices(const void* bytes, size_t length, CRKMachOSliceVisitor visitor,
                            void* context)
{
    if (!bytes || !visitor || length < 4)
        return 0;
    const auto* base = static_cast<const uint8_t*>(bytes);
    const uint32_t magic = readU32(base, false);

    if (magic == kFatMagic || magic == kFatCigam) {
        if (length < kFatHeaderSize)
            return 0;
        const uint32_t count = readBigEndianU32(base + 4);
        // A count whose table does not fit is not a fat file we can trust.
        if (count > (length - kFatHeaderSize) / kFatArchSize)
            return 0;
        int calls = 0;
        for (uint32_t i = 0; i < count; ++i) {
            const uint8_t* entry = base + kFatHeaderSize + size_t(i) * kFatArchSize;
            const uint32_t offset = readBigEndianU32(entry + 8);
            const uint32_t size = readBigEndianU32(entry + 12);
            if (offset >= length || size > length - offset)
                continue;
            CRKMachOSlice slice;
            slice.header = base + offset;
            slice.length = size;
            slice.cputype = int32_t(readBigEndianU32(entry));
            slice.cpusubtype = int32_t(readBigEndianU32(entry + 4));
            visitor(slice, context);
            ++calls;
        }
        return calls;
    }

    CRKMachOSlice slice;
    slice.header = base;
    slice.length = length;
    if ((magic == kMagic32 || magic == kCigam32 || magic == kMagic64 || magic == kCigam64)
        && length >= 12) {
        const bool swapped = magic == kCigam32 || magic == kCigam64;
        slice.cputype = int32_t(readU32(base + 4, swapped));
        slice.cpusubtype = int32_t(readU32(base + 8, swapped));
    }
    visitor(slice, context);
    return 1;
}

bool CRKMachOSliceEnumerateLoadCommands(CRKMachOSlice* slice, CRKMachOLoadCommandVisitor visitor,
                                        void* context)
{
    if (!slice || !visitor || !slice->header || slice->length < 4)
        return false;
    const uint8_t* header = slice->header;
    const uint32_t magic = readU32(header, false);
    size_t headerSize;
    bool swapped;
    switch (magic) {
    case kMagic32: headerSize = kHeaderSize32; swapped = false; break;
    case kCigam32: headerSize = kHeaderSize32; swapped = true; break;
    case kMagic64: headerSize = kHeaderSize64; swapped = false; break;
    case kCigam64: headerSize = kHeaderSize64; swapped = true; break;
    default: return false;
    }
    if (slice->length < headerSize)
        return false;
    slice->cputype = int32_t(readU32(header + 4, swapped));
    slice->cpusubtype = int32_t(readU32(header + 8, swapped));
    const uint32_t ncmds = readU32(header + 16, swapped);
    const uint32_t sizeofcmds = readU32(header + 20, swapped);
    if (sizeofcmds > slice->length - headerSize)
        return false;

    const uint8_t* cursor = header + headerSize;
    size_t left = sizeofcmds;
    for (uint32_t i = 0; i < ncmds; ++i) {
        // Every command is at least 8 bytes, so a cmdsize of 0 cannot loop
        // and ncmds cannot walk past sizeofcmds.
        if (left < 8)
            return false;
        CRKMachOLoadCommand command;
        command.type = readU32(cursor, swapped);
        command.size = readU32(cursor + 4, swapped);
        command.bytes = cursor;
        command.swapped = swapped;
        if (command.size < 8 || command.size > left)
            return false;
        visitor(command, context);
        cursor += command.size;
        left -= command.size;
    }
    return true;
}

bool CRKMachOSliceIs64Bit(const CRKMachOSlice& slice)
{
    return (slice.cputype & kCpuArchABI64) != 0;
}

const char* CRKMachOArchitectureName(int32_t cputype, int32_t cpusubtype)
{
    const int32_t subtype = int32_t(uint32_t(cpusubtype) & ~kSubtypeCapabilityMask);
    for (const ArchName& a : kArchNames) {
        if (a.cputype == cputype && a.cpusubtype == subtype)
            return a.name;
    }
    return "unknown";
}

const char* CRKMachOSliceArchitectureName(const CRKMachOSlice& slice)
{
    return CRKMachOArchitectureName(slice.cputype, slice.cpusubtype);
}

const uint8_t* CRKMachOUUIDCommandBytes(const CRKMachOLoadCommand& command)
{
    if (!command.bytes || command.type != kCRKMachOLoadCommandUUID || command.size < 24)
        return nullptr;
    return command.bytes + 8;
}

bool CRKMachOEncryptionCommandIsEncrypted(const CRKMachOLoadCommand& command)
{
    // cryptoff, cryptsize, cryptid follow cmd and cmdsize.
    if (!command.bytes || command.size < 20
        || (command.type != kCRKMachOLoadCommandEncryptionInfo
            && command.type != kCRKMachOLoadCommandEncryptionInfo64))
        return false;
    return readU32(command.bytes + 16, command.swapped) != 0;
}

CRKMachOVersion CRKMachOVersionFromPacked(uint32_t packed)
{
    CRKMachOVersion v;
    v.major = packed >> 16;
    v.minor = (packed >> 8) & 0xff;
    v.bugfix = packed & 0xff;
    return v;
}

bool CRKMachOVersionMinCommandMinimum(const CRKMachOLoadCommand& command, CRKMachOVersion* out)
{
    if (!command.bytes || !out || command.size < 16)
        return false;
    *out = CRKMachOVersionFromPacked(readU32(command.bytes + 8, command.swapped));
    return true;
}

bool CRKMachOVersionMinCommandSDK(const CRKMachOLoadCommand& command, CRKMachOVersion* out)
{
    if (!command.bytes || !out || command.size < 16)
        return false;
    *out = CRKMachOVersionFromPacked(readU32(command.bytes + 12, command.swapped));
    return true;
}
