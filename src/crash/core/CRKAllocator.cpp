#include "crash/core/CRKAllocator.h"

#include "crash/core/CRKSDKLog.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sys/mman.h>

namespace {
constexpr uint64_t kPage = 4096;
CRKAllocator* gAllocator = nullptr;

uint64_t roundUp(uint64_t size)
{
    return size == 0 ? 0 : (size / kPage + 1) * kPage;
}
}  // namespace

CRKAllocator* CRKAllocatorGet()
{
    return __atomic_load_n(&gAllocator, __ATOMIC_ACQUIRE);
}

void CRKAllocatorSet(CRKAllocator* allocator)
{
    __atomic_store_n(&gAllocator, allocator, __ATOMIC_RELEASE);
}

CRKAllocator* CRKAllocatorCreate(size_t writableSize, size_t readOnlySize)
{
    const uint64_t writable = roundUp(writableSize);
    const uint64_t readOnly = roundUp(readOnlySize + sizeof(CRKAllocator) + 16);
    const uint64_t total = writable + readOnly + 3 * kPage;
    void* mapping = mmap(nullptr, total, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapping == MAP_FAILED) {
        CRKSDKLog("%s: Mapping failed %s\n", __func__, strerror(errno));
        return nullptr;
    }
    const uintptr_t base = reinterpret_cast<uintptr_t>(mapping);
    const uintptr_t writableStart = base + kPage;
    const uintptr_t readOnlyStart = writableStart + writable + kPage;
    CRKSDKLog("%s: Mapping: %p %p %p, total: %lu K\n", __func__, mapping, reinterpret_cast<void*>(writableStart),
              reinterpret_cast<void*>(readOnlyStart), static_cast<unsigned long>(total / 1024));
    if (mprotect(mapping, kPage, PROT_NONE) != 0) {
        CRKSDKLog("%s: First guard protection failed %s\n", __func__, strerror(errno));
        return nullptr;
    }
    if (mprotect(reinterpret_cast<void*>(writableStart + writable), kPage, PROT_NONE) != 0) {
        CRKSDKLog("%s: Middle guard protection failed %s\n", __func__, strerror(errno));
        return nullptr;
    }
    if (mprotect(reinterpret_cast<void*>(readOnlyStart + readOnly), kPage, PROT_NONE) != 0) {
        CRKSDKLog("%s: Last guard protection failed %s\n", __func__, strerror(errno));
        return nullptr;
    }
    CRKAllocator* allocator = reinterpret_cast<CRKAllocator*>(readOnlyStart);
    allocator->base = base;
    allocator->isProtected = 0;
    allocator->writable = {writable, writableStart, writableStart};
    allocator->readOnly = {readOnly, readOnlyStart, readOnlyStart + ((sizeof(CRKAllocator) + 15) & ~uint64_t(15))};
    allocator->mappingSize = total;
    CRKSDKLog("%s: Allocator successfully created %p\n", __func__, static_cast<void*>(allocator));
    return allocator;
}

void* CRKAllocatorSafeAllocateFromRegion(CRKAllocatorRegion* region, size_t size)
{
    const uint64_t rounded = (size + 15) & ~uint64_t(15);
    uintptr_t next = __atomic_load_n(&region->next, __ATOMIC_ACQUIRE);
    while (region->start + region->size >= next + rounded) {
        if (__atomic_compare_exchange_n(&region->next, &next, next + rounded, false, __ATOMIC_SEQ_CST,
                                        __ATOMIC_ACQUIRE))
            return reinterpret_cast<void*>(next);
    }
    CRKSDKLog("%s: Unable to allocate sufficient memory, falling back to malloc\n", __func__);
    return calloc(1, size);
}

void* CRKAllocatorSafeAllocate(CRKAllocator* allocator, size_t size, int kind)
{
    if (kind != kCRKAllocationReadOnly && kind != kCRKAllocationWritable)
        return nullptr;
    if (!allocator) {
        CRKSDKLog("%s: Allocator invalid, falling back to malloc\n", __func__);
        return calloc(1, size);
    }
    if (allocator->isProtected) {
        CRKSDKLog("%s: Allocator already protected, falling back to malloc\n", __func__);
        return calloc(1, size);
    }
    return CRKAllocatorSafeAllocateFromRegion(kind == kCRKAllocationWritable ? &allocator->writable
                                                                              : &allocator->readOnly,
                                              size);
}

bool CRKAllocatorProtect(CRKAllocator* allocator)
{
    if (reinterpret_cast<uintptr_t>(allocator) < 4096) {
        CRKSDKLog("%s: Invalid allocator\n", __func__);
        return false;
    }
    if (allocator->isProtected) {
        CRKSDKLog("%s: Write protection already enabled\n", __func__);
        return true;
    }
    allocator->isProtected = 1;
    return mprotect(reinterpret_cast<void*>(allocator->readOnly.start), allocator->readOnly.size, PROT_READ) == 0;
}
