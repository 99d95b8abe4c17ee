#pragma once

#include <cstddef>
#include <cstdint>

// The crash-time region: one anonymous mapping laid out as
//   guard page | writable part | guard page | read-only part | guard page.
// Everything a crash handler needs is carved from it at start; the read-only
// part is frozen once set-up is done, so a stray write cannot corrupt the
// handlers' configuration.
//
// None of these may run at crash time: they map, protect and may fall back
// to the heap.

struct CRKAllocatorRegion {
    uint64_t size;
    uintptr_t start;
    uintptr_t next;  // only grows
};

struct CRKAllocator {
    uintptr_t base;
    uint8_t isProtected;
    CRKAllocatorRegion writable;
    CRKAllocatorRegion readOnly;
    uint64_t mappingSize;
};

enum CRKAllocationKind { kCRKAllocationReadOnly = 0, kCRKAllocationWritable = 1 };

// Maps the region: each size rounded up to whole pages strictly above it
// (0 stays 0; the read-only part also holds this record). Null on failure.
CRKAllocator* CRKAllocatorCreate(size_t writableSize, size_t readOnlySize);

// Bump allocation from one part, lock-free, 16-byte aligned. Falls back to
// the heap (with a debug-log line) for a missing or frozen allocator, or when
// the part is full.
void* CRKAllocatorSafeAllocate(CRKAllocator* allocator, size_t size, int kind);
void* CRKAllocatorSafeAllocateFromRegion(CRKAllocatorRegion* region, size_t size);

// Makes the read-only part read-only. True also when already frozen.
bool CRKAllocatorProtect(CRKAllocator* allocator);

// The process's one allocator, set by the context set-up.
CRKAllocator* CRKAllocatorGet();
void CRKAllocatorSet(CRKAllocator* allocator);
