#pragma once

#include <cstdint>

// A whole file mapped read-only. Open and close make system calls only
// (open, fstat, mmap, munmap, close): no allocation, no locks, so the crash
// core may use them; they are not async-signal-safe by POSIX's list (mmap).
struct CRKMappedFile {
    int fd = -1;
    uint64_t length = 0;
    const uint8_t* bytes = nullptr;
};

// Clears the record, opens `path` read-only and maps it whole. Only regular
// files of at least 16 bytes are mapped. True when mapped; on any failure
// the descriptor is closed again and the record stays cleared.
bool CRKMappedFileOpen(CRKMappedFile* file, const char* path);

// The running executable's file (/proc/self/exe).
bool CRKMappedFileOpenMainExecutable(CRKMappedFile* file);

// Unmaps (when mapped) and closes; the record is cleared. Safe on a cleared
// or failed record.
void CRKMappedFileClose(CRKMappedFile* file);
