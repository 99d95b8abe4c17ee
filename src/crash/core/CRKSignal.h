#pragma once

#include "crash/core/CRKRecords.h"

#include <csignal>
#include <cstdint>

// Crash signals: SIGABRT, SIGBUS, SIGFPE, SIGILL, SIGSEGV, SIGSYS, SIGTRAP.
// The first thread to take one claims the crash, writes "signal.crkrecord"
// and the process state, puts the previous handlers back and lets the
// signal kill the process as it would have. There are no termination
// handlers (SIGTERM and the like are left alone).

// The handled signals in record order, with Linux numbers.
extern const int kCRKHandledSignals[kCRKHandledSignalCount];

// The macOS number written as "number" (SIGBUS 10, SIGSYS 12; the others are
// equal), and the names by that number ("UNKNOWN" otherwise).
int CRKSignalMacNumber(int signal);
const char* CRKSignalName(int macNumber);
const char* CRKSignalCodeName(int macNumber);

// Whether a signal was sent (kill, raise, tgkill, sigqueue) rather than
// raised by the hardware: returning from the handler does not bring a sent
// signal back. Safe to call from a signal handler.
bool CRKSignalWasSent(const siginfo_t* info);

// Deletes "signal.crkrecord", gives the calling thread the context's
// alternate stack, and installs the handlers, keeping the previous actions.
// Set-up only.
void CRKSignalInitialize(CRKSignalRecord* record);

// The installed handler.
void CRKSignalHandler(int signal, siginfo_t* info, void* context);

// Sets the default action for the handled signals (SIGABRT only when
// `includeFirst`). Safe to call from a signal handler.
bool CRKSignalSafeRemoveHandlers(bool includeFirst);

// Default actions, then every saved previous action back. Safe to call from
// a signal handler.
bool CRKSignalSafeInstallPreexistingHandlers(const CRKSignalRecord* record);

// Calls `block` with (index, Linux signal number) for each handled signal.
void CRKSignalEnumerateHandledSignals(void (*block)(int index, int signal, void* data), void* data);

// Start-up check: prints a warning to standard error for every handled signal
// whose handler is not ours. Not for crash time (dladdr).
void CRKSignalCheckHandlers();

// Gives the calling thread an alternate signal stack of its own (256 KB,
// freed when the thread ends) unless it has one: a stack overflow there is
// then recorded too. Threads the project starts call it first (the
// platform's thread-start hook). Not for crash time (maps memory).
void CRKSignalThreadStarted();

// Mach exceptions do not exist on Linux: faults arrive as signals. The set-up
// only logs; the mask and name tables remain for the report side.
void CRKMachExceptionInit(CRKMachExceptionRecord* record, uint32_t exclusionMask);
uint32_t CRKMachExceptionMaskForSignal(int macNumber);
const char* CRKMachExceptionName(uint32_t exception);
const char* CRKMachExceptionCodeName(uint32_t exception, uint64_t code);
