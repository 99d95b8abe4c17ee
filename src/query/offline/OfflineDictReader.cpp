#include "OfflineDictReader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

// A damaged index must not make one lookup allocate without bound.
constexpr std::uint32_t kMaxBlockBytes = 64u << 20;

inline unsigned char fold(unsigned char c) { return (c >= 'A' && c <= 'Z') ? c + 32 : c; }

std::uint64_t bigEndian(const std::uint8_t* p, int width) {
    std::uint64_t v = 0;
    for (int i = 0; i < width; ++i) v = (v << 8) | p[i];
    return v;
}

std::uint32_t le32(const std::uint8_t* p) {
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
           std::uint32_t(p[3]) << 24;
}

std::uint16_t le16(const std::uint8_t* p) { return std::uint16_t(p[0] | p[1] << 8); }

bool readWholeFile(const char* path, std::string& out) {
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st {};
    bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    if (ok) {
        out.resize(std::size_t(st.st_size));
        std::size_t got = 0;
        while (got < out.size()) {
            const ssize_t n = ::read(fd, out.data() + got, out.size() - got);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;
            got += std::size_t(n);
        }
        out.resize(got);
    }
    ::close(fd);
    return ok;
}

bool readAt(int fd, std::uint64_t pos, std::uint8_t* out, std::size_t length) {
    std::size_t got = 0;
    while (got < length) {
        const ssize_t n = ::pread(fd, out + got, length - got, off_t(pos + got));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        got += std::size_t(n);
    }
    return true;
}

}  // namespace

OfflineDictReader::OfflineDictReader() = default;

OfflineDictReader::~OfflineDictReader() {
    for (Record& r : records_)
        if (r.fd >= 0) ::close(r.fd);
    if (zsReady_) inflateEnd(&zs_);
}

int OfflineDictReader::loadIndex(const char* indexPath, const char* dataFolder) {
    if (!indexPath) return kLoaded;
    if (!readWholeFile(indexPath, indexBytes_) || indexBytes_.empty()) {
        noteDamage(indexPath);
        return kNoIndex;
    }
    const std::string folder = dataFolder ? dataFolder : ".";
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(indexBytes_.data());
    const std::size_t size = indexBytes_.size();

    const int status = loadRecords(bytes, size, folder);
    if (status != kLoaded && damaged_.empty()) noteDamage(indexPath);
    return status;
}

int OfflineDictReader::loadRecords(const std::uint8_t* bytes, std::size_t size, const std::string& folder) {
    constexpr std::size_t kFixed = 5 * 4 + 3 + 2 + 2;
    int status = kLoaded;
    std::size_t pos = 0;
    while (pos < size) {
        if (size - pos < kFixed) return kIncomplete;
        Record r;
        const std::uint8_t* p = bytes + pos;
        r.fileNumber = le32(p);
        r.base = le32(p + 4);
        r.end = le32(p + 8);
        r.maxCompressed = le32(p + 12);
        r.maxUncompressed = le32(p + 16);
        r.offsetWidth = p[20];
        r.wordOffsetWidth = p[21];
        r.headerWidth = p[22];
        r.maxWords = le16(p + 23);
        const int count = le16(p + 25);
        pos += kFixed;
        auto widthOk = [](int w) { return w >= 1 && w <= 4; };
        if (!widthOk(r.offsetWidth) || !widthOk(r.wordOffsetWidth) || !widthOk(r.headerWidth) ||
            count < 1 || r.maxWords < 1 || r.maxCompressed > kMaxBlockBytes ||
            r.maxUncompressed > kMaxBlockBytes)
            return kIncomplete;
        r.entries.reserve(std::size_t(count));
        for (int k = 0; k < count; ++k) {
            if (size - pos < std::size_t(r.offsetWidth)) return kIncomplete;
            IndexEntry e;
            e.offset = std::uint32_t(bigEndian(bytes + pos, r.offsetWidth));
            pos += std::size_t(r.offsetWidth);
            const void* semi = std::memchr(bytes + pos, ';', size - pos);
            if (!semi) return kIncomplete;
            const std::size_t len = std::size_t(static_cast<const std::uint8_t*>(semi) - (bytes + pos));
            e.word = std::string_view(indexBytes_.data() + pos, len);
            pos += len + 1;
            // Blocks are laid out in order; anything else would make lengths negative.
            if (!r.entries.empty() && e.offset <= r.entries.back().offset) return kIncomplete;
            r.entries.push_back(e);
        }
        if (r.entries.back().offset >= r.end) return kIncomplete;
        // A missing data file costs only its own words.
        if (!openDataFile(r, folder)) {
            noteDamage(r.path);
            status = kIncomplete;
            continue;
        }
        records_.push_back(std::move(r));
    }
    return status;
}

bool OfflineDictReader::openDataFile(Record& r, const std::string& folder) {
    char name[16];
    std::snprintf(name, sizeof name, "/%x.mvd", r.fileNumber);
    r.path = folder + name;
    dataFiles_.push_back(r.path);
    r.fd = ::open(r.path.c_str(), O_RDONLY | O_CLOEXEC);
    if (r.fd < 0) return false;
    struct stat st {};
    std::uint8_t kind = 0xFF;
    if (::fstat(r.fd, &st) != 0 || !readAt(r.fd, 0, &kind, 1)) {
        ::close(r.fd);
        r.fd = -1;
        return false;
    }
    r.fileSize = std::uint64_t(st.st_size);
    r.kind = kind;
    compressedCap_ = std::max<std::size_t>(compressedCap_, r.maxCompressed);
    uncompressedCap_ = std::max<std::size_t>(uncompressedCap_, r.maxUncompressed);
    maxWords_ = std::max<std::size_t>(maxWords_, r.maxWords);
    return true;
}

int OfflineDictReader::compareFolded(std::string_view a, std::string_view b) const {
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const unsigned char x = fold(static_cast<unsigned char>(a[i]));
        const unsigned char y = fold(static_cast<unsigned char>(b[i]));
        if (x != y) return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

int OfflineDictReader::hasNonAsciiByte(std::string_view word) {
    for (char c : word)
        if (static_cast<unsigned char>(c) >= 0x80) return 1;
    return 0;
}

int OfflineDictReader::findKeyBlock(std::string_view word, const std::vector<IndexEntry>& entries,
                                    int count) const {
    count = std::min<int>(count, int(entries.size()));
    if (count <= 0) return 0;
    int top = count, low = 0, probe = count / 2;
    for (;;) {
        const int c = compareFolded(word, entries[std::size_t(probe)].word);
        if (c == 0) return probe;
        const int mid = c > 0 ? (probe + top) / 2 : (probe + low) / 2;
        if (mid == probe) return probe;
        (c > 0 ? low : top) = probe;
        probe = mid;
    }
}

int OfflineDictReader::findWordInBlock(std::string_view word, const std::vector<WordRow>& rows,
                                       int count) const {
    count = std::min<int>(count, int(rows.size()));
    if (count <= 0) return 0;
    int top = count, low = 0, probe = count / 2;
    for (;;) {
        const int c = compareFolded(word, rows[std::size_t(probe)].word);
        if (c == 0) return probe;
        const int mid = c > 0 ? (probe + top) / 2 : (probe + low) / 2;
        if (mid == probe) return c > 0 ? probe + 1 : probe;
        (c > 0 ? low : top) = probe;
        probe = mid;
    }
}

int OfflineDictReader::parseKeyBlock(const std::uint8_t* data, std::size_t length, int headerWidth,
                                     int wordOffsetWidth) {
    rows_.clear();
    parsedRecord_ = nullptr;
    parsedBlock_ = -1;
    const std::size_t hw = std::size_t(headerWidth), ww = std::size_t(wordOffsetWidth);
    if (hw < 1 || hw > 4 || ww < 1 || ww > 4 || length < 2 * hw) return -1;
    blockC_ = bigEndian(data, headerWidth);
    blockL_ = bigEndian(data + hw, headerWidth);
    std::size_t pos = 2 * hw;
    while (pos < length) {
        // A block that stops inside or right after a text offset is cut short.
        if (length - pos <= ww) return -1;
        if (rows_.size() >= std::max<std::size_t>(maxWords_, 1)) return -1;
        WordRow row;
        row.textOffset = std::uint32_t(bigEndian(data + pos, wordOffsetWidth));
        pos += ww;
        const void* semi = std::memchr(data + pos, ';', length - pos);
        const std::size_t stop = semi ? std::size_t(static_cast<const std::uint8_t*>(semi) - data) : length;
        row.word = std::string_view(reinterpret_cast<const char*>(data + pos), stop - pos);
        rows_.push_back(row);
        pos = stop + 1;
    }
    return int(rows_.size());
}

bool OfflineDictReader::readAndInflate(const Record& r, std::uint64_t pos, std::uint64_t length,
                                       std::uint8_t* out, std::size_t capacity,
                                       std::size_t& produced, std::size_t want) {
    if (length == 0 || length > r.maxCompressed || length > compressedCap_ ||
        pos > r.fileSize || length > r.fileSize - pos)
        return false;
    if (!readAt(r.fd, pos, compressed_.get(), std::size_t(length))) return false;
    if (!zsReady_) {
        if (inflateInit(&zs_) != Z_OK) return false;
        zsReady_ = true;
    } else if (inflateReset(&zs_) != Z_OK) {
        return false;
    }
    const std::size_t room = std::min<std::size_t>(capacity, r.maxUncompressed);
    zs_.next_in = compressed_.get();
    zs_.avail_in = uInt(length);
    zs_.next_out = out;
    if (want > 0 && want < room) {
        // Only the head of the block is asked for: inflating the rest would
        // cost the most of a lookup for bytes nobody reads.
        zs_.avail_out = uInt(want);
        const int rc = inflate(&zs_, Z_SYNC_FLUSH);
        produced = std::size_t(zs_.total_out);
        return (rc == Z_OK || rc == Z_STREAM_END || rc == Z_BUF_ERROR) && produced == want;
    }
    zs_.avail_out = uInt(room);
    // Only a complete stream counts: a block cut short or larger than the
    // declared maximum is damage.
    if (inflate(&zs_, Z_FINISH) != Z_STREAM_END) return false;
    produced = std::size_t(zs_.total_out);
    return true;
}

bool OfflineDictReader::loadKeyBlock(const Record& r, int i) {
    if (parsedRecord_ == &r && parsedBlock_ == i) return true;
    // The buffer the old rows point into is about to be overwritten.
    parsedRecord_ = nullptr;
    rows_.clear();
    const std::size_t k = std::size_t(i);
    const std::uint64_t start = r.entries[k].offset;
    const std::uint64_t stop = k + 1 < r.entries.size() ? r.entries[k + 1].offset : r.end;
    std::size_t produced = 0;
    if (stop <= start ||
        !readAndInflate(r, std::uint64_t(r.base) + start, stop - start, keyBlock_.get(),
                        uncompressedCap_, produced))
        return false;
    if (parseKeyBlock(keyBlock_.get(), produced, r.headerWidth, r.wordOffsetWidth) < 0 ||
        rows_.size() > r.maxWords)
        return false;
    parsedRecord_ = &r;
    parsedBlock_ = i;
    return true;
}

bool OfflineDictReader::loadContentBlock(const Record& r, std::size_t& length, std::size_t want) {
    return readAndInflate(r, std::uint64_t(r.end) + blockC_, blockL_, content_.get(),
                          uncompressedCap_, length, want);
}

bool OfflineDictReader::appendPairs(std::size_t from, std::size_t contentLength, Pairs& pairs,
                                    int& taken, int limit) {
    for (std::size_t k = from; k < rows_.size() && taken < limit; ++k) {
        const std::size_t begin = rows_[k].textOffset;
        const std::size_t stop = k + 1 < rows_.size() ? rows_[k + 1].textOffset : contentLength;
        if (begin > stop || stop > contentLength) return false;
        pairs.emplace_back(std::string(rows_[k].word),
                           std::string(reinterpret_cast<const char*>(content_.get()) + begin,
                                       stop - begin));
        ++taken;
    }
    return true;
}

const OfflineDictReader::Record* OfflineDictReader::recordFor(std::string_view word, int kind) const {
    // Files of one kind hold consecutive ranges of the sorted words: the one
    // whose first word is the largest not above the query holds it.
    const Record* best = nullptr;
    const Record* lowest = nullptr;
    for (const Record& r : records_) {
        if (r.kind != kind || r.fd < 0) continue;
        const std::string_view first = r.entries.front().word;
        if (!lowest || compareFolded(first, lowest->entries.front().word) < 0) lowest = &r;
        if (compareFolded(first, word) <= 0 &&
            (!best || compareFolded(first, best->entries.front().word) > 0))
            best = &r;
    }
    return best ? best : lowest;
}

bool OfflineDictReader::lookupWord(std::string_view word, Pairs& pairs, int limit) {
    const Record* r = recordFor(word, hasNonAsciiByte(word));
    if (!r || limit <= 0) return false;
    if (!compressed_) {
        compressed_.reset(new std::uint8_t[std::max<std::size_t>(compressedCap_, 1)]);
        keyBlock_.reset(new std::uint8_t[std::max<std::size_t>(uncompressedCap_, 1)]);
        content_.reset(new std::uint8_t[std::max<std::size_t>(uncompressedCap_, 1)]);
    }

    const int count = int(r->entries.size());
    int i = findKeyBlock(word, r->entries, count);
    if (!loadKeyBlock(*r, i)) {
        noteDamage(r->path);
        return false;
    }
    const int j = findWordInBlock(word, rows_, int(rows_.size()));
    if (j >= int(rows_.size())) return false;
    const bool exact = compareFolded(rows_[std::size_t(j)].word, word) == 0;
    std::size_t contentLength = 0;
    int taken = 0;
    // The texts wanted end where the row after the last wanted one starts.
    const std::size_t after = std::size_t(j) + std::size_t(limit);
    const std::size_t want = after < rows_.size() ? rows_[after].textOffset : 0;
    if (!loadContentBlock(*r, contentLength, want) ||
        !appendPairs(std::size_t(j), contentLength, pairs, taken, limit)) {
        noteDamage(r->path);
        return exact && taken > 0;
    }
    // Later blocks only fill up the list; a damaged one just ends it.
    while (taken < limit && ++i < count) {
        if (!loadKeyBlock(*r, i) || !loadContentBlock(*r, contentLength) ||
            !appendPairs(0, contentLength, pairs, taken, limit))
            break;
    }
    return exact;
}
