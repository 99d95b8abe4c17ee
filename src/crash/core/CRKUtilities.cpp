#include "crash/core/CRKUtilities.h"

#include "crash/core/CRKAllocator.h"
#include "crash/core/CRKContext.h"

#include <cerrno>
#include <dlfcn.h>
#include <cstring>
#include <ctime>
#include <sys/syscall.h>
#include <sys/uio.h>
#include <unistd.h>

void CRKHexEncodeByte(uint8_t byte, char* out)
{
    if (!out)
        return;
    out[0] = "0123456789abcdef"[byte >> 4];
    out[1] = "0123456789abcdef"[byte & 0xf];
}

void CRKHexEncodeBytes(const void* bytes, size_t length, char* buffer)
{
    if (!buffer)
        return;
    memset(buffer, 0, 2 * length + 1);
    if (!bytes)
        return;
    const uint8_t* p = static_cast<const uint8_t*>(bytes);
    for (size_t i = 0; i < length; ++i)
        CRKHexEncodeByte(p[i], buffer + 2 * i);
}

namespace {

// process_vm_readv may be refused (seccomp, Yama in some containers); fall back
// to writing the bytes into a pipe, which fails with EFAULT for unmapped ones.
int gReadMode = 0;  // 0 untried, 1 process_vm_readv works, 2 use the pipe

bool readThroughPipe(const void* source, void* destination, size_t length)
{
    int fds[2];
    CRKContext* context = CRKContextGet();
    if (context && context->readPipe[0] >= 0) {
        fds[0] = context->readPipe[0];
        fds[1] = context->readPipe[1];
    } else if (syscall(SYS_pipe2, fds, 0) != 0) {
        return false;
    }
    const bool owned = !(context && context->readPipe[0] >= 0);
    bool ok = true;
    const char* src = static_cast<const char*>(source);
    char* dst = static_cast<char*>(destination);
    while (ok && length > 0) {
        const size_t chunk = length < 4096 ? length : 4096;
        ssize_t n = write(fds[1], src, chunk);
        if (n != ssize_t(chunk)) {
            if (n > 0) {  // drain what went in so the pipe stays empty
                char scratch[4096];
                (void)!read(fds[0], scratch, size_t(n));
            }
            ok = false;
            break;
        }
        size_t got = 0;
        while (got < chunk) {
            n = read(fds[0], dst + got, chunk - got);
            if (n <= 0 && errno != EINTR) {
                ok = false;
                break;
            }
            if (n > 0)
                got += size_t(n);
        }
        src += chunk;
        dst += chunk;
        length -= chunk;
    }
    if (owned) {
        close(fds[0]);
        close(fds[1]);
    }
    return ok;
}

// The page the recording thread read last, while it writes a record: the
// stacks it walks are frozen then, and a walk reads them word by word.
thread_local bool tCachePages = false;
struct PageCache {
    uintptr_t page;
    bool valid;
    alignas(16) uint8_t bytes[4096];
} gPageCache;

bool readUncached(const void* source, void* destination, size_t length);

}  // namespace

void CRKReadMemoryCachePages(bool on)
{
    tCachePages = on;
    gPageCache.valid = false;
}

bool CRKReadMemory(const void* source, void* destination, size_t length)
{
    if (reinterpret_cast<uintptr_t>(source) < 4096 || !destination)
        return false;
    const uintptr_t at = reinterpret_cast<uintptr_t>(source);
    const uintptr_t page = at & ~uintptr_t(4095);
    if (tCachePages && length > 0 && length <= 4096 && at - page + length <= 4096) {
        if (!gPageCache.valid || gPageCache.page != page) {
            gPageCache.valid = readUncached(reinterpret_cast<const void*>(page), gPageCache.bytes, 4096);
            gPageCache.page = page;
        }
        if (gPageCache.valid) {
            memcpy(destination, gPageCache.bytes + (at - page), length);
            return true;
        }
    }
    return readUncached(source, destination, length);
}

namespace {

bool readUncached(const void* source, void* destination, size_t length)
{
    if (reinterpret_cast<uintptr_t>(source) < 4096 || !destination)
        return false;
    if (length == 0)
        return true;
    if (gReadMode != 2) {
        iovec local{destination, length};
        iovec remote{const_cast<void*>(source), length};
        const ssize_t n = syscall(SYS_process_vm_readv, syscall(SYS_getpid), &local, 1UL, &remote, 1UL, 0UL);
        if (n == ssize_t(length)) {
            gReadMode = 1;
            return true;
        }
        if (n >= 0 || errno == EFAULT || gReadMode == 1)
            return false;
        gReadMode = 2;  // ENOSYS/EPERM: the kernel will not do it for us
    }
    return readThroughPipe(source, destination, length);
}

}  // namespace

bool CRKReadString(const char* string, char* out, size_t maximum)
{
    if (!out || maximum == 0)
        return false;
    out[0] = 0;
    if (reinterpret_cast<uintptr_t>(string) < 4096)
        return false;
    // Read up to the end of each page at once: a string that crosses into an
    // unmapped page fails only there.
    size_t i = 0;
    while (i < maximum) {
        const uintptr_t at = reinterpret_cast<uintptr_t>(string) + i;
        size_t chunk = 4096 - (at & 4095);
        if (chunk > maximum - i)
            chunk = maximum - i;
        if (!CRKReadMemory(string + i, out + i, chunk)) {
            // Fall back byte by byte up to the fault, to find a terminator.
            for (size_t j = 0; j < chunk; ++j) {
                if (!CRKReadMemory(string + i + j, out + i + j, 1)) {
                    out[i + j] = 0;
                    return false;
                }
                if (out[i + j] == 0)
                    return true;
            }
        }
        for (size_t j = 0; j < chunk; ++j) {
            if (out[i + j] == 0)
                return true;
        }
        i += chunk;
    }
    out[maximum - 1] = 0;
    return false;
}

const char* CRKDuplicateString(const char* string)
{
    if (!string)
        return nullptr;
    const size_t n = strlen(string) + 1;
    char* copy = static_cast<char*>(CRKAllocatorSafeAllocate(CRKAllocatorGet(), n, kCRKAllocationReadOnly));
    if (copy)
        memcpy(copy, string, n);
    return copy;
}

bool CRKFileUnlink(const char* path)
{
    if (!path)
        return false;
    return unlink(path) == 0 || errno == ENOENT;
}

uint64_t CRKProfileMark()
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return uint64_t(ts.tv_sec) * 1000000000ULL + uint64_t(ts.tv_nsec);
}

double CRKProfileEndWithMark(uint64_t mark)
{
    return double(CRKProfileMark() - mark) / 1e6;
}

uint64_t CRKTimeNow()
{
    timespec ts;
    clock_gettime(CLOCK_REALTIME, &ts);
    return uint64_t(ts.tv_sec);
}

int CRKThreadId()
{
    return int(syscall(SYS_gettid));
}

bool CRKPathJoin(char* out, size_t size, const char* folder, const char* name)
{
    if (!out || !folder || !name)
        return false;
    const size_t a = strlen(folder), b = strlen(name);
    const bool slash = a > 0 && folder[a - 1] != '/';
    if (a + slash + b + 1 > size)
        return false;
    memcpy(out, folder, a);
    if (slash)
        out[a] = '/';
    memcpy(out + a + slash, name, b + 1);
    return true;
}

void CRKDescribeFunctionAddress(const void* address, void (*block)(const char*, const char*, void*), void* data)
{
    if (!block)
        return;
    Dl_info info;
    if (!address || dladdr(address, &info) == 0) {
        block(nullptr, nullptr, data);
        return;
    }
    block(info.dli_sname ? info.dli_sname : "unknown", info.dli_fname ? info.dli_fname : "unknown", data);
}
