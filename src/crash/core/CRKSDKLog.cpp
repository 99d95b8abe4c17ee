#include "crash/core/CRKSDKLog.h"

#include "crash/core/CRKContext.h"
#include "crash/core/CRKFileModes.h"

#include <cerrno>
#include <cstdarg>
#include <cstdint>
#include <fcntl.h>
#include <unistd.h>

bool CRKWriteAll(int fd, const void* bytes, unsigned long length)
{
    const char* p = static_cast<const char*>(bytes);
    while (length > 0) {
        const ssize_t n = write(fd, p, length);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        p += n;
        length -= static_cast<unsigned long>(n);
    }
    return true;
}

namespace {

struct LineBuffer {
    char bytes[512];
    unsigned long used = 0;
    int fd;

    void flush()
    {
        if (used > 0)
            CRKWriteAll(fd, bytes, used);
        used = 0;
    }
    void put(char c)
    {
        if (used == sizeof(bytes))
            flush();
        bytes[used++] = c;
    }
    void puts(const char* s)
    {
        while (*s)
            put(*s++);
    }
    void number(uint64_t value, unsigned base, bool negative)
    {
        char digits[24];
        int n = 0;
        do {
            digits[n++] = "0123456789abcdef"[value % base];
            value /= base;
        } while (value != 0);
        if (negative)
            put('-');
        while (n > 0)
            put(digits[--n]);
    }
};

int openLog()
{
    CRKContext* context = CRKContextGet();
    CRKContextWritable* writable = CRKContextGetWritable();
    if (!context || !writable || !context->sdkLogPath)
        return -1;
    int fd = __atomic_load_n(&writable->debugLogFd, __ATOMIC_ACQUIRE);
    if (fd >= 0)
        return fd;
    fd = open(context->sdkLogPath, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, CRKPrivateFileMode);
    if (fd < 0)
        return -1;
    int expected = -1;
    if (!__atomic_compare_exchange_n(&writable->debugLogFd, &expected, fd, false, __ATOMIC_ACQ_REL,
                                     __ATOMIC_ACQUIRE)) {
        close(fd);  // another thread opened it first
        return expected;
    }
    return fd;
}

}  // namespace

void CRKSDKLog(const char* format, ...)
{
    if (!format)
        return;
    const int saved = errno;
    const int fd = openLog();
    if (fd < 0) {
        errno = saved;
        return;
    }
    LineBuffer out;
    out.fd = fd;
    va_list args;
    va_start(args, format);
    for (const char* f = format; *f; ++f) {
        if (*f != '%') {
            out.put(*f);
            continue;
        }
        const char* d = f + 1;
        int longs = 0;
        while (*d == 'l' && longs < 2) {
            ++longs;
            ++d;
        }
        if (longs == 0 && *d == 'z') {
            longs = 1;
            ++d;
        }
        switch (*d) {
        case 'd':
            if (longs) {
                const int64_t v = va_arg(args, int64_t);
                out.number(v < 0 ? 0 - uint64_t(v) : uint64_t(v), 10, v < 0);
            } else {
                const int v = va_arg(args, int);
                out.number(v < 0 ? 0 - uint64_t(int64_t(v)) : uint64_t(v), 10, v < 0);
            }
            f = d;
            break;
        case 'u':
        case 'x':
            out.number(longs ? va_arg(args, uint64_t) : va_arg(args, unsigned), *d == 'u' ? 10 : 16, false);
            f = d;
            break;
        case 'p':
            out.puts("0x");
            out.number(reinterpret_cast<uintptr_t>(va_arg(args, void*)), 16, false);
            f = d;
            break;
        case 's': {
            const char* s = va_arg(args, const char*);
            out.puts(s ? s : "(null)");
            f = d;
            break;
        }
        case 'c':
            out.put(static_cast<char>(va_arg(args, int)));
            f = d;
            break;
        case '%':
            out.put('%');
            f = d;
            break;
        default:
            out.put('%');
            if (f[1])
                out.put(*++f);
            break;
        }
    }
    va_end(args);
    out.flush();
    errno = saved;
}
