#include "DictWriter.h"

#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <fstream>

namespace dictwriter {
namespace {

constexpr std::size_t kMaxWordBytes = 160;

unsigned char fold(unsigned char c) { return (c >= 'A' && c <= 'Z') ? c + 32 : c; }

int widthFor(std::uint64_t value) {
    if (value <= 0xFF) return 1;
    if (value <= 0xFFFF) return 2;
    if (value <= 0xFFFFFF) return 3;
    return 4;
}

bool fits(std::uint64_t value, int width) { return width >= widthFor(value); }

void putBigEndian(std::string& out, std::uint64_t value, int width) {
    for (int i = width - 1; i >= 0; --i) out.push_back(char((value >> (8 * i)) & 0xFF));
}

void putLE32(std::string& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(char((v >> (8 * i)) & 0xFF));
}

void putLE16(std::string& out, std::uint16_t v) {
    out.push_back(char(v & 0xFF));
    out.push_back(char(v >> 8));
}

bool deflateBlock(const std::string& in, int level, std::string& out) {
    uLongf cap = compressBound(in.size());
    out.resize(cap);
    if (compress2(reinterpret_cast<Bytef*>(out.data()), &cap,
                  reinterpret_cast<const Bytef*>(in.data()), in.size(), level) != Z_OK)
        return false;
    out.resize(cap);
    return true;
}

struct Block {
    std::vector<const Entry*> entries;
    std::string keyRaw, keyZ, contentRaw, contentZ;
    std::uint32_t contentPos = 0;  // C
    std::uint32_t keyOffset = 0;   // from base
};

struct FileLayout {
    int number = 0;
    int kind = 0;
    std::vector<Block> blocks;
    std::uint32_t end = 0;
    std::uint32_t maxCompressed = 0, maxUncompressed = 0;
    std::uint16_t maxWords = 0;
    int offsetWidth = 1, wordOffsetWidth = 1, headerWidth = 1;
};

bool chooseWidth(int requested, std::uint64_t maxValue, int& width, const char* what,
                 std::string& error) {
    if (requested < 0 || requested > 4) {
        error = std::string("invalid ") + what + " width";
        return false;
    }
    width = requested == 0 ? widthFor(maxValue) : requested;
    if (!fits(maxValue, width) || maxValue > 0xFFFFFFFFu) {
        error = std::string(what) + " width too small for value " + std::to_string(maxValue);
        return false;
    }
    return true;
}

bool layoutFile(FileLayout& f, const Options& o, std::string& error) {
    // Content blocks first: their positions (C) do not depend on the key area.
    const std::uint32_t firstKeyOffset = o.base == 0 ? 1 : 0;  // byte 0 holds the kind
    std::uint64_t contentPos = o.base;  // content starts right after the key area
    std::uint64_t maxHeader = 0, maxTextOffset = 0;
    for (Block& b : f.blocks) {
        for (const Entry* e : b.entries) {
            maxTextOffset = std::max<std::uint64_t>(maxTextOffset, b.contentRaw.size());
            b.contentRaw += e->text;
        }
        if (!deflateBlock(b.contentRaw, o.compressionLevel, b.contentZ)) {
            error = "compression failed";
            return false;
        }
        b.contentPos = std::uint32_t(contentPos);
        maxHeader = std::max<std::uint64_t>({maxHeader, contentPos, b.contentZ.size()});
        contentPos += b.contentZ.size();
        f.maxWords = std::max<std::uint16_t>(f.maxWords, std::uint16_t(b.entries.size()));
    }
    if (contentPos > 0xFFFFFFFFu) {
        error = "data file too large";
        return false;
    }
    if (!chooseWidth(o.headerWidth, maxHeader, f.headerWidth, "header", error) ||
        !chooseWidth(o.wordOffsetWidth, maxTextOffset, f.wordOffsetWidth, "word-offset", error))
        return false;

    std::uint64_t keyPos = firstKeyOffset;
    for (Block& b : f.blocks) {
        putBigEndian(b.keyRaw, b.contentPos, f.headerWidth);
        putBigEndian(b.keyRaw, b.contentZ.size(), f.headerWidth);
        std::uint64_t textOffset = 0;
        for (const Entry* e : b.entries) {
            putBigEndian(b.keyRaw, textOffset, f.wordOffsetWidth);
            b.keyRaw += e->word;
            b.keyRaw.push_back(';');
            textOffset += e->text.size();
        }
        if (!deflateBlock(b.keyRaw, o.compressionLevel, b.keyZ)) {
            error = "compression failed";
            return false;
        }
        b.keyOffset = std::uint32_t(keyPos);
        keyPos += b.keyZ.size();
        f.maxCompressed = std::max<std::uint32_t>(
            {f.maxCompressed, std::uint32_t(b.keyZ.size()), std::uint32_t(b.contentZ.size())});
        f.maxUncompressed = std::max<std::uint32_t>(
            {f.maxUncompressed, std::uint32_t(b.keyRaw.size()), std::uint32_t(b.contentRaw.size())});
    }
    if (o.base + keyPos > 0xFFFFFFFFu) {
        error = "data file too large";
        return false;
    }
    f.end = std::uint32_t(keyPos);
    return chooseWidth(o.offsetWidth, f.blocks.back().keyOffset, f.offsetWidth, "offset", error);
}

bool writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), std::streamsize(bytes.size()));
    return bool(out.flush());
}

}  // namespace

int compareFolded(std::string_view a, std::string_view b) {
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const unsigned char x = fold(a[i]), y = fold(b[i]);
        if (x != y) return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

bool hasNonAsciiByte(std::string_view word) {
    return std::any_of(word.begin(), word.end(),
                       [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
}

Result writeDictionary(std::vector<Entry> entries, const std::string& folder,
                       const std::string& indexName, const Options& o) {
    Result r;
    if (o.wordsPerBlock == 0 || o.wordsPerBlock > 0xFFFF) {
        r.error = "words per block must be 1..65535";
        return r;
    }
    std::vector<const Entry*> byKind[2];
    for (const Entry& e : entries) {
        if (e.word.empty() || e.word.size() > kMaxWordBytes ||
            e.word.find(';') != std::string::npos) {
            r.error = "unusable headword: \"" + e.word + "\"";
            return r;
        }
        byKind[hasNonAsciiByte(e.word) ? 1 : 0].push_back(&e);
    }

    std::vector<FileLayout> files;
    int number = o.firstFileNumber;
    for (int kind = 0; kind < 2; ++kind) {
        auto& list = byKind[kind];
        std::stable_sort(list.begin(), list.end(), [](const Entry* a, const Entry* b) {
            return compareFolded(a->word, b->word) < 0;
        });
        for (std::size_t i = 1; i < list.size(); ++i) {
            if (compareFolded(list[i - 1]->word, list[i]->word) == 0) {
                r.error = "duplicate headword: \"" + list[i]->word + "\"";
                return r;
            }
        }
        r.entries[kind] = list.size();
        const std::size_t perFile = o.wordsPerFile ? o.wordsPerFile : list.size();
        for (std::size_t start = 0; start < list.size(); start += perFile) {
            FileLayout f;
            f.number = number++;
            f.kind = kind;
            const std::size_t stop = std::min(list.size(), start + perFile);
            for (std::size_t i = start; i < stop; i += o.wordsPerBlock) {
                Block b;
                b.entries.assign(list.begin() + i,
                                 list.begin() + std::min(stop, i + o.wordsPerBlock));
                f.blocks.push_back(std::move(b));
            }
            if (f.blocks.size() > 0xFFFF) {
                r.error = "too many key blocks in one data file";
                return r;
            }
            if (!layoutFile(f, o, r.error)) return r;
            files.push_back(std::move(f));
        }
    }
    if (o.reverseRecords) std::reverse(files.begin(), files.end());

    std::string index;
    std::vector<std::pair<std::string, std::string>> outputs;
    for (const FileLayout& f : files) {
        putLE32(index, std::uint32_t(f.number));
        putLE32(index, o.base);
        putLE32(index, f.end);
        putLE32(index, f.maxCompressed);
        putLE32(index, f.maxUncompressed);
        index.push_back(char(f.offsetWidth));
        index.push_back(char(f.wordOffsetWidth));
        index.push_back(char(f.headerWidth));
        putLE16(index, f.maxWords);
        putLE16(index, std::uint16_t(f.blocks.size()));
        for (const Block& b : f.blocks) {
            putBigEndian(index, b.keyOffset, f.offsetWidth);
            index += b.entries.front()->word;
            index.push_back(';');
        }

        std::string data(1, char(f.kind));
        if (o.base > 1) data.resize(o.base, '\0');
        for (const Block& b : f.blocks) data += b.keyZ;
        for (const Block& b : f.blocks) data += b.contentZ;
        char name[32];
        std::snprintf(name, sizeof name, "%x.mvd", unsigned(f.number));
        outputs.emplace_back(name, std::move(data));
    }
    outputs.insert(outputs.begin(), {indexName, std::move(index)});
    for (const auto& [name, bytes] : outputs) {
        if (!writeFile(folder + "/" + name, bytes)) {
            r.error = "cannot write " + folder + "/" + name;
            return r;
        }
        r.files.push_back(name);
    }
    r.ok = true;
    return r;
}

}  // namespace dictwriter
