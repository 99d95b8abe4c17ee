#pragma once

#include <cstddef>
#include <cstdint>

// Readers of ELF files and note segments over a (pointer, length) pair.
//
// Same contract as MachO.h: no allocation, no locks, no Qt, every offset and
// size checked against the length given; safe at crash time and from a
// signal handler, on any thread.

// What identifies an executable file on Linux: one slice, named from its
// e_machine, whose UUID is the GNU build-id.
struct CRKElfImageInfo {
    const char* architecture = nullptr;  // static string, see CRKElfMachineName
    const uint8_t* buildId = nullptr;    // inside the caller's bytes; null when absent
    size_t buildIdLength = 0;
};

// Whether the bytes begin with the ELF magic.
bool CRKElfIsElf(const void* bytes, size_t length);

// The architecture name for an e_machine value, in the names the Mach-O
// table uses ("x86_64", "arm64", "i386", "arm", ...); "unknown" otherwise.
const char* CRKElfMachineName(uint16_t machine);

// Reads a whole ELF file laid out as on disk (32 or 64-bit, either byte
// order): the machine name and the GNU build-id, found in the PT_NOTE
// segments, else in SHT_NOTE sections (objects without program headers).
// False when the bytes are not a readable ELF header; a file without a
// build-id still gives true with a null buildId.
bool CRKElfReadImageInfo(const void* bytes, size_t length, CRKElfImageInfo* out);

// Finds the NT_GNU_BUILD_ID note (owner "GNU") in a run of notes, e.g. a
// loaded PT_NOTE segment. `alignment` is the segment's p_align (8 pads names
// and descriptors to 8 bytes, anything else to 4).
bool CRKElfNotesFindGNUBuildId(const void* notes, size_t length, size_t alignment,
                               bool bigEndian, const uint8_t** id, size_t* idLength);
