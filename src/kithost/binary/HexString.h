#pragma once

#include <cstddef>

// Lower-case hexadecimal text of bytes, written into the caller's buffer.
// No allocation: safe at crash time and from a signal handler.
//
// `buffer` must hold 2 * length + 1 bytes. It is zero-filled first, then
// receives two digits ("0123456789abcdef") per byte and stays terminated.
// Nothing happens when `buffer` is null; with null `bytes` only the zero
// fill is done.
void KTHHexStringFromBytes(const void* bytes, size_t length, char* buffer);
