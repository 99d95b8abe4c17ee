#pragma once

#include "crash/core/CRKRecords.h"

#include <ucontext.h>

// Registers of every thread at crash time. Linux has no call that reads
// another thread's registers from inside the process, so the recording
// thread sends each other thread a reserved real-time signal (tgkill); that
// thread's handler copies its interrupted context into a preallocated slot
// and parks on a futex until the record is done. A thread that blocks the
// signal (its "SigBlk" in /proc) is not asked; one that has not answered
// within 100 ms is written without registers, each with its reason.

// Picks the reserved signal and installs its handler. Set-up only.
void CRKThreadStateInitialize();

// Lists the process's threads (getdents64 on /proc/self/task) in the
// kernel's order. Safe to call from a signal handler.
int CRKThreadListTasks(int* tids, int maximum);

// Asks every listed thread except the caller that does not block the signal
// for its registers and waits up to 100 ms in total for those asked. Safe to call from a signal handler.
void CRKThreadStateCollect(const int* tids, int count);

// The registers a thread handed over; false when it did not answer.
bool CRKThreadStateGet(int tid, CRKThreadContext* out);

// Why a thread has no registers: "signal blocked", "thread ended", "no
// answer", "not asked"; "" when it answered. Safe to call from a signal
// handler.
const char* CRKThreadStateMissingReason(int tid);

// Lets the parked threads go on. Safe to call from a signal handler.
void CRKThreadStateRelease();

// The 21 registers of an interrupted x86-64 context.
void CRKThreadContextFromUContext(const ucontext_t* uc, CRKThreadContext* out);

// Reads a thread's name ("comm") into `out` (at least 17 bytes), without the
// newline; "" when unreadable. Safe to call from a signal handler.
void CRKThreadReadName(int tid, char* out, unsigned long size);
