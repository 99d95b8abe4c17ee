#include "crash/core/CRKHost.h"

#include "crash/core/CRKBinaryImage.h"
#include "crash/core/CRKSDKLog.h"
#include "crash/core/CRKUtilities.h"

#include <cerrno>
#include <clocale>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/statfs.h>
#include <sys/utsname.h>
#include <unistd.h>

bool CRKHostReadProcField(const char* path, const char* key, char* out, unsigned long size)
{
    if (!out || size == 0)
        return false;
    out[0] = 0;
    const int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    char buffer[4096];
    ssize_t n;
    do {
        n = read(fd, buffer, sizeof(buffer) - 1);
    } while (n < 0 && errno == EINTR);
    close(fd);
    if (n <= 0)
        return false;
    buffer[n] = 0;
    const size_t keyLength = strlen(key);
    for (char* line = buffer; line && *line;) {
        char* next = strchr(line, '\n');
        if (next)
            *next++ = 0;
        if (strncmp(line, key, keyLength) == 0) {
            const char* value = line + keyLength;
            while (*value == ' ' || *value == '\t' || *value == ':')
                ++value;
            strncpy(out, value, size - 1);
            out[size - 1] = 0;
            return true;
        }
        line = next;
    }
    return false;
}

bool CRKProcessDebuggerAttached()
{
    char value[32];
    if (!CRKHostReadProcField("/proc/self/status", "TracerPid", value, sizeof(value))) {
        CRKSDKLog("%s: sysctl failed while trying to get kinfo_proc\n", __func__);
        return false;
    }
    return atoi(value) != 0;
}

uint64_t CRKHostGetPageSize()
{
    if (sysconf(_SC_PAGESIZE) <= 0)
        CRKSDKLog("%s: sysctlbyname failed while trying to get hw.pagesize\n", __func__);
    return 4096;
}

void CRKHostInitialize(const CRKContextParameters* parameters)
{
    CRKContext* context = CRKContextGet();
    if (!context)
        return;
    context->pageSize = CRKHostGetPageSize();
    context->documentsPath = CRKDuplicateString(parameters->documentsPath);
}

void CRKHostRecordStorage(CRKFile* file)
{
    CRKContext* context = CRKContextGet();
    CRKFileWriteSectionStart(file, "storage");
    CRKFileWriteHashStart(file);
    struct statfs st;
    if (context && context->documentsPath && statfs(context->documentsPath, &st) == 0) {
        CRKFileWriteHashEntryUint64(file, "free", uint64_t(st.f_bsize) * st.f_bavail);
        CRKFileWriteHashEntryUint64(file, "total", uint64_t(st.f_bsize) * st.f_blocks);
    }
    CRKFileWriteHashEnd(file);
    CRKFileWriteSectionEnd(file);
}

namespace {

void recordHost(CRKFile* file, const CRKContextParameters* p)
{
    utsname names;
    const bool haveNames = uname(&names) == 0;
    char cpu[128];
    if (!CRKHostReadProcField("/proc/cpuinfo", "model name", cpu, sizeof(cpu)))
        strcpy(cpu, "(failed)");
    const char* locale = p->locale;
    if (!locale) {
        locale = getenv("LC_ALL");
        if (!locale || !*locale)
            locale = getenv("LANG");
    }
    CRKFileWriteSectionStart(file, "host");
    CRKFileWriteHashStart(file);
    CRKFileWriteHashEntryString(file, "model", p->hostModel);
    CRKFileWriteHashEntryString(file, "machine", haveNames ? names.machine : "(failed)");
    CRKFileWriteHashEntryString(file, "cpu", cpu);
    CRKFileWriteHashEntryString(file, "os_build_version", p->osBuildVersion);
    CRKFileWriteHashEntryString(file, "os_display_version", p->osDisplayVersion);
    CRKFileWriteHashEntryString(file, "platform", "mac");
    CRKFileWriteHashEntryString(file, "locale", locale);
    CRKFileWriteHashEnd(file);
    CRKFileWriteSectionEnd(file);
}

}  // namespace

void CRKContextRecordMetadata(const CRKContextParameters* p)
{
    CRKContext* context = CRKContextGet();
    if (!context)
        return;
    char path[4096];
    if (!CRKPathJoin(path, sizeof(path), context->reportPath, "metadata.crkrecord"))
        return;
    if (!CRKFileUnlink(path))
        CRKSDKLog("%s: Unable to unlink existing metadata file %s\n", __func__, strerror(errno));
    CRKFile file;
    if (!CRKFileInit(&file, path, true)) {
        CRKSDKLog("%s: Unable to open metadata file %s\n", __func__, path);
        CRKSDKLog("%s: Unable to record context metadata\n", __func__);
        return;
    }
    CRKFileWriteSectionStart(&file, "identity");
    CRKFileWriteHashStart(&file);
    CRKFileWriteHashEntryString(&file, "generator", "CrashKit Mac SDK/3.4.1");
    CRKFileWriteHashEntryString(&file, "build_version", "92");
    CRKFileWriteHashEntryString(&file, "display_version", "3.4.1");
    CRKFileWriteHashEntryString(&file, "api_key", p->apiKey);
    CRKFileWriteHashEntryUint64(&file, "started_at", CRKTimeNow());
    CRKFileWriteHashEntryString(&file, "session_id", p->sessionId);
    CRKFileWriteHashEntryString(&file, "install_id", p->installId);
    CRKFileWriteHashEntryString(&file, "beta_token", p->betaToken);
    CRKFileWriteHashEnd(&file);
    CRKFileWriteSectionEnd(&file);

    recordHost(&file, p);

    CRKFileWriteSectionStart(&file, "application");
    CRKFileWriteHashStart(&file);
    CRKFileWriteHashEntryString(&file, "bundle_id", p->bundleId);
    CRKFileWriteHashEntryString(&file, "custom_bundle_id", nullptr);
    CRKFileWriteHashEntryString(&file, "build_version", p->buildVersion);
    CRKFileWriteHashEntryString(&file, "display_version", p->displayVersion);
    CRKFileWriteHashEntryString(&file, "extension_id", nullptr);
    CRKFileWriteHashEnd(&file);
    CRKFileWriteSectionEnd(&file);

    CRKBinaryImageRecordExecutable(&file);
    CRKFileClose(&file);
}
