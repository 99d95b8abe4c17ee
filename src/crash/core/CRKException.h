#pragma once

#include "crash/core/CRKRecords.h"

#include <cstdint>

// Uncaught C++ exceptions (through std::terminate) and custom exceptions.
// None of this runs in signal context: the terminate handler runs on the
// throwing thread in ordinary context, may allocate (demangling) and locks;
// std::abort afterwards brings the SIGABRT record.

enum CRKExceptionType : uint32_t {
    kCRKExceptionObjC = 1,
    kCRKExceptionCpp = 2,
    kCRKExceptionJavaScript = 3,
    kCRKExceptionCustom = 4,
};

struct CRKExceptionFrame {
    uint64_t pc;
    const char* symbol;
    uint64_t offset;
    const char* library;
    const char* file;
    uint64_t line;
};

// Deletes "exception.crkrecord" and the custom exception file, installs the
// terminate handler (keeping the previous one), sets the custom exception
// count to 0. Set-up only.
void CRKExceptionInitialize(CRKExceptionRecordState* record, uint32_t customExceptionLimit);

// Records an exception. Types 1 and 2 write "exception.crkrecord" and the
// process state on the calling thread (it is the crashed one), under a lock;
// types 3 and 4 go to the custom exception A/B files.
void CRKExceptionRecord(uint32_t type, const char* name, const char* reason, const CRKExceptionFrame* frames,
                        uint32_t frameCount, bool notify);

// The installed terminate handler.
[[noreturn]] void CRKTerminateHandler();

// Start-up check: warns on standard error when std::terminate's handler is
// not ours.
void CRKExceptionCheckHandlers();

// The type name written for a type number ("unknown" otherwise).
const char* CRKExceptionTypeName(uint32_t type);
