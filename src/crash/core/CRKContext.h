#pragma once

#include "crash/core/CRKRecords.h"

#include <cstdint>

// The process-wide crash context: prepared at start, then frozen read-only,
// plus one writable record for what changes later. Start here.

// What the crash kit's start hands over; lives only during the call. Every
// string is copied into the region. Host and application texts come from the
// Qt side (model, OS versions, bundle identity, documents folder).
struct CRKContextParameters {
    const char* reportPath = nullptr;  // the run's report folder
    const char* apiKey = nullptr;
    uint8_t firstInstall = 0;
    // Called on the crashing thread after the record is written, in signal
    // context: it must be async-signal-safe itself.
    void (*crashCallback)(void* delegate) = nullptr;
    void* delegate = nullptr;
    const char* sessionId = nullptr;
    const char* installId = nullptr;
    const char* betaToken = nullptr;
    uint32_t machExceptionExclusionMask = 0;
    uint8_t errorReportingEnabled = 1;
    uint8_t customExceptionsEnabled = 1;
    uint32_t maxCustomExceptions = 16;
    uint32_t errorLogBufferSize = 0;
    uint32_t logBufferSize = 65536;
    uint32_t maxCustomKeys = 16;
    const char* hostModel = nullptr;
    const char* osBuildVersion = nullptr;
    const char* osDisplayVersion = nullptr;
    const char* locale = nullptr;
    const char* bundleId = nullptr;
    const char* buildVersion = nullptr;
    const char* displayVersion = nullptr;
    const char* documentsPath = nullptr;
};

inline constexpr uint64_t kCRKStackSize = 262144;

struct CRKContext {
    uint8_t initialized;
    uint8_t debuggerAttached;
    const char* sdkLogPath;
    void* signalStack;
    void* machExceptionStack;
    void (*crashCallback)(void*);
    void* delegate;
    uint8_t firstInstall;
    const char* binaryImagesPath;
    CRKExceptionRecordState exception;
    const char* documentsPath;
    uint64_t pageSize;
    CRKSignalRecord signal;
    CRKMachExceptionRecord mach;
    CRKUserLoggingRecord logging;
    // Linux additions.
    const char* reportPath;
    const char* executablePath;
    int threadStateSignal;  // reserved real-time signal for other threads' registers
    int readPipe[2];        // fallback of the safe memory reader
};

struct CRKContextWritable {
    int debugLogFd;
    uint8_t crashBegun;
    int32_t claimingTid;
    CRKFile binaryImageFile;
    CRKBinaryImageNode images[kCRKBinaryImageSlots];
    const char* activeLogPath;
    const char* activeErrorPath;
    const char* activeCustomExceptionPath;
    uint32_t userKVCount;
    uint32_t internalKVCount;
    uint32_t errorCount;
    uint32_t customExceptionCount;
    // Other threads' registers at crash time; `threadRelease` is the futex
    // the answering threads park on until the record is done.
    uint32_t threadRelease;
    CRKThreadSlot threadSlots[kCRKThreadSlots];
    uint64_t imageAdds;
    uint64_t imageSubs;
};

// Builds the context, records images and metadata, and installs the
// handlers (unless a debugger is attached). Runs the set-up on the caller's
// thread, which gets the context's alternate signal stack. Not for crash
// time; call once.
void CRKContextInitialize(const CRKContextParameters* parameters);

// The context and writable record, or null before set-up. Safe anywhere.
CRKContext* CRKContextGet();
CRKContextWritable* CRKContextGetWritable();

// Whether set-up has finished. Safe to call from a signal handler.
bool CRKContextIsInitialized();

// Claims the crash for the calling thread. Answers true when a crash was
// already claimed (by any thread); false when this call claimed it or when
// there is no context. Safe to call from a signal handler.
bool CRKContextMarkAndCheckIfCrashed();

// Whether a crash was claimed, and by which thread. Safe anywhere.
bool CRKContextHasCrashed();
int CRKContextClaimingThread();

// The context's debugger flag.
bool CRKContextDebuggerAttached();
