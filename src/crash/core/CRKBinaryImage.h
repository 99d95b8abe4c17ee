#pragma once

#include "crash/core/CRKRecords.h"

#include <cstddef>
#include <cstdint>

// Loaded images: a fixed table in the writable record for crash-time lookup,
// and one line per load or unload in "binary_images.crkrecord".
//
// Linux has no load callback: the binary-images queue walks dl_iterate_phdr
// at start, then whenever the loader's add/remove counters move (polled each
// second and before each exception or error record).

// Clears the table, records every image already loaded (on the calling
// thread, so lookups work before the first crash), starts the poll. Not for
// crash time.
void CRKBinaryImageInit(const char* logPath);

// Re-reads the loaded images if the loader's counters moved; waits for the
// lines. Not for crash time (allocates, takes the queue's lock).
void CRKBinaryImagePollNow();

// The image holding `address` (base <= address < base + size). The first
// matching slot wins. Safe to call from a signal handler.
bool CRKBinaryImageSafeFindImageForAddress(uintptr_t address, CRKBinaryImageNode* outNode);

// The currently loaded image whose uuid (32 digits) is `uuid`, for the
// symbol resolver; `path` (of `pathSize` bytes) receives its file path.
// Not for crash time (walks the loader's list).
bool CRKBinaryImageFindImageForUUID(const char* uuid, CRKBinaryImageNode* outNode, char* path, size_t pathSize);

// Writes the "executable" line of "metadata.crkrecord". Not for crash time.
bool CRKBinaryImageRecordExecutable(CRKFile* file);

// Writes "uuid", "base", "size" of an image into an open object.
void CRKBinaryImageRecordDetails(CRKFile* file, const char* uuid, uint64_t base, uint64_t size);
