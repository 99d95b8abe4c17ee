#pragma once

#include <cstddef>
#include <cstdint>

// Small operations shared by the crash-time core. Unless a line says
// otherwise, each is safe to call from a signal handler: no heap, no locks,
// only system calls.

// Two lower-case hexadecimal digits of `byte`; nothing for a null out.
void CRKHexEncodeByte(uint8_t byte, char* out);

// Zero-fills 2 * length + 1 bytes of `buffer`, then two digits per byte.
void CRKHexEncodeBytes(const void* bytes, size_t length, char* buffer);

// Copies `length` bytes of the own process's memory through the kernel, so an
// unmapped source fails instead of faulting. A source below 4096 fails; so
// does a short copy. Uses process_vm_readv, or a pipe (EFAULT) where that
// is refused.
bool CRKReadMemory(const void* source, void* destination, size_t length);
// While on, the calling thread's reads within one page are served from the
// last page it read (one system call per page, not per word): only for
// memory that cannot change meanwhile, such as the stacks of threads parked
// while a crash is recorded, by the one thread holding the crash claim.
// Safe to call from a signal handler.
void CRKReadMemoryCachePages(bool on);

// Reads a zero-terminated string of at most `maximum` bytes (terminator
// included) into `out`. False at the first unreadable byte, an address below
// 4096, or when no terminator is found within `maximum`; `out` is always
// terminated.
bool CRKReadString(const char* string, char* out, size_t maximum);

// Copies a C string into the read-only part of the crash-time region (heap
// memory once the region is frozen). Null for a null string. Not for crash
// time: it may fall back to the heap.
const char* CRKDuplicateString(const char* string);

// Deletes a file; a missing file counts as success.
bool CRKFileUnlink(const char* path);

// Monotonic time in nanoseconds, and milliseconds elapsed since a mark.
uint64_t CRKProfileMark();
double CRKProfileEndWithMark(uint64_t mark);

// Seconds since the epoch.
uint64_t CRKTimeNow();

// The kernel's id of the calling thread.
int CRKThreadId();

// Joins `folder` and `name` into `out` (of `size` bytes). False when it does
// not fit.
bool CRKPathJoin(char* out, size_t size, const char* folder, const char* name);

// Asks the dynamic loader for the symbol and image holding `address` and
// calls `block` with them ("unknown" for a missing one), or with two nulls
// when the loader knows nothing. Not for crash time (dladdr may lock).
void CRKDescribeFunctionAddress(const void* address, void (*block)(const char* symbol, const char* image, void* data),
                                void* data);
