#pragma once

#include "crash/core/CRKContext.h"

// Host and run identity.

// Whether a tracer is attached (TracerPid of /proc/self/status). Reads a
// file with open/read only; not used at crash time.
bool CRKProcessDebuggerAttached();

// 4096 on every platform we run on; logs when the kernel says otherwise.
uint64_t CRKHostGetPageSize();

// Stores the page size and documents folder in the context. Set-up only.
void CRKHostInitialize(const CRKContextParameters* parameters);

// Writes "metadata.crkrecord": identity, host, application, executable.
// Set-up only (allocates through the image walk).
void CRKContextRecordMetadata(const CRKContextParameters* parameters);

// The "storage" line: free and total bytes of the documents folder's file
// system, an empty object when that fails. Safe to call from a signal
// handler (statfs).
void CRKHostRecordStorage(CRKFile* file);

// Reads the first line of /proc/cpuinfo's "model name" (or a file's whole
// first line) into `out`. Safe to call from a signal handler.
bool CRKHostReadProcField(const char* path, const char* key, char* out, unsigned long size);
