#pragma once

#include "crash/core/CRKRecords.h"

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

// What the application and the kit remember during a run: log lines, custom
// keys, recorded errors and custom exceptions, appended to record files of
// the run's report folder. None of this runs at crash time: every function
// here may allocate and lock.

struct CRKUserLoggingPaths {
    const char* userIncremental = nullptr;
    const char* userCompacted = nullptr;
    const char* internalIncremental = nullptr;
    const char* internalCompacted = nullptr;
    const char* logA = nullptr;
    const char* logB = nullptr;
    const char* errorsA = nullptr;
    const char* errorsB = nullptr;
    const char* customExceptionA = nullptr;
    const char* customExceptionB = nullptr;
    uint32_t maxCustomKeys = 16;
    uint32_t logBufferSize = 65536;
    uint32_t maxErrors = 16;
    uint32_t maxCustomExceptions = 16;
};

inline constexpr uint32_t kCRKKVIncrementalLimit = 64;
inline constexpr uint32_t kCRKInternalMaxKeys = 32;

// Fills the record (A files active, counters 0, limits). Set-up only.
void CRKUserLoggingInit(CRKUserLoggingRecord* record, const CRKUserLoggingPaths* paths);

// A key of the application or of the kit; a null value removes the key at
// the next compaction. Written on the logging queue, waited for.
void CRKUserLoggingRecordUserKeyValue(const char* key, const char* value);
void CRKUserLoggingRecordInternalKeyValue(const char* key, const char* value);
// The same write on the caller's thread.
void CRKUserLoggingWriteInternalKeyValue(const char* key, const char* value);

// Appends one "kv" line; every 64th write compacts the store. Each store is
// serialised by its own lock, so writes from any thread never race with its
// compaction.
void CRKUserLoggingWriteKeyValue(const char* key, const char* value, const CRKUserLoggingKVStorage* store);

// Folds the incremental file into the compacted one: written to a hidden
// temporary file and renamed into place, so a crash mid-way loses nothing.
// Over the limit, the keys written longest ago go first.
void CRKUserLoggingCompactKVEntries(const CRKUserLoggingKVStorage* store);

// The (key, value) texts of a key-value file in file order, hex decoded; an
// absent value is reported as `hasValue` false. Damaged lines are skipped.
struct CRKKeyValue {
    std::string key;
    std::string value;
    bool hasValue = false;
};
std::vector<CRKKeyValue> CRKUserLoggingReadKVEntries(const char* path);

// Appends a "log" line (milliseconds since set-up).
void CRKUserLoggingRecordLogMessage(const char* message);

// Appends an "error" line with the caller's return addresses.
void CRKUserLoggingRecordError(const char* domain, int64_t code,
                               const std::vector<std::pair<std::string, std::string>>& info,
                               const std::vector<std::pair<std::string, std::string>>& extraInfo);

// The A/B write: the writer appends its line to the active file; once the
// store's limit is passed the other file is emptied and becomes active.
void CRKUserLoggingWriteAndCheckABFiles(const CRKUserLoggingABStorage* store,
                                        const std::function<void(CRKFile*)>& writer);
