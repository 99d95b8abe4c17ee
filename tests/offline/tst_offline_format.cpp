// The dictionary format itself, independent of our writer: files put
// together byte by byte from the layout's formulas (key block at base +
// offset, last key block ending at end, content block at end + C with no
// base added) with a base above 0, read by the reader; and the writer's
// files taken apart by a decoder written from the same formulas. A reader
// and writer that agreed on a wrong layout would pass the round trips of
// tst_offline_reader but fail here.
#include "dictwriter/DictWriter.h"
#include "query/offline/OfflineDictReader.h"

#include <zlib.h>

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <map>

namespace {

using Bytes = std::string;
using Words = std::map<std::string, std::string>;  // word -> text

Bytes le32(std::uint32_t v) { return {char(v), char(v >> 8), char(v >> 16), char(v >> 24)}; }
Bytes le16(std::uint16_t v) { return {char(v), char(v >> 8)}; }
Bytes be(std::uint64_t v, int width) {
    Bytes out;
    for (int i = width - 1; i >= 0; --i) out.push_back(char(v >> (8 * i)));
    return out;
}
Bytes deflate(const Bytes& raw) {
    uLongf size = compressBound(raw.size());
    Bytes out(size, '\0');
    compress(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(raw.data()),
             raw.size());
    out.resize(size);
    return out;
}
// The whole stream must fill exactly `length` bytes: a decoder that starts at
// the wrong place or takes the wrong length fails.
bool inflateExact(const Bytes& file, std::uint64_t pos, std::uint64_t length, Bytes& out) {
    if (pos + length > file.size()) return false;
    out.assign(1 << 16, '\0');
    uLongf size = out.size();
    uLong used = uLong(length);
    if (uncompress2(reinterpret_cast<Bytef*>(out.data()), &size,
                    reinterpret_cast<const Bytef*>(file.data() + pos), &used) != Z_OK ||
        used != length)
        return false;
    out.resize(size);
    return true;
}
std::uint64_t readBe(const Bytes& b, std::size_t& pos, int width) {
    std::uint64_t v = 0;
    for (int i = 0; i < width; ++i) v = (v << 8) | std::uint8_t(b.at(pos++));
    return v;
}

struct Block {
    Words words;  // in folded order; all words here are lower case or Chinese
};

struct HandFile {
    Bytes bytes, record;
};

// One data file and its index record, laid out by hand. `contentFirst` puts
// the content area right at `end` (C of the first block 0) and the key blocks
// after it, which is the layout the field descriptions give literally; the
// other layout puts the content area after the key blocks, its C counting
// from end across the base and a gap.
HandFile handFile(std::uint32_t number, int kind, const std::vector<Block>& blocks, int offsetWidth,
                  int wordOffsetWidth, int headerWidth, bool contentFirst) {
    std::vector<Bytes> contentZ;
    std::uint32_t maxUncompressed = 0, maxCompressed = 0;
    for (const Block& b : blocks) {
        Bytes raw;
        for (const auto& [w, t] : b.words) raw += t;
        contentZ.push_back(deflate(raw));
        maxUncompressed = std::max<std::uint32_t>(maxUncompressed, std::uint32_t(raw.size()));
    }
    std::uint32_t contentSize = 0;
    for (const Bytes& z : contentZ) contentSize += std::uint32_t(z.size());

    // C of each block depends on where the content area starts relative to end.
    auto keyBlocks = [&](std::uint32_t firstC) {
        std::vector<Bytes> keys;
        std::uint32_t c = firstC;
        for (std::size_t i = 0; i < blocks.size(); ++i) {
            Bytes raw = be(c, headerWidth) + be(contentZ[i].size(), headerWidth);
            std::uint32_t textOffset = 0;
            for (const auto& [w, t] : blocks[i].words) {
                raw += be(textOffset, wordOffsetWidth) + w + ';';
                textOffset += std::uint32_t(t.size());
            }
            maxUncompressed = std::max<std::uint32_t>(maxUncompressed, std::uint32_t(raw.size()));
            keys.push_back(deflate(raw));
            c += std::uint32_t(contentZ[i].size());
        }
        return keys;
    };
    // C counts from end, so where the content area lies relative to end
    // fixes every C before the key blocks are laid out.
    const std::uint32_t gap = 3, firstOffset = 2;
    const std::uint32_t keyBase = contentFirst ? 0 : 6;
    const std::vector<Bytes> keyZ = keyBlocks(contentFirst ? 0 : keyBase + gap);
    std::uint32_t keySize = 0;
    for (const Bytes& z : keyZ) keySize += std::uint32_t(z.size());
    const std::uint32_t end = firstOffset + keySize;
    // Content first: [kind][filler to end][content][filler][key blocks at base + offset].
    // Otherwise:     [kind][filler to base + 2][key blocks][gap][content].
    const std::uint32_t base = contentFirst ? end + contentSize + gap : keyBase;
    Bytes file(1, char(kind));
    auto padTo = [&](std::size_t pos) { file.resize(std::max(file.size(), pos), char(0xEE)); };
    std::vector<std::uint32_t> offsets;
    std::uint32_t off = firstOffset;
    for (const Bytes& z : keyZ) offsets.push_back(off), off += std::uint32_t(z.size());
    if (contentFirst) {
        padTo(end);
        for (const Bytes& z : contentZ) file += z;
        padTo(base + firstOffset);
        for (const Bytes& z : keyZ) file += z;
    } else {
        padTo(base + firstOffset);
        for (const Bytes& z : keyZ) file += z;
        padTo(base + end + gap);
        for (const Bytes& z : contentZ) file += z;
    }
    for (const Bytes& z : keyZ) maxCompressed = std::max<std::uint32_t>(maxCompressed, std::uint32_t(z.size()));
    for (const Bytes& z : contentZ) maxCompressed = std::max<std::uint32_t>(maxCompressed, std::uint32_t(z.size()));

    std::uint16_t maxWords = 0;
    for (const Block& b : blocks) maxWords = std::max<std::uint16_t>(maxWords, std::uint16_t(b.words.size()));
    Bytes rec = le32(number) + le32(base) + le32(end) + le32(maxCompressed) + le32(maxUncompressed) +
                char(offsetWidth) + char(wordOffsetWidth) + char(headerWidth) + le16(maxWords) +
                le16(std::uint16_t(blocks.size()));
    for (std::size_t i = 0; i < blocks.size(); ++i)
        rec += be(offsets[i], offsetWidth) + blocks[i].words.begin()->first + ';';
    return {file, rec};
}

// Every (word, text) of a dictionary, decoded from the formulas alone.
bool decodeByFormula(const QString& folder, const QString& indexName, Words& out, QString& why) {
    auto slurp = [](const QString& path, Bytes& b) {
        QFile f(path);
        if (!f.open(QIODevice::ReadOnly)) return false;
        b = f.readAll().toStdString();
        return true;
    };
    Bytes idx;
    if (!slurp(folder + '/' + indexName, idx)) return why = "no index", false;
    std::size_t pos = 0;
    auto u32 = [&] { std::uint32_t v = 0; for (int i = 0; i < 4; ++i) v |= std::uint32_t(std::uint8_t(idx.at(pos++))) << (8 * i); return v; };
    while (pos < idx.size()) {
        const std::uint32_t number = u32(), base = u32(), end = u32(), maxC = u32(), maxU = u32();
        const int ow = idx.at(pos++), wow = idx.at(pos++), hw = idx.at(pos++);
        const int maxWords = std::uint8_t(idx.at(pos)) | std::uint8_t(idx.at(pos + 1)) << 8;
        const int count = std::uint8_t(idx.at(pos + 2)) | std::uint8_t(idx.at(pos + 3)) << 8;
        pos += 4;
        std::vector<std::uint64_t> offsets;
        for (int k = 0; k < count; ++k) {
            offsets.push_back(readBe(idx, pos, ow));
            pos = idx.find(';', pos) + 1;
        }
        Bytes data;
        if (!slurp(folder + '/' + QString::number(number, 16) + ".mvd", data))
            return why = QString("no data file %1").arg(number, 0, 16), false;
        for (int k = 0; k < count; ++k) {
            const std::uint64_t length = (k + 1 < count ? offsets[k + 1] : end) - offsets[k];
            Bytes key, content;
            if (length > maxC || !inflateExact(data, base + offsets[k], length, key) || key.size() > maxU)
                return why = QString("key block %1 of file %2").arg(k).arg(number), false;
            std::size_t p = 0;
            const std::uint64_t c = readBe(key, p, hw), l = readBe(key, p, hw);
            if (l > maxC || !inflateExact(data, end + c, l, content) || content.size() > maxU)
                return why = QString("content block %1 of file %2").arg(k).arg(number), false;
            std::vector<std::pair<std::uint64_t, std::string>> rows;
            while (p < key.size()) {
                const std::uint64_t textOffset = readBe(key, p, wow);
                const std::size_t semi = key.find(';', p);
                rows.emplace_back(textOffset, key.substr(p, semi - p));
                p = semi + 1;
            }
            if (int(rows.size()) > maxWords) return why = "more rows than max words", false;
            for (std::size_t r = 0; r < rows.size(); ++r) {
                const std::uint64_t stop = r + 1 < rows.size() ? rows[r + 1].first : content.size();
                out[rows[r].second] = content.substr(rows[r].first, stop - rows[r].first);
                const bool ascii = !dictwriter::hasNonAsciiByte(rows[r].second);
                if (data.at(0) != (ascii ? 0 : 1)) return why = "kind byte", false;
            }
        }
    }
    return true;
}

const std::vector<Block> kEnglish = {
    {{{"apple", "/A/\\n苹果"}, {"bed", "/BEd/\\nn. 床"}}},
    {{{"cat", "猫"}, {"children", "child 的复数\\n孩子"}, {"dog", "狗"}}},
};
const std::vector<Block> kChinese = {
    {{{"中国", "/zhong1 guo2/\\nChina"}}},
    {{{"猫", "/mao1/\\ncat"}, {"蘋果", "/ping2 guo3/\\napple"}}},
};

}  // namespace

class TestOfflineFormat : public QObject {
    Q_OBJECT
    QTemporaryDir hand_;
    Words handWords_;

private slots:
    void initTestCase() {
        // English: content area at end, key blocks after it (base 30-odd).
        // Chinese: file 0x1a ("1a.mvd"), content after the key blocks, other widths.
        const HandFile en = handFile(0, 0, kEnglish, 2, 1, 2, true);
        const HandFile zh = handFile(0x1a, 1, kChinese, 3, 2, 4, false);
        const auto write = [&](const QString& name, const Bytes& b) {
            QFile f(hand_.filePath(name));
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(b.data(), qint64(b.size()));
        };
        write("0.mvd", en.bytes);
        write("1a.mvd", zh.bytes);
        write("mvdict.idx", en.record + zh.record);
        for (const auto* blocks : {&kEnglish, &kChinese})
            for (const Block& b : *blocks) handWords_.insert(b.words.begin(), b.words.end());
    }

    // The decoder below checks the writer; it must first read the hand-made
    // files right, or it would prove nothing.
    void decoderReadsTheHandWrittenFiles() {
        Words got;
        QString why;
        QVERIFY2(decodeByFormula(hand_.path(), "mvdict.idx", got, why), qPrintable(why));
        QCOMPARE(got, handWords_);
    }

    void readerFindsEveryWordOfTheHandWrittenFiles() {
        const QByteArray idx = QFile::encodeName(hand_.filePath("mvdict.idx"));
        const QByteArray folder = QFile::encodeName(hand_.path());
        for (const auto& [word, text] : handWords_) {
            OfflineDictReader r;
            QCOMPARE(r.loadIndex(idx.constData(), folder.constData()), 0);
            OfflineDictReader::Pairs pairs;
            QVERIFY2(r.lookupWord(word, pairs, 29), word.c_str());
            QCOMPARE(pairs.front(), std::make_pair(word, text));
        }
        // From the first block on into the next: key and content positions of
        // both blocks come from the formulas.
        OfflineDictReader r;
        r.loadIndex(idx.constData(), folder.constData());
        OfflineDictReader::Pairs pairs;
        QVERIFY(r.lookupWord("APPLE", pairs, 29));
        QCOMPARE(int(pairs.size()), 5);
        QCOMPARE(pairs.back(), std::make_pair(std::string("dog"), std::string("狗")));
    }

    void writerFilesDecodeByTheFormulas_data() {
        QTest::addColumn<int>("base");
        QTest::addColumn<int>("widths");
        QTest::newRow("base 0, smallest widths") << 0 << 0;
        QTest::newRow("base 9, widths 3") << 9 << 3;
        QTest::newRow("base 300, widths 4") << 300 << 4;
    }
    void writerFilesDecodeByTheFormulas() {
        QFETCH(int, base);
        QFETCH(int, widths);
        std::vector<dictwriter::Entry> entries;
        Words expected = handWords_;
        for (int i = 0; i < 40; ++i) expected["w" + std::to_string(100 + i)] = "text " + std::to_string(i);
        for (const auto& [w, t] : expected) entries.push_back({w, t});
        dictwriter::Options o;
        o.wordsPerBlock = 3;
        o.base = std::uint32_t(base);
        o.offsetWidth = o.wordOffsetWidth = o.headerWidth = widths;
        QTemporaryDir dir;
        const auto written = dictwriter::writeDictionary(entries, dir.path().toStdString(), "mvdict.idx", o);
        QVERIFY2(written.ok, written.error.c_str());
        Words got;
        QString why;
        QVERIFY2(decodeByFormula(dir.path(), "mvdict.idx", got, why), qPrintable(why));
        QCOMPARE(got, expected);
    }
};

QTEST_GUILESS_MAIN(TestOfflineFormat)
#include "tst_offline_format.moc"
