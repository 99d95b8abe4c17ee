#pragma once

#include "kithost/binary/MachO.h"

#include <cstdint>

// Details of a Mach-O image slice, read from its bytes: identity, versions,
// the __TEXT size and where its unwind sections lie. Format code over bytes:
// no allocation, no locks, no system calls, so it is safe to call from a
// signal handler and testable on real files. Linux images go through
// CRKBinaryImage instead; these readers serve Mach-O files the report side
// is handed.

struct CRKMachOSectionInfo {
    uint64_t address = 0;
    uint64_t size = 0;
    uint32_t fileOffset = 0;
};

struct CRKBinaryImageDetails {
    char uuid[33] = {};  // 32 lower-case digits, "" without LC_UUID
    bool encrypted = false;
    CRKMachOVersion builtSDK;    // sdk field of the last LC_VERSION_MIN_* command
    CRKMachOVersion minimumSDK;  // version field of it
    uint64_t base = 0;           // header address (as loaded)
    uint64_t size = 0;           // __TEXT vmsize
    uint64_t ehFrame = 0;        // section addresses plus the slide; 0 when absent
    uint64_t unwindInfo = 0;
    uint64_t crashInfo = 0;
    CRKMachOSlice slice;
    int64_t slide = 0;
};

// Fills a details record whose slice and slide are set; base is the slice's
// header address. Nothing for a record or header below 4096.
void CRKBinaryImageFillDetails(CRKBinaryImageDetails* details);

// Address, size and file offset of segment,section in the slice. False when
// there is no such section.
bool CRKBinaryImageSectionInfo(const CRKMachOSlice& slice, const char* segment, const char* section,
                               CRKMachOSectionInfo* out);

// "%d.%d.%d" of a version into `out` (at least 36 bytes).
void CRKMachOVersionString(const CRKMachOVersion& version, char* out);
