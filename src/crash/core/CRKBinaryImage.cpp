#include "crash/core/CRKBinaryImage.h"

#include "crash/core/CRKContext.h"
#include "crash/core/CRKQueue.h"
#include "crash/core/CRKSDKLog.h"
#include "crash/core/CRKUtilities.h"
#include "kithost/binary/ElfNote.h"

#include <climits>
#include <cstring>
#include <elf.h>
#include <link.h>
#include <map>
#include <string>
#include <vector>

namespace {

struct ImageInfo {
    CRKBinaryImageNode node{};
    char uuid[33] = {};
    std::string path;
    uint16_t machine = 0;
};

// Only touched on the binary-images queue (and by Init before it polls).
std::map<uintptr_t, ImageInfo>* gKnown = nullptr;
unsigned long long gAdds = ~0ULL, gSubs = ~0ULL;

bool readImage(const dl_phdr_info* info, ImageInfo* out)
{
    uintptr_t low = UINTPTR_MAX, execEnd = 0;
    for (int i = 0; i < info->dlpi_phnum; ++i) {
        const ElfW(Phdr)& ph = info->dlpi_phdr[i];
        const uintptr_t start = info->dlpi_addr + ph.p_vaddr;
        if (ph.p_type == PT_LOAD) {
            if (start < low)
                low = start;
            if ((ph.p_flags & PF_X) && start + ph.p_memsz > execEnd)
                execEnd = start + ph.p_memsz;
        } else if (ph.p_type == PT_GNU_EH_FRAME) {
            out->node.ehFrameHeader = start;
        } else if (ph.p_type == PT_NOTE && !out->uuid[0]) {
            const uint8_t* id = nullptr;
            size_t idLength = 0;
            if (CRKElfNotesFindGNUBuildId(reinterpret_cast<const void*>(start), ph.p_memsz, ph.p_align, false, &id,
                                          &idLength)
                && id) {
                CRKHexEncodeBytes(id, idLength < 16 ? idLength : 16, out->uuid);
            }
        }
    }
    if (low == UINTPTR_MAX || execEnd <= low)
        return false;
    for (int i = 0; i < info->dlpi_phnum && out->node.ehFrameHeader; ++i) {
        const ElfW(Phdr)& ph = info->dlpi_phdr[i];
        const uintptr_t start = info->dlpi_addr + ph.p_vaddr;
        if (ph.p_type == PT_LOAD && start <= out->node.ehFrameHeader
            && out->node.ehFrameHeader < start + ph.p_filesz) {
            out->node.unwindStart = start;
            out->node.unwindEnd = start + ph.p_filesz;
        }
    }
    if (!out->node.unwindEnd)
        out->node.ehFrameHeader = 0;
    out->node.base = low;
    out->node.size = execEnd - low;
    const ElfW(Ehdr)* header = reinterpret_cast<const ElfW(Ehdr)*>(low);
    if (memcmp(header->e_ident, ELFMAG, SELFMAG) == 0)
        out->machine = header->e_machine;
    const char* name = info->dlpi_name;
    if (!name || !*name) {
        CRKContext* context = CRKContextGet();
        name = context && context->executablePath ? context->executablePath : nullptr;
    }
    out->path = name ? name : "";
    return true;
}

void storeNode(bool load, const CRKBinaryImageNode& node)
{
    CRKContextWritable* w = CRKContextGetWritable();
    if (!w) {
        CRKSDKLog("%s: Error: Writable context is NULL\n", __func__);
        return;
    }
    bool stored = false;
    for (int i = 0; i < kCRKBinaryImageSlots && !stored; ++i) {
        CRKBinaryImageNode& slot = w->images[i];
        uintptr_t base = __atomic_load_n(&slot.base, __ATOMIC_ACQUIRE);
        if (load) {
            uintptr_t expected = 0;
            if (base == 0
                && __atomic_compare_exchange_n(&slot.base, &expected, node.base, false, __ATOMIC_SEQ_CST,
                                               __ATOMIC_SEQ_CST)) {
                slot.ehFrameHeader = node.ehFrameHeader;
                slot.unwindInfo = 0;
                slot.crashInfo = 0;
                slot.unwindStart = node.unwindStart;
                slot.unwindEnd = node.unwindEnd;
                __atomic_store_n(&slot.size, node.size, __ATOMIC_RELEASE);
                stored = true;
            }
        } else if (base == node.base && __atomic_load_n(&slot.size, __ATOMIC_ACQUIRE) != 0) {
            // The base stays, so the slot neither matches again nor is reused.
            __atomic_store_n(&slot.size, 0, __ATOMIC_RELEASE);
            slot.ehFrameHeader = slot.unwindStart = slot.unwindEnd = 0;
            stored = true;
        }
    }
    if (!stored)
        CRKSDKLog("%s: Error: Unable to track a %s node %p\n", __func__, load ? "loaded" : "unloaded",
                  reinterpret_cast<void*>(node.base));
}

void writeLine(bool load, const ImageInfo& image)
{
    CRKContextWritable* w = CRKContextGetWritable();
    CRKContext* context = CRKContextGet();
    if (!w || !context)
        return;
    const bool opened = !CRKFileIsOpen(&w->binaryImageFile);
    if (opened && !CRKFileInit(&w->binaryImageFile, context->binaryImagesPath, false)) {
        CRKSDKLog("%s: Error: unable to open binary image log file\n", __func__);
        return;
    }
    CRKFile* f = &w->binaryImageFile;
    CRKFileWriteSectionStart(f, load ? "load" : "unload");
    CRKFileWriteHashStart(f);
    CRKFileWriteHashEntryString(f, "path", image.path.empty() ? nullptr : image.path.c_str());
    CRKBinaryImageRecordDetails(f, image.uuid, image.node.base, image.node.size);
    CRKFileWriteHashEnd(f);
    CRKFileWriteSectionEnd(f);
    if (opened)
        CRKFileClose(f);
}

struct Walk {
    bool countersOnly = false;
    unsigned long long adds = 0, subs = 0;
    std::vector<ImageInfo> images;
};

int collect(dl_phdr_info* info, size_t size, void* data)
{
    Walk* walk = static_cast<Walk*>(data);
    if (size >= offsetof(dl_phdr_info, dlpi_subs) + sizeof(info->dlpi_subs)) {
        walk->adds = info->dlpi_adds;
        walk->subs = info->dlpi_subs;
    }
    if (walk->countersOnly)
        return 1;
    ImageInfo image;
    if (readImage(info, &image))
        walk->images.push_back(std::move(image));
    return 0;
}

// Runs on the binary-images queue.
void refresh(bool force)
{
    Walk probe;
    probe.countersOnly = true;
    dl_iterate_phdr(collect, &probe);
    if (!force && probe.adds == gAdds && probe.subs == gSubs)
        return;
    Walk walk;
    dl_iterate_phdr(collect, &walk);
    gAdds = walk.adds;
    gSubs = walk.subs;
    std::map<uintptr_t, ImageInfo> now;
    for (ImageInfo& image : walk.images)
        now.emplace(image.node.base, std::move(image));
    // Unloads first: an image reloaded at the same base then gets a new slot.
    for (auto it = gKnown->begin(); it != gKnown->end();) {
        auto found = now.find(it->first);
        if (found == now.end() || found->second.uuid != std::string(it->second.uuid)
            || found->second.path != it->second.path) {
            storeNode(false, it->second.node);
            writeLine(false, it->second);
            it = gKnown->erase(it);
        } else {
            ++it;
        }
    }
    for (auto& [base, image] : now) {
        if (gKnown->count(base))
            continue;
        storeNode(true, image.node);
        writeLine(true, image);
        gKnown->emplace(base, image);
    }
}

}  // namespace

void CRKBinaryImageInit(const char* logPath)
{
    CRKContextWritable* w = CRKContextGetWritable();
    CRKContext* context = CRKContextGet();
    if (!w || !context)
        return;
    char exe[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", exe, sizeof(exe) - 1);
    if (n > 0) {
        exe[n] = 0;
        context->executablePath = CRKDuplicateString(exe);
    }
    memset(w->images, 0, sizeof(w->images));
    w->binaryImageFile = CRKFile();
    if (!gKnown)
        gKnown = new std::map<uintptr_t, ImageInfo>;
    CRKQueue* queue = CRKContextBinaryImagesQueue();
    if (!CRKFileUnlink(logPath))
        CRKSDKLog("%s: Unable to reset the binary image log file %s\n", __func__, strerror(errno));
    // Held open across the first walk, then one open per later event.
    if (!CRKFileInit(&w->binaryImageFile, logPath, true))
        CRKSDKLog("%s: Error: Unable to open the binary image log file during init\n", __func__);
    refresh(true);
    CRKFileClose(&w->binaryImageFile);
    if (queue)
        queue->setTick(std::chrono::seconds(1), [] { refresh(false); });
}

void CRKBinaryImagePollNow()
{
    if (!CRKContextIsInitialized())
        return;
    if (CRKQueue* queue = CRKContextBinaryImagesQueue())
        queue->sync([] { refresh(false); });
}

bool CRKBinaryImageSafeFindImageForAddress(uintptr_t address, CRKBinaryImageNode* outNode)
{
    CRKContextWritable* w = CRKContextGetWritable();
    if (!w || reinterpret_cast<uintptr_t>(outNode) < 4096 || address == 0)
        return false;
    for (int i = 0; i < kCRKBinaryImageSlots; ++i) {
        const CRKBinaryImageNode& slot = w->images[i];
        const uintptr_t base = __atomic_load_n(&slot.base, __ATOMIC_ACQUIRE);
        if (base == 0)
            break;  // slots fill from the front and are never freed
        const uint64_t size = __atomic_load_n(&slot.size, __ATOMIC_ACQUIRE);
        if (address >= base && address - base < size) {
            *outNode = slot;
            return true;
        }
    }
    return false;
}

void CRKBinaryImageRecordDetails(CRKFile* file, const char* uuid, uint64_t base, uint64_t size)
{
    if (!CRKFileIsOpen(file)) {
        CRKSDKLog("%s: Error: file is invalid\n", __func__);
        return;
    }
    CRKFileWriteHashEntryString(file, "uuid", uuid);
    CRKFileWriteHashEntryUint64(file, "base", base);
    CRKFileWriteHashEntryUint64(file, "size", size);
}

bool CRKBinaryImageRecordExecutable(CRKFile* file)
{
    Walk walk;
    dl_iterate_phdr(collect, &walk);  // the main program comes first
    ImageInfo* main = walk.images.empty() ? nullptr : &walk.images.front();
    CRKFileWriteSectionStart(file, "executable");
    CRKFileWriteHashStart(file);
    CRKFileWriteHashEntryString(file, "architecture", main ? CRKElfMachineName(main->machine) : "unknown");
    CRKBinaryImageRecordDetails(file, main ? main->uuid : "", main ? main->node.base : 0,
                                main ? main->node.size : 0);
    CRKFileWriteHashEntryBoolean(file, "encrypted", false);
    CRKFileWriteHashEntryString(file, "minimum_sdk_version", "0.0.0");
    CRKFileWriteHashEntryString(file, "built_sdk_version", "0.0.0");
    CRKFileWriteHashEnd(file);
    CRKFileWriteSectionEnd(file);
    return true;
}

bool CRKBinaryImageFindImageForUUID(const char* uuid, CRKBinaryImageNode* outNode, char* path, size_t pathSize)
{
    if (!uuid || !outNode) {
        CRKSDKLog("%s: null input\n", __func__);
        return false;
    }
    Walk walk;
    dl_iterate_phdr(collect, &walk);
    for (const ImageInfo& image : walk.images) {
        if (strncmp(image.uuid, uuid, 33) != 0)
            continue;
        *outNode = image.node;
        if (path && pathSize > 0) {
            strncpy(path, image.path.c_str(), pathSize - 1);
            path[pathSize - 1] = 0;
        }
        return true;
    }
    return false;
}
