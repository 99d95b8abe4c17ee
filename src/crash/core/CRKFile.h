#pragma once

#include <cstddef>
#include <cstdint>

// Writer of ".crkrecord" files: one JSON object per line, {"name":{...}}.
//
// Every function here is safe to call from a signal handler on an unbuffered
// file: only open, write, fstat and close run. A buffered file takes its
// 1000-byte buffer from the heap at open and frees it at close, so buffered
// files are for ordinary context only (user logs, keys, images).
//
// Plain strings are escaped as JSON (quote, backslash, control bytes), and
// bytes that are not UTF-8 become U+FFFD, so every line parses whatever a
// path, thread name or host text holds. Hex strings carry user text.
struct CRKFile {
    int fd = -1;
    int32_t depth = 0;
    bool needsComma = false;
    bool buffered = false;
    char* buffer = nullptr;
    uint64_t bufferedLength = 0;
    uint64_t offset = 0;
    uint64_t capacity = 0;
    bool ownsBuffer = false;  // from the heap, freed at close
};

inline constexpr size_t kCRKFileBufferSize = 1000;

// Opens for writing (0644, created), appending or truncating. In append mode
// the offset starts at the file's size.
bool CRKFileInitWithPathMode(CRKFile* file, const char* path, bool append, bool buffered);
bool CRKFileInit(CRKFile* file, const char* path, bool buffered);
// Appending, buffered in the caller's memory (a crash handler's stack) and
// written out at the end of every line, so a fault while recording loses at
// most the line it was writing. Safe to call from a signal handler.
bool CRKFileInitWithBuffer(CRKFile* file, const char* path, char* buffer, size_t capacity);
// Flushes, frees the buffer, closes. `outOffset` gets the bytes written in
// total (file size for append mode).
bool CRKFileCloseWithOffset(CRKFile* file, uint64_t* outOffset);
bool CRKFileClose(CRKFile* file);
bool CRKFileIsOpen(const CRKFile* file);
// Writes out what the buffer holds.
void CRKFileFlush(CRKFile* file);

void CRKFileWriteSectionStart(CRKFile* file, const char* name);
void CRKFileWriteSectionEnd(CRKFile* file);
void CRKFileWriteHashStart(CRKFile* file);
void CRKFileWriteHashEnd(CRKFile* file);
void CRKFileWriteArrayStart(CRKFile* file);
void CRKFileWriteArrayEnd(CRKFile* file);
void CRKFileWriteHashKey(CRKFile* file, const char* key);

void CRKFileWriteHashEntryUint64(CRKFile* file, const char* key, uint64_t value);
void CRKFileWriteHashEntryInt64(CRKFile* file, const char* key, int64_t value);
void CRKFileWriteHashEntryString(CRKFile* file, const char* key, const char* value);
// A plain string of at most `length` bytes (stops early at a zero byte).
void CRKFileWriteHashEntryStringN(CRKFile* file, const char* key, const char* value, size_t length);
void CRKFileWriteHashEntryHexEncodedString(CRKFile* file, const char* key, const char* value);
void CRKFileWriteHashEntryHexEncodedBytes(CRKFile* file, const char* key, const void* bytes, size_t length);
void CRKFileWriteHashEntryBoolean(CRKFile* file, const char* key, bool value);
void CRKFileWriteHashEntryNull(CRKFile* file, const char* key);

void CRKFileWriteArrayEntryUint64(CRKFile* file, uint64_t value);
void CRKFileWriteArrayEntryString(CRKFile* file, const char* value);
void CRKFileWriteArrayEntryHexEncodedString(CRKFile* file, const char* value);

// Raw bytes, no comma or quoting; for callers that build their own element.
void CRKFileWriteRaw(CRKFile* file, const char* bytes, size_t length);
