// The offline dictionary's key and content blocks after decompression: word
// rows, text offsets, the content block's place (see OfflineBlock.h).
#include "FuzzSupport.h"
#include "OfflineBlock.h"

#include "query/offline/OfflineDict.h"
#include "query/offline/OfflineDictReader.h"

#include <QDir>
#include <QFile>

#include <zlib.h>

#include <string>

namespace {
const char* const kWords[] = {"apple", "Run", "a", "zzzz", "中国", ""};
constexpr std::uint32_t kBase = 1;  // byte 0 of a data file holds its kind

std::string deflated(std::string_view in) {
    uLongf length = compressBound(uLong(in.size()));
    std::string out(length, '\0');
    compress2(reinterpret_cast<Bytef*>(out.data()), &length, reinterpret_cast<const Bytef*>(in.data()),
              uLong(in.size()), 1);
    out.resize(length);
    return out;
}

void putBigEndian(std::string& s, std::size_t at, std::uint64_t v, int width) {
    for (int i = width - 1; i >= 0; --i, v >>= 8) s[at + std::size_t(i)] = char(v & 0xFF);
}

void appendLE(std::string& s, std::uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) s.push_back(char(v >> (8 * i) & 0xFF));
}

void lookUp(OfflineDictReader& reader, std::string_view word) {
    // One pair as the application asks (only the head of a content block is
    // inflated), and a list that runs on into later blocks.
    for (int limit : {1, 29}) {
        OfflineDictReader::Pairs pairs;
        reader.lookupWord(word, pairs, limit);
        for (const auto& [stored, text] : pairs)
            (void)OfflineDict::splitEntryText(QString::fromStdString(stored), QString::fromStdString(text));
    }
}
}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::quietQt();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 3) return 0;
    const int headerWidth = 1 + (data[0] & 3), wordOffsetWidth = 1 + (data[0] >> 2 & 3);
    const bool keepHeader = data[0] & 0x10;
    const std::size_t keyLength = std::min<std::size_t>(data[1] | data[2] << 8, size - 3);
    std::string keyBlock(reinterpret_cast<const char*>(data) + 3, keyLength);
    const std::string_view content(reinterpret_cast<const char*>(data) + 3 + keyLength, size - 3 - keyLength);

    const std::string contentZ = deflated(content);
    if (!keepHeader && keyBlock.size() >= std::size_t(2 * headerWidth)) {
        putBigEndian(keyBlock, 0, kBase, headerWidth);
        putBigEndian(keyBlock, std::size_t(headerWidth), contentZ.size(), headerWidth);
    }
    const std::string keyZ = deflated(keyBlock);
    const std::uint32_t end = std::uint32_t(keyZ.size());  // counted from the base

    // One record per kind over the same blocks, so every word reaches them.
    std::string index;
    for (int kind = 0; kind < 2; ++kind) {
        appendLE(index, std::uint32_t(kind), 4);
        appendLE(index, kBase, 4);
        appendLE(index, end, 4);
        appendLE(index, std::uint32_t(std::max(keyZ.size(), contentZ.size())), 4);
        appendLE(index, std::uint32_t(std::max<std::size_t>(std::max(keyBlock.size(), content.size()), 1)), 4);
        index.push_back(char(4));
        index.push_back(char(wordOffsetWidth));
        index.push_back(char(headerWidth));
        appendLE(index, 0xFFFF, 2);  // most words per block
        appendLE(index, 1, 2);       // one key block
        index.append(4, '\0');       // at offset 0
        index += "a;";
        const std::string file = std::string(1, char(kind)) + keyZ + contentZ;
        fuzz::writeScratchFile(QString::number(kind) + ".mvd", file.data(), file.size());
    }
    const QString indexPath = fuzz::writeScratchFile(QStringLiteral("mvdict.idx"), index.data(), index.size());

    OfflineDictReader reader;
    reader.loadIndex(QFile::encodeName(indexPath).constData(),
                     QFile::encodeName(fuzz::scratchFolder()).constData());
    for (const char* word : kWords) lookUp(reader, word);
    if (!reader.wordTable().empty()) {
        const std::string held(reader.wordTable()[reader.wordTable().size() / 2].word);
        lookUp(reader, held);
    }
    return 0;
}
