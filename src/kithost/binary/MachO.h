#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

// Readers of Mach-O files (thin and fat) over a (pointer, length) pair.
//
// Contract for every function in this header: no allocation, no locks, no
// Qt, no exceptions, no global state. Every count, offset and size in the
// bytes is checked against the length the caller passes, so damaged or
// hostile input gives "nothing found" (false, null, no visitor call), never a
// read outside the range. They are therefore safe to call at crash time and
// from a signal handler, on any thread.
//
// Byte order: headers whose magic reads swapped (a file of the other
// endianness) are read in the file's order, load commands included.

struct CRKMachOVersion {
    uint32_t major = 0;
    uint32_t minor = 0;
    uint32_t bugfix = 0;
};

// One architecture of a file: the Mach-O header inside the bytes and how many
// bytes belong to it. For a fat file cputype/cpusubtype come from the fat
// entry; for a thin file from its header; for anything else both are 0.
struct CRKMachOSlice {
    const uint8_t* header = nullptr;
    size_t length = 0;
    int32_t cputype = 0;
    int32_t cpusubtype = 0;
};

// A load command as found by CRKMachOSliceEnumerateLoadCommands. `bytes`
// points at the command itself (its cmd field) and `size` bytes of it are
// inside the slice; `swapped` tells the accessors below how to read fields.
struct CRKMachOLoadCommand {
    uint32_t type = 0;
    uint32_t size = 0;
    const uint8_t* bytes = nullptr;
    bool swapped = false;
};

inline constexpr uint32_t kCRKMachOLoadCommandUUID = 0x1b;
inline constexpr uint32_t kCRKMachOLoadCommandVersionMinMacOSX = 0x24;
inline constexpr uint32_t kCRKMachOLoadCommandVersionMinIPhoneOS = 0x25;
inline constexpr uint32_t kCRKMachOLoadCommandEncryptionInfo = 0x21;
inline constexpr uint32_t kCRKMachOLoadCommandEncryptionInfo64 = 0x2c;

using CRKMachOSliceVisitor = void (*)(const CRKMachOSlice& slice, void* context);
using CRKMachOLoadCommandVisitor = void (*)(const CRKMachOLoadCommand& command, void* context);

// Calls `visitor` once per slice, in file order:
// - a fat file (0xcafebabe in either byte order; entries big-endian): one
//   call per entry whose offset and size lie inside `length`; entries that
//   do not are skipped, and a count whose table would not fit is rejected;
// - a thin file (MH_MAGIC, MH_MAGIC_64 or swapped): one call with the header;
// - anything else of at least 4 bytes: one call with cputype/cpusubtype 0.
// Returns the number of calls made. Null bytes or visitor: no call, 0.
int CRKMachOEnumerateSlices(const void* bytes, size_t length, CRKMachOSliceVisitor visitor,
                            void* context);

// Walks the load commands of a slice's header. Stops at the first command
// that is malformed: cmdsize below 8, or a command reaching past sizeofcmds
// or past the slice. Fills the slice's cputype/cpusubtype from the header.
// Returns true when all ncmds commands were walked (zero commands: true, no
// call); false for a null slice/visitor, an unknown magic, a header that does
// not fit, or a malformed command (the commands before it were visited).
bool CRKMachOSliceEnumerateLoadCommands(CRKMachOSlice* slice, CRKMachOLoadCommandVisitor visitor,
                                        void* context);

// Whether the slice's cputype carries the 64-bit ABI flag.
bool CRKMachOSliceIs64Bit(const CRKMachOSlice& slice);

// The architecture name of (cputype, cpusubtype) as llvm-lipo prints it:
// "x86_64", "arm64", "armv7s", ...; "unknown" when not in our table. The
// capability bits of the subtype (its top byte) are ignored. Returns a
// static string.
const char* CRKMachOArchitectureName(int32_t cputype, int32_t cpusubtype);
const char* CRKMachOSliceArchitectureName(const CRKMachOSlice& slice);

// The 16 UUID bytes of an LC_UUID command; null when the command is not an
// LC_UUID or is shorter than 24 bytes.
const uint8_t* CRKMachOUUIDCommandBytes(const CRKMachOLoadCommand& command);

// Whether an LC_ENCRYPTION_INFO(_64) command has a non-zero cryptid; false
// for any other or a too short command.
bool CRKMachOEncryptionCommandIsEncrypted(const CRKMachOLoadCommand& command);

// The version and sdk fields of an LC_VERSION_MIN_* command (packed X.Y.Z:
// bits 31-16, 15-8, 7-0). False and `out` untouched when the command is
// shorter than 16 bytes.
bool CRKMachOVersionMinCommandMinimum(const CRKMachOLoadCommand& command, CRKMachOVersion* out);
bool CRKMachOVersionMinCommandSDK(const CRKMachOLoadCommand& command, CRKMachOVersion* out);
CRKMachOVersion CRKMachOVersionFromPacked(uint32_t packed);

// Convenience forms taking any callable; the callable is used in place, not
// copied, so these allocate nothing either.
template <class F>
int CRKMachOEnumerateSlices(const void* bytes, size_t length, F&& f)
{
    using Fn = std::remove_reference_t<F>;
    return CRKMachOEnumerateSlices(
        bytes, length, [](const CRKMachOSlice& s, void* c) { (*static_cast<Fn*>(c))(s); },
        const_cast<void*>(static_cast<const void*>(&f)));
}

template <class F>
bool CRKMachOSliceEnumerateLoadCommands(CRKMachOSlice* slice, F&& f)
{
    using Fn = std::remove_reference_t<F>;
    return CRKMachOSliceEnumerateLoadCommands(
        slice, [](const CRKMachOLoadCommand& cmd, void* c) { (*static_cast<Fn*>(c))(cmd); },
        const_cast<void*>(static_cast<const void*>(&f)));
}
