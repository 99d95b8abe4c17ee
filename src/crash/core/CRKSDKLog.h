#pragma once

// The crash-time core's debug log, "sdk.log" in the run's report folder.
//
// CRKSDKLog is safe to call from a signal handler, on any thread, with no
// lock: it formats into a stack buffer and hands each line to the kernel in
// one write (short writes and EINTR are retried). Before the context exists
// nothing is written. Directives: %d %u %x (32-bit), %p (0x and 64-bit hex),
// %s ("(null)" for null), %c, %lu %llu %ld %lld %lx %llx %zu (64-bit). Any
// other "%" sequence is copied as its two characters and takes no argument.
void CRKSDKLog(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Writes all of `length` bytes, retrying short writes and EINTR. Safe to
// call from a signal handler. False when the descriptor stops accepting.
bool CRKWriteAll(int fd, const void* bytes, unsigned long length);
