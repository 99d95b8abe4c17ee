#pragma once

#include <zlib.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// Reader of the offline dictionary files (mvdict.idx and the numbered .mvd data
// files). Not thread-safe: a lookup reuses the reader's buffers; OfflineDict
// keeps one loaded while its files stay unchanged. Every size and offset
// read from the files is checked before use: damaged files give fewer or no
// results, never an out-of-bounds access.
class OfflineDictReader {
public:
    struct IndexEntry {
        std::uint32_t offset = 0;  // key block position, counted from the record's base
        std::string_view word;     // first word of the block (points into the index bytes)
    };
    struct WordRow {
        std::uint32_t textOffset = 0;
        std::string_view word;  // points into the decompressed key block
    };
    using Pairs = std::vector<std::pair<std::string, std::string>>;

    static constexpr int kLoaded = 0;
    static constexpr int kIncomplete = 254;
    static constexpr int kNoIndex = 255;

    OfflineDictReader();
    ~OfflineDictReader();
    OfflineDictReader(const OfflineDictReader&) = delete;
    OfflineDictReader& operator=(const OfflineDictReader&) = delete;

    // 0 when done; 254 when the index ends inside a record or is malformed
    // (that record and everything after it are dropped) or a data file cannot
    // be opened (only its record is dropped); complete records stay usable.
    // 255 when the index cannot be read. A null path loads nothing.
    int loadIndex(const char* indexPath, const char* dataFolder);

    // Appends up to `limit` (word, text) pairs from the data file whose range
    // holds `word`, starting at the first word not below it. Returns whether
    // that first word equals the query under the folded order.
    bool lookupWord(std::string_view word, Pairs& pairs, int limit);

    int compareFolded(std::string_view a, std::string_view b) const;
    static int hasNonAsciiByte(std::string_view word);
    int findKeyBlock(std::string_view word, const std::vector<IndexEntry>& entries, int count) const;
    int findWordInBlock(std::string_view word, const std::vector<WordRow>& rows, int count) const;
    // Fills the word table, C and L from a decompressed key block; the rows
    // point into `data`, which must outlive them. -1 when the block is
    // malformed or holds more rows than any record declares.
    int parseKeyBlock(const std::uint8_t* data, std::size_t length, int headerWidth,
                      int wordOffsetWidth);

    std::size_t recordCount() const { return records_.size(); }
    // Every data file the index named, opened or not (in index order).
    const std::vector<std::string>& dataFilePaths() const { return dataFiles_; }
    // The first file found missing, cut short or damaged by loadIndex or a
    // lookup; empty while every file read so far was sound.
    const std::string& damagedFile() const { return damaged_; }
    std::uint64_t blockContentPos() const { return blockC_; }
    std::uint64_t blockContentLength() const { return blockL_; }
    const std::vector<WordRow>& wordTable() const { return rows_; }

private:
    struct Record {
        std::uint32_t fileNumber = 0, base = 0, end = 0, maxCompressed = 0, maxUncompressed = 0;
        int offsetWidth = 0, wordOffsetWidth = 0, headerWidth = 0;
        std::uint16_t maxWords = 0;
        std::vector<IndexEntry> entries;
        int fd = -1;
        std::uint64_t fileSize = 0;
        int kind = -1;
        std::string path;
    };

    void noteDamage(const std::string& path) {
        if (damaged_.empty()) damaged_ = path;
    }

    int loadRecords(const std::uint8_t* bytes, std::size_t size, const std::string& folder);
    bool openDataFile(Record& r, const std::string& folder);
    // Reads key block i of `r` and parses it into the word table.
    bool loadKeyBlock(const Record& r, int i);
    // Reads the content block named by the parsed key block into content_;
    // with `want` > 0 only its first `want` bytes.
    bool loadContentBlock(const Record& r, std::size_t& length, std::size_t want = 0);
    bool readAndInflate(const Record& r, std::uint64_t pos, std::uint64_t length,
                        std::uint8_t* out, std::size_t capacity, std::size_t& produced,
                        std::size_t want = 0);
    const Record* recordFor(std::string_view word, int kind) const;
    // Appends the pairs of the parsed block from row `from` on; false on a bad text offset.
    bool appendPairs(std::size_t from, std::size_t contentLength, Pairs& pairs, int& taken, int limit);

    std::string indexBytes_;
    std::vector<std::string> dataFiles_;
    std::vector<Record> records_;
    std::unique_ptr<std::uint8_t[]> compressed_, keyBlock_, content_;
    std::size_t compressedCap_ = 0, uncompressedCap_ = 0;
    std::size_t maxWords_ = 0;
    std::vector<WordRow> rows_;
    std::uint64_t blockC_ = 0, blockL_ = 0;
    const Record* parsedRecord_ = nullptr;
    int parsedBlock_ = -1;
    z_stream zs_{};
    bool zsReady_ = false;
    std::string damaged_;
};
