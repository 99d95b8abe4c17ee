#include "crash/core/CRKUserLogging.h"

#include "crash/core/CRKBinaryImage.h"
#include "crash/core/CRKContext.h"
#include "crash/core/CRKQueue.h"
#include "crash/core/CRKSDKLog.h"
#include "crash/core/CRKUnwind.h"
#include "crash/core/CRKUtilities.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <mutex>
#include <ucontext.h>
#include <unistd.h>

namespace {

std::mutex gUserStoreLock, gInternalStoreLock;

std::mutex& lockFor(const CRKUserLoggingKVStorage* store)
{
    CRKContext* c = CRKContextGet();
    return c && store == &c->logging.internalKV ? gInternalStoreLock : gUserStoreLock;
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool hexDecode(const std::string& hex, std::string* out)
{
    if (hex.size() % 2)
        return false;
    out->clear();
    for (size_t i = 0; i < hex.size(); i += 2) {
        const int a = hexValue(hex[i]), b = hexValue(hex[i + 1]);
        if (a < 0 || b < 0)
            return false;
        out->push_back(char(a << 4 | b));
    }
    return true;
}

// The quoted text after `"name":` in a line, or null; false when damaged.
bool member(const std::string& line, const char* name, std::string* out, bool* isNull)
{
    const std::string probe = std::string("\"") + name + "\":";
    const size_t at = line.find(probe);
    if (at == std::string::npos)
        return false;
    size_t p = at + probe.size();
    if (line.compare(p, 4, "null") == 0) {
        *isNull = true;
        return true;
    }
    if (p >= line.size() || line[p] != '"')
        return false;
    const size_t end = line.find('"', p + 1);
    if (end == std::string::npos)
        return false;
    *out = line.substr(p + 1, end - p - 1);
    *isNull = false;
    return true;
}

uint64_t millisecondsSinceStart()
{
    CRKContext* c = CRKContextGet();
    return c ? (CRKProfileMark() - c->logging.startTime) / 1000000 : 0;
}

void writeKV(CRKFile* file, const std::string& keyHex, const std::string* valueHex)
{
    CRKFileWriteSectionStart(file, "kv");
    CRKFileWriteHashStart(file);
    CRKFileWriteHashEntryString(file, "key", keyHex.c_str());
    CRKFileWriteHashEntryString(file, "value", valueHex ? valueHex->c_str() : nullptr);
    CRKFileWriteHashEnd(file);
    CRKFileWriteSectionEnd(file);
}

std::string hex(const char* text)
{
    std::string out(strlen(text) * 2 + 1, '\0');
    CRKHexEncodeBytes(text, strlen(text), out.data());
    out.pop_back();
    return out;
}

void writeKeyValueLocked(const char* key, const char* value, const CRKUserLoggingKVStorage* store)
{
    CRKFile file;
    if (!CRKFileInit(&file, store->incrementalPath, true)) {
        CRKSDKLog("%s: Unable to open k-v file\n", "CRKUserLoggingWriteKeyValue");
        return;
    }
    const std::string valueHex = value ? hex(value) : std::string();
    writeKV(&file, hex(key), value ? &valueHex : nullptr);
    CRKFileClose(&file);
    if (store->counter && ++*store->counter >= store->incrementalLimit) {
        CRKUserLoggingCompactKVEntries(store);
        *store->counter = 0;
    }
}

}  // namespace

void CRKUserLoggingInit(CRKUserLoggingRecord* record, const CRKUserLoggingPaths* p)
{
    CRKContextWritable* w = CRKContextGetWritable();
    if (!record || !p || !w)
        return;
    w->activeLogPath = p->logA;
    w->activeErrorPath = p->errorsA;
    w->activeCustomExceptionPath = p->customExceptionA;
    w->userKVCount = w->internalKVCount = w->errorCount = 0;
    record->userKV = {p->userIncremental, p->userCompacted, kCRKKVIncrementalLimit, p->maxCustomKeys, &w->userKVCount};
    record->internalKV = {p->internalIncremental, p->internalCompacted, kCRKKVIncrementalLimit, kCRKInternalMaxKeys,
                          &w->internalKVCount};
    record->logStore = {p->logA, p->logB, p->logBufferSize, 0, 1, nullptr, &w->activeLogPath};
    record->errorStore = {p->errorsA, p->errorsB, 0, p->maxErrors, 0, &w->errorCount, &w->activeErrorPath};
    record->customExceptionStore = {p->customExceptionA, p->customExceptionB, 0, p->maxCustomExceptions, 0,
                                    &w->customExceptionCount, &w->activeCustomExceptionPath};
    record->startTime = CRKProfileMark();
}

void CRKUserLoggingWriteKeyValue(const char* key, const char* value, const CRKUserLoggingKVStorage* store)
{
    if (!store || !store->incrementalPath || !store->counter) {
        CRKSDKLog("%s: Bad parameters\n", __func__);
        return;
    }
    if (!key)
        return;
    std::lock_guard lock(lockFor(store));
    writeKeyValueLocked(key, value, store);
}

static void recordOnQueue(const char* key, const char* value, bool internal)
{
    if (!key || !CRKContextIsInitialized())
        return;
    CRKContext* c = CRKContextGet();
    const CRKUserLoggingKVStorage* store = internal ? &c->logging.internalKV : &c->logging.userKV;
    if (CRKQueue* queue = CRKContextLoggingQueue())
        queue->sync([&] { CRKUserLoggingWriteKeyValue(key, value, store); });
}

void CRKUserLoggingRecordUserKeyValue(const char* key, const char* value)
{
    recordOnQueue(key, value, false);
}

void CRKUserLoggingRecordInternalKeyValue(const char* key, const char* value)
{
    recordOnQueue(key, value, true);
}

void CRKUserLoggingWriteInternalKeyValue(const char* key, const char* value)
{
    if (!key || !CRKContextGet())
        return;
    CRKUserLoggingWriteKeyValue(key, value, &CRKContextGet()->logging.internalKV);
}

std::vector<CRKKeyValue> CRKUserLoggingReadKVEntries(const char* path)
{
    std::vector<CRKKeyValue> entries;
    if (!path)
        return entries;
    std::ifstream in(path, std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("{\"kv\":{", 0) != 0 || line.size() < 2 || line.compare(line.size() - 2, 2, "}}") != 0)
            continue;  // a line cut short by a crash, or not ours
        std::string keyHex, valueHex;
        bool keyNull, valueNull;
        CRKKeyValue kv;
        if (!member(line, "key", &keyHex, &keyNull) || keyNull || !hexDecode(keyHex, &kv.key)
            || !member(line, "value", &valueHex, &valueNull))
            continue;
        kv.hasValue = !valueNull;
        if (kv.hasValue && !hexDecode(valueHex, &kv.value))
            continue;
        entries.push_back(std::move(kv));
    }
    return entries;
}

void CRKUserLoggingCompactKVEntries(const CRKUserLoggingKVStorage* store)
{
    if (!store || !store->compactedPath || !store->incrementalPath) {
        CRKSDKLog("%s: Error: storage invalid\n", __func__);
        return;
    }
    // key -> (value, order of its latest write)
    std::map<std::string, std::pair<std::string, uint64_t>> set;
    uint64_t order = 0;
    for (const char* path : {store->compactedPath, store->incrementalPath}) {
        for (CRKKeyValue& kv : CRKUserLoggingReadKVEntries(path)) {
            if (kv.hasValue)
                set[kv.key] = {std::move(kv.value), order++};
            else
                set.erase(kv.key);
        }
    }
    std::vector<std::pair<uint64_t, const std::string*>> byAge;
    for (auto& [key, entry] : set)
        byAge.emplace_back(entry.second, &key);
    std::sort(byAge.begin(), byAge.end());
    size_t skip = 0;
    if (byAge.size() > store->maxKeys) {
        CRKSDKLog("%s: Truncating KV set, which is above max %d\n", __func__, int(store->maxKeys));
        skip = byAge.size() - store->maxKeys;
    }
    // A hidden temporary file renamed into place: the compacted set is never
    // absent, whenever the process dies.
    const std::string target = store->compactedPath;
    const size_t cut = target.rfind('/') == std::string::npos ? 0 : target.rfind('/') + 1;
    const std::string temporary = target.substr(0, cut) + "." + target.substr(cut) + ".tmp";
    CRKFile file;
    if (!CRKFileInitWithPathMode(&file, temporary.c_str(), false, true)) {
        CRKSDKLog("%s: Error: Unable to open compacted k-v file\n", __func__);
        return;
    }
    for (size_t i = skip; i < byAge.size(); ++i) {
        const std::string valueHex = hex(set[*byAge[i].second].first.c_str());
        writeKV(&file, hex(byAge[i].second->c_str()), &valueHex);
    }
    CRKFileFlush(&file);
    fdatasync(file.fd);
    CRKFileClose(&file);
    if (rename(temporary.c_str(), store->compactedPath) != 0) {
        CRKSDKLog("%s: Error: Unable to remove compacted KV store before compaction %s\n", __func__,
                  store->compactedPath);
        CRKFileUnlink(temporary.c_str());
        return;
    }
    if (!CRKFileUnlink(store->incrementalPath))
        CRKSDKLog("%s: Error: Unable to remove incremental KV store after compaction %s\n", __func__,
                  store->incrementalPath);
}

void CRKUserLoggingWriteAndCheckABFiles(const CRKUserLoggingABStorage* store,
                                        const std::function<void(CRKFile*)>& writer)
{
    if (!store || !store->activePath || !writer)
        return;
    if ((store->limitedBySize ? store->maxBytes : store->maxEntries) == 0)
        return;
    CRKQueue* queue = CRKContextLoggingQueue();
    auto work = [&] {
        const char* active = *store->activePath;
        CRKFile file;
        if (!CRKFileInit(&file, active, true)) {
            CRKSDKLog("%s: Unable to open log file\n", __func__);
            return;
        }
        writer(&file);
        uint64_t size = 0;
        CRKFileCloseWithOffset(&file, &size);
        bool swap = false;
        if (store->limitedBySize) {
            swap = size > store->maxBytes;
        } else if (store->counter && ++*store->counter >= store->maxEntries) {
            *store->counter = 0;
            swap = true;
        }
        if (swap) {
            const char* other = active == store->pathA ? store->pathB : store->pathA;
            CRKFileUnlink(other);
            *store->activePath = other;
        }
    };
    if (queue)
        queue->sync(work);
    else
        work();
}

void CRKUserLoggingRecordLogMessage(const char* message)
{
    if (!message || !CRKContextIsInitialized())
        return;
    const uint64_t time = millisecondsSinceStart();
    CRKUserLoggingWriteAndCheckABFiles(&CRKContextGet()->logging.logStore, [&](CRKFile* f) {
        CRKFileWriteSectionStart(f, "log");
        CRKFileWriteHashStart(f);
        CRKFileWriteHashEntryHexEncodedString(f, "msg", message);
        CRKFileWriteHashEntryUint64(f, "time", time);
        CRKFileWriteHashEnd(f);
        CRKFileWriteSectionEnd(f);
    });
}

void CRKUserLoggingRecordError(const char* domain, int64_t code,
                               const std::vector<std::pair<std::string, std::string>>& info,
                               const std::vector<std::pair<std::string, std::string>>& extraInfo)
{
    if (!CRKContextIsInitialized())
        return;
    CRKBinaryImagePollNow();
    // The caller's return addresses, from its real registers.
    ucontext_t uc;
    getcontext(&uc);
    CRKThreadContext context{};
    const greg_t* g = uc.uc_mcontext.gregs;
    context.rip = uint64_t(g[REG_RIP]);
    context.rsp = uint64_t(g[REG_RSP]);
    context.rbp = uint64_t(g[REG_RBP]);
    context.rbx = uint64_t(g[REG_RBX]);
    context.r12 = uint64_t(g[REG_R12]);
    context.r13 = uint64_t(g[REG_R13]);
    context.r14 = uint64_t(g[REG_R14]);
    context.r15 = uint64_t(g[REG_R15]);
    uint64_t frames[kCRKUnwindMaxFrames];
    uint32_t count = 0;
    CRKUnwindCursor cursor;
    CRKUnwindInit(&cursor, &context);
    while (count < kCRKUnwindMaxFrames && CRKUnwindNextFrame(&cursor))
        frames[count++] = CRKUnwindGetPC(&cursor);
    const uint64_t time = CRKTimeNow();
    auto pairs = [](CRKFile* f, const char* key, const std::vector<std::pair<std::string, std::string>>& list) {
        if (list.empty())
            return;
        CRKFileWriteHashKey(f, key);
        CRKFileWriteArrayStart(f);
        for (const auto& [k, v] : list) {
            CRKFileWriteArrayStart(f);
            CRKFileWriteArrayEntryHexEncodedString(f, k.c_str());
            CRKFileWriteArrayEntryHexEncodedString(f, v.c_str());
            CRKFileWriteArrayEnd(f);
        }
        CRKFileWriteArrayEnd(f);
    };
    CRKUserLoggingWriteAndCheckABFiles(&CRKContextGet()->logging.errorStore, [&](CRKFile* f) {
        CRKFileWriteSectionStart(f, "error");
        CRKFileWriteHashStart(f);
        CRKFileWriteHashEntryHexEncodedString(f, "domain", domain ? domain : "");
        CRKFileWriteHashEntryInt64(f, "code", code);
        CRKFileWriteHashEntryUint64(f, "time", time);
        CRKFileWriteHashKey(f, "stacktrace");
        CRKFileWriteArrayStart(f);
        for (uint32_t i = 0; i < count; ++i)
            CRKFileWriteArrayEntryUint64(f, frames[i]);
        CRKFileWriteArrayEnd(f);
        pairs(f, "info", info);
        pairs(f, "extra_info", extraInfo);
        CRKFileWriteHashEnd(f);
        CRKFileWriteSectionEnd(f);
    });
}
