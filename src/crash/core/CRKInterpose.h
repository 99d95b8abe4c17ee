#pragma once

// Linked into the executable only (target mirvok_crashinterpose), never into
// a library: the executable's own definitions of pthread_sigmask,
// sigprocmask and pthread_create come before the C library's for every
// library, including those opened later (the link exports them), and each
// forwards to the next definition (dlsym RTLD_NEXT: the C library's, or a
// sanitizer's in front of it).
//
// - A thread may block every signal, but never the crash signals nor the
//   register-sampling signal: the kernel gives a synchronous fault on a thread
//   that blocks it the default action, so no handler would record it. A
//   crash in a graphics driver's or the main loop library's worker thread
//   (they block all signals) is recorded like any other.
// - Every new thread gets an alternate signal stack of its own before its
//   start routine runs (CRKSignalThreadStarted), so a stack overflow on a
//   thread some library started is recorded too.
//
// Threads that change their mask by a raw system call stay blocked; the
// recorder skips them (their mask is read from /proc) with the reason stated.

// Removes the signals no thread may block from `set` (a sigset_t). Exposed
// for tests.
void CRKInterposeKeepCrashSignals(void* set);
