#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Writes the offline dictionary: an index file plus numbered, zlib-blocked
// data files that OfflineDictReader reads. Plain C++ (no Qt) so the build tool,
// the data script and the tests share one implementation of the format.
namespace dictwriter {

struct Entry {
    std::string word;  // UTF-8, 1..160 bytes, no ';'
    std::string text;  // "/phonetic/\\nsense\\nsense" (separator is backslash + 'n')
};

struct Options {
    // Number of words per key block.
    std::size_t wordsPerBlock = 64;
    // Split one kind over several data files of at most this many words
    // (0: one file per kind).
    std::size_t wordsPerFile = 0;
    // Byte widths (1..4); 0 picks the smallest width that holds every value.
    int offsetWidth = 0;
    int wordOffsetWidth = 0;
    int headerWidth = 0;
    // Position in each data file from which key-block offsets count (>= 0).
    std::uint32_t base = 0;
    // Number of the first data file; files are numbered upwards from it.
    int firstFileNumber = 0;
    int compressionLevel = 9;
    // Order of the index records: false lists them kind 0 first, in file order.
    bool reverseRecords = false;
};

struct Result {
    bool ok = false;
    std::string error;
    std::vector<std::string> files;  // index first, then data files (names only)
    std::size_t entries[2] = {0, 0}; // words written per kind
};

// ASCII letters folded to lower case, then unsigned byte order.
int compareFolded(std::string_view a, std::string_view b);
bool hasNonAsciiByte(std::string_view word);

// Writes `indexName` and the data files into `folder` (which must exist).
// Fails without writing when a word is empty, too long, contains ';', or two
// words of one kind are equal under the folded order.
Result writeDictionary(std::vector<Entry> entries, const std::string& folder,
                       const std::string& indexName, const Options& options = {});

}  // namespace dictwriter
