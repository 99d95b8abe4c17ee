#include "crash/core/CRKFile.h"

#include "crash/core/CRKSDKLog.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

bool CRKFileInitWithPathMode(CRKFile* file, const char* path, bool append, bool buffered)
{
    if (!file) {
        CRKSDKLog("%s: Error: file is null\n", __func__);
        return false;
    }
    *file = CRKFile();
    if (path) {
        const int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (append ? O_APPEND : O_TRUNC);
        do {
            file->fd = open(path, flags, 0644);
        } while (file->fd < 0 && errno == EINTR);
        if (file->fd < 0)
            CRKSDKLog("%s: Error: Unable to open file %s\n", __func__, path);
    }
    if (file->fd < 0) {
        CRKSDKLog("%s: Error: file descriptor invalid\n", "CRKFileInit");
        return false;
    }
    if (append) {
        struct stat st;
        if (fstat(file->fd, &st) == 0)
            file->offset = uint64_t(st.st_size);
    }
    if (buffered) {
        file->buffer = static_cast<char*>(malloc(kCRKFileBufferSize));
        file->buffered = file->ownsBuffer = file->buffer != nullptr;
        file->capacity = kCRKFileBufferSize;
    }
    return true;
}

bool CRKFileInitWithBuffer(CRKFile* file, const char* path, char* buffer, size_t capacity)
{
    if (!CRKFileInitWithPathMode(file, path, true, false))
        return false;
    if (buffer && capacity > 1) {
        file->buffer = buffer;
        file->capacity = capacity;
        file->buffered = true;
    }
    return true;
}

bool CRKFileInit(CRKFile* file, const char* path, bool buffered)
{
    return CRKFileInitWithPathMode(file, path, true, buffered);
}

bool CRKFileIsOpen(const CRKFile* file)
{
    return reinterpret_cast<uintptr_t>(file) >= 4096 && file->fd >= 0;
}

void CRKFileFlush(CRKFile* file)
{
    if (!CRKFileIsOpen(file) || !file->buffered || file->bufferedLength == 0)
        return;
    if (CRKWriteAll(file->fd, file->buffer, file->bufferedLength))
        file->offset += file->bufferedLength;
    file->bufferedLength = 0;
}

bool CRKFileCloseWithOffset(CRKFile* file, uint64_t* outOffset)
{
    if (reinterpret_cast<uintptr_t>(file) < 4096)
        return false;
    CRKFileFlush(file);
    if (file->buffer) {
        if (file->ownsBuffer)
            free(file->buffer);
        file->buffer = nullptr;
        file->buffered = false;
    }
    if (outOffset)
        *outOffset = file->offset;
    if (file->fd >= 0 && close(file->fd) != 0 && errno != EINTR) {
        CRKSDKLog("%s: Error: Unable to close file %d\n", "CRKFileCloseWithOffset", file->fd);
        return false;
    }
    *file = CRKFile();
    return true;
}

bool CRKFileClose(CRKFile* file)
{
    return CRKFileCloseWithOffset(file, nullptr);
}

void CRKFileWriteRaw(CRKFile* file, const char* bytes, size_t length)
{
    if (!CRKFileIsOpen(file) || !bytes)
        return;
    if (!file->buffered) {
        // Retried on short writes: a record cut short loses every later line.
        if (CRKWriteAll(file->fd, bytes, length))
            file->offset += length;
        return;
    }
    while (file->bufferedLength + length >= file->capacity) {
        const size_t room = file->capacity - 1 - file->bufferedLength;
        memcpy(file->buffer + file->bufferedLength, bytes, room);
        file->bufferedLength += room;
        CRKFileFlush(file);
        bytes += room;
        length -= room;
    }
    memcpy(file->buffer + file->bufferedLength, bytes, length);
    file->bufferedLength += length;
}

namespace {

void raw(CRKFile* file, const char* s)
{
    CRKFileWriteRaw(file, s, strlen(s));
}

void comma(CRKFile* file)
{
    if (file->needsComma)
        raw(file, ",");
}

void writeUnsigned(CRKFile* file, uint64_t value)
{
    char digits[21];
    int n = 20;
    do {
        digits[--n] = char('0' + value % 10);
        value /= 10;
    } while (value != 0);
    CRKFileWriteRaw(file, digits + n, size_t(20 - n));
}

void writeSigned(CRKFile* file, int64_t value)
{
    if (value < 0) {
        raw(file, "-");
        writeUnsigned(file, 0 - uint64_t(value));
    } else {
        writeUnsigned(file, uint64_t(value));
    }
}

// Length of the valid UTF-8 sequence at p (at most `left` bytes), or 0 with
// `*skip` set to the bytes one U+FFFD stands for: the longest start of a
// valid sequence (a cut character is one replacement, not one per byte).
size_t utf8Length(const uint8_t* p, size_t left, size_t* skip)
{
    const uint8_t c = p[0];
    *skip = 1;
    if (c < 0x80)
        return 1;
    size_t n;
    if (c >= 0xc2 && c <= 0xdf)
        n = 2;
    else if (c >= 0xe0 && c <= 0xef)
        n = 3;
    else if (c >= 0xf0 && c <= 0xf4)
        n = 4;
    else
        return 0;
    // The second byte's range excludes overlong forms, surrogates and
    // values above U+10FFFF.
    const uint8_t low = c == 0xe0 ? 0xa0 : c == 0xf0 ? 0x90 : 0x80;
    const uint8_t high = c == 0xed ? 0x9f : c == 0xf4 ? 0x8f : 0xbf;
    size_t i = 1;
    for (; i < n && i < left; ++i) {
        const uint8_t b = p[i];
        if (i == 1 ? (b < low || b > high) : (b & 0xc0) != 0x80)
            break;
    }
    if (i == n)
        return n;
    *skip = i;
    return 0;
}

// A quoted JSON string; output is gathered in a stack chunk so a short value
// is one write.
void writeQuoted(CRKFile* file, const char* value, size_t maxLength)
{
    char chunk[128] = {};
    size_t used = 0;
    auto put = [&](const char* s, size_t n) {
        if (used + n > sizeof(chunk)) {
            CRKFileWriteRaw(file, chunk, used);
            used = 0;
        }
        memcpy(chunk + used, s, n);
        used += n;
    };
    put("\"", 1);
    const uint8_t* p = reinterpret_cast<const uint8_t*>(value);
    size_t length = strnlen(value, maxLength);
    size_t i = 0;
    while (i < length) {
        const uint8_t c = p[i];
        if (c == '"' || c == '\\') {
            const char esc[2] = {'\\', char(c)};
            put(esc, 2);
            ++i;
        } else if (c < 0x20) {
            char esc[6] = {'\\', 'u', '0', '0', "0123456789abcdef"[c >> 4], "0123456789abcdef"[c & 0xf]};
            if (c == '\n')
                put("\\n", 2);
            else if (c == '\t')
                put("\\t", 2);
            else
                put(esc, 6);
            ++i;
        } else {
            size_t skip;
            const size_t n = utf8Length(p + i, length - i, &skip);
            if (n == 0) {
                put("\xef\xbf\xbd", 3);
                i += skip;
            } else {
                put(value + i, n);
                i += n;
            }
        }
    }
    put("\"", 1);
    CRKFileWriteRaw(file, chunk, used);
}

void writeHex(CRKFile* file, const void* bytes, size_t length)
{
    raw(file, "\"");
    char chunk[32] = {};
    const uint8_t* p = static_cast<const uint8_t*>(bytes);
    size_t used = 0;
    for (size_t i = 0; i < length; ++i) {
        chunk[used++] = "0123456789abcdef"[p[i] >> 4];
        chunk[used++] = "0123456789abcdef"[p[i] & 0xf];
        if (used == sizeof(chunk)) {
            CRKFileWriteRaw(file, chunk, used);
            used = 0;
        }
    }
    CRKFileWriteRaw(file, chunk, used);
    raw(file, "\"");
}

void closeContainer(CRKFile* file, const char* closer)
{
    raw(file, closer);
    const int32_t before = file->depth;
    if (file->depth > 0)
        --file->depth;
    file->needsComma = before > 1;
}

}  // namespace

void CRKFileWriteSectionStart(CRKFile* file, const char* name)
{
    if (!CRKFileIsOpen(file))
        return;
    raw(file, "{");
    writeQuoted(file, name, SIZE_MAX);
    raw(file, ":");
    file->needsComma = false;
}

void CRKFileWriteHashStart(CRKFile* file)
{
    if (!CRKFileIsOpen(file))
        return;
    comma(file);
    raw(file, "{");
    ++file->depth;
    file->needsComma = false;
}

void CRKFileWriteHashEnd(CRKFile* file)
{
    if (CRKFileIsOpen(file))
        closeContainer(file, "}");
}

void CRKFileWriteSectionEnd(CRKFile* file)
{
    if (!CRKFileIsOpen(file))
        return;
    closeContainer(file, "}\n");
    file->depth = 0;
    file->needsComma = false;
    if (file->buffered && !file->ownsBuffer)
        CRKFileFlush(file);
}

void CRKFileWriteArrayStart(CRKFile* file)
{
    if (!CRKFileIsOpen(file))
        return;
    comma(file);
    raw(file, "[");
    ++file->depth;
    file->needsComma = false;
}

void CRKFileWriteArrayEnd(CRKFile* file)
{
    if (CRKFileIsOpen(file))
        closeContainer(file, "]");
}

void CRKFileWriteHashKey(CRKFile* file, const char* key)
{
    if (!CRKFileIsOpen(file))
        return;
    comma(file);
    writeQuoted(file, key, SIZE_MAX);
    raw(file, ":");
    file->needsComma = false;
}

void CRKFileWriteHashEntryUint64(CRKFile* file, const char* key, uint64_t value)
{
    CRKFileWriteHashKey(file, key);
    writeUnsigned(file, value);
    file->needsComma = true;
}

void CRKFileWriteHashEntryInt64(CRKFile* file, const char* key, int64_t value)
{
    CRKFileWriteHashKey(file, key);
    writeSigned(file, value);
    file->needsComma = true;
}

void CRKFileWriteHashEntryStringN(CRKFile* file, const char* key, const char* value, size_t length)
{
    CRKFileWriteHashKey(file, key);
    if (value)
        writeQuoted(file, value, length);
    else
        raw(file, "null");
    file->needsComma = true;
}

void CRKFileWriteHashEntryString(CRKFile* file, const char* key, const char* value)
{
    CRKFileWriteHashEntryStringN(file, key, value, SIZE_MAX);
}

void CRKFileWriteHashEntryHexEncodedBytes(CRKFile* file, const char* key, const void* bytes, size_t length)
{
    CRKFileWriteHashKey(file, key);
    if (bytes)
        writeHex(file, bytes, length);
    else
        raw(file, "null");
    file->needsComma = true;
}

void CRKFileWriteHashEntryHexEncodedString(CRKFile* file, const char* key, const char* value)
{
    CRKFileWriteHashEntryHexEncodedBytes(file, key, value, value ? strlen(value) : 0);
}

void CRKFileWriteHashEntryBoolean(CRKFile* file, const char* key, bool value)
{
    CRKFileWriteHashKey(file, key);
    raw(file, value ? "true" : "false");
    file->needsComma = true;
}

void CRKFileWriteHashEntryNull(CRKFile* file, const char* key)
{
    CRKFileWriteHashKey(file, key);
    raw(file, "null");
    file->needsComma = true;
}

void CRKFileWriteArrayEntryUint64(CRKFile* file, uint64_t value)
{
    if (!CRKFileIsOpen(file))
        return;
    comma(file);
    writeUnsigned(file, value);
    file->needsComma = true;
}

void CRKFileWriteArrayEntryString(CRKFile* file, const char* value)
{
    if (!CRKFileIsOpen(file))
        return;
    comma(file);
    if (value)
        writeQuoted(file, value, SIZE_MAX);
    else
        raw(file, "null");
    file->needsComma = true;
}

void CRKFileWriteArrayEntryHexEncodedString(CRKFile* file, const char* value)
{
    if (!CRKFileIsOpen(file))
        return;
    comma(file);
    if (value)
        writeHex(file, value, strlen(value));
    else
        raw(file, "null");
    file->needsComma = true;
}
