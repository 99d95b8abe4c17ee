#include "kithost/binary/MappedFile.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

bool CRKMappedFileOpen(CRKMappedFile* file, const char* path)
{
    if (!file || !path)
        return false;
    *file = CRKMappedFile();
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size < 16) {
        ::close(fd);
        return false;
    }
    void* p = ::mmap(nullptr, size_t(st.st_size), PROT_READ, MAP_SHARED, fd, 0);
    if (p == MAP_FAILED || !p) {
        ::close(fd);
        return false;
    }
    file->fd = fd;
    file->length = uint64_t(st.st_size);
    file->bytes = static_cast<const uint8_t*>(p);
    return true;
}

bool CRKMappedFileOpenMainExecutable(CRKMappedFile* file)
{
    return CRKMappedFileOpen(file, "/proc/self/exe");
}

void CRKMappedFileClose(CRKMappedFile* file)
{
    if (!file)
        return;
    if (file->bytes && file->length > 0)
        ::munmap(const_cast<uint8_t*>(file->bytes), size_t(file->length));
    if (file->fd >= 0)
        ::close(file->fd);
    *file = CRKMappedFile();
}
