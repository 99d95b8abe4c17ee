/* Preloaded into a child of tst_platform_core: every change of a file's mode
 * is refused, as on vfat, exFAT or some network mounts, while files are still
 * created with the mode asked for. */
#define _GNU_SOURCE
#include <errno.h>
#include <sys/stat.h>

int chmod(const char* path, mode_t mode)
{
    (void)path;
    (void)mode;
    errno = EPERM;
    return -1;
}

int fchmod(int fd, mode_t mode)
{
    (void)fd;
    (void)mode;
    errno = EPERM;
    return -1;
}

int fchmodat(int dirfd, const char* path, mode_t mode, int flags)
{
    (void)dirfd;
    (void)path;
    (void)mode;
    (void)flags;
    errno = EPERM;
    return -1;
}
