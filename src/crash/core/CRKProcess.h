#pragma once

#include "crash/core/CRKFile.h"
#include "crash/core/CRKRecords.h"

// The process state appended to a crash record: threads with registers and
// stacks, runtime info, queue and thread names, memory and CPU figures,
// storage. Safe to call from a signal handler: no heap, no locks; other
// threads are held in the reserved signal's handler meanwhile.

inline constexpr int kCRKMaxTasks = 1024;

// Writes the process state after a crash line. `crashedContext` is the
// crashed thread's registers (from the signal's context, or captured by the
// caller on the exception path); the crashed thread is `crashedTid`.
void CRKHandler(CRKFile* file, int crashedTid, const CRKThreadContext* crashedContext);

// The "process_stats" line alone (from /proc and getrusage).
bool CRKProcessRecordStats(CRKFile* file);
