// Reader and writer of the offline dictionary format, over fixtures made by
// the writer: every offset width, both kinds, several blocks and data files.
#include "dictwriter/DictWriter.h"
#include "query/offline/OfflineDictReader.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using dictwriter::Entry;
using dictwriter::Options;

namespace {

// Words w000 … w{n-1} with distinct texts, so a wrong block or offset shows.
std::vector<Entry> numbered(int n, const char* prefix = "w") {
    std::vector<Entry> out;
    for (int i = 0; i < n; ++i) {
        char word[32], text[64];
        std::snprintf(word, sizeof word, "%s%03d", prefix, i);
        std::snprintf(text, sizeof text, "text of %s%03d", prefix, i);
        out.push_back({word, text});
    }
    return out;
}

struct Fixture {
    QTemporaryDir dir;
    dictwriter::Result written;

    Fixture(std::vector<Entry> entries, const Options& o = {}) {
        written = dictwriter::writeDictionary(std::move(entries), dir.path().toStdString(),
                                              "mvdict.idx", o);
    }
    QByteArray index() const { return (dir.path() + "/mvdict.idx").toLocal8Bit(); }
    QByteArray folder() const { return dir.path().toLocal8Bit(); }
    QString file(const QString& name) const { return dir.path() + '/' + name; }

    // Lookup as the offline entry does it: a fresh reader each time.
    std::pair<bool, OfflineDictReader::Pairs> lookup(const std::string& word, int limit = 29,
                                                     int* loadResult = nullptr) const {
        OfflineDictReader r;
        const int rc = r.loadIndex(index().constData(), folder().constData());
        if (loadResult) *loadResult = rc;
        OfflineDictReader::Pairs pairs;
        const bool exact = r.lookupWord(word, pairs, limit);
        return {exact, pairs};
    }
    std::string first(const std::string& word) const {
        auto [exact, pairs] = lookup(word);
        return pairs.empty() ? std::string("<none>") : pairs.front().first + "=" + pairs.front().second;
    }
};

}  // namespace

class TestOfflineReader : public QObject {
    Q_OBJECT
private slots:
    void everyWidthAndBaseRoundTrips_data() {
        QTest::addColumn<int>("offsetWidth");
        QTest::addColumn<int>("wordOffsetWidth");
        QTest::addColumn<int>("headerWidth");
        QTest::addColumn<int>("base");
        for (int w = 1; w <= 4; ++w) {
            // Offsets of width 1 only fit a small key area: 3 words per block.
            QTest::addRow("widths %d, base 0", w) << w << w << w << 0;
            QTest::addRow("widths %d, base 17", w) << w << w << w << 17;
        }
        QTest::newRow("mixed 4/1/2, base 1") << 4 << 1 << 2 << 1;
        QTest::newRow("smallest that fit") << 0 << 0 << 0 << 0;
    }
    void everyWidthAndBaseRoundTrips() {
        QFETCH(int, offsetWidth);
        QFETCH(int, wordOffsetWidth);
        QFETCH(int, headerWidth);
        QFETCH(int, base);
        Options o;
        o.wordsPerBlock = 3;
        o.offsetWidth = offsetWidth;
        o.wordOffsetWidth = wordOffsetWidth;
        o.headerWidth = headerWidth;
        o.base = std::uint32_t(base);
        auto entries = numbered(20);
        entries.push_back({"中文", "/zhong1 wen2/\\nChinese"});
        Fixture f(entries, o);
        QVERIFY2(f.written.ok, f.written.error.c_str());
        for (int i = 0; i < 20; ++i) {
            char w[8];
            std::snprintf(w, sizeof w, "w%03d", i);
            QCOMPARE(f.first(w), std::string(w) + "=text of " + w);
        }
        QCOMPARE(f.first("中文"), std::string("中文=/zhong1 wen2/\\nChinese"));
    }

    void widthTooSmallIsRefused() {
        Options o;
        o.offsetWidth = 1;  // 400 blocks cannot have 1-byte offsets
        o.wordsPerBlock = 1;
        Fixture f(numbered(400), o);
        QVERIFY(!f.written.ok);
        QVERIFY(f.written.error.find("offset") != std::string::npos);
    }

    void writerRefusesUnusableWords_data() {
        QTest::addColumn<QString>("word");
        QTest::newRow("empty") << "";
        QTest::newRow("separator") << "a;b";
        QTest::newRow("161 bytes") << QString(161, 'x');
    }
    void writerRefusesUnusableWords() {
        QFETCH(QString, word);
        Fixture f({{word.toStdString(), "t"}, {"ok", "t"}});
        QVERIFY(!f.written.ok);
    }

    void foldedDuplicatesAreRefused() {
        Fixture f({{"Apple", "a"}, {"apple", "b"}});
        QVERIFY(!f.written.ok);
        QVERIFY(f.written.error.find("duplicate") != std::string::npos);
    }

    void foldedOrderAndCase() {
        // "B" sorts with "b", and "_" (0x5F) sorts between upper and lower letters
        // only after folding: a writer or reader using raw order would miss words.
        Fixture f({{"Bed", "1"}, {"a_b", "2"}, {"aZ", "3"}, {"abc", "4"}, {"Zoo", "5"}},
                  [] { Options o; o.wordsPerBlock = 2; return o; }());
        QVERIFY(f.written.ok);
        QCOMPARE(f.first("bed"), std::string("Bed=1"));
        QCOMPARE(f.first("BED"), std::string("Bed=1"));
        QCOMPARE(f.first("az"), std::string("aZ=3"));
        QCOMPARE(f.first("a_b"), std::string("a_b=2"));
        QCOMPARE(f.first("zoo"), std::string("Zoo=5"));
        auto [exact, pairs] = f.lookup("ab");  // not stored: next word, not exact
        QVERIFY(!exact);
        QCOMPARE(pairs.front().first, std::string("abc"));
    }

    void pairsRunIntoFollowingBlocksUpToLimit() {
        Options o;
        o.wordsPerBlock = 4;
        Fixture f(numbered(50), o);
        auto [exact, pairs] = f.lookup("w010", 29);
        QVERIFY(exact);
        QCOMPARE(int(pairs.size()), 29);
        QCOMPARE(pairs.front().first, std::string("w010"));
        QCOMPARE(pairs.back().first, std::string("w038"));
        QCOMPARE(pairs.back().second, std::string("text of w038"));
        // Near the end the list is just shorter.
        auto [exact2, tail] = f.lookup("w047", 29);
        QVERIFY(exact2);
        QCOMPARE(int(tail.size()), 3);
    }

    void queriesOutsideTheStoredWords() {
        Options o;
        o.wordsPerBlock = 4;
        Fixture f(numbered(12), o);
        // Below every word: the first word, not an exact match.
        auto [exact, pairs] = f.lookup("a");
        QVERIFY(!exact);
        QCOMPARE(pairs.front().first, std::string("w000"));
        // After every word of the block findKeyBlock picks: nothing, even
        // though the next block follows.
        QCOMPARE(f.first("w003x"), std::string("<none>"));
        QCOMPARE(f.first("w011x"), std::string("<none>"));
        QCOMPARE(f.first("zzz"), std::string("<none>"));
        // An ASCII word never reaches the non-ASCII file and the other way round.
        QCOMPARE(f.first("中"), std::string("<none>"));
    }

    void chineseSearchesOnlyKindOneFiles() {
        Fixture f({{"apple", "/A/\\n苹果"}, {"苹果", "apple"}, {"中国", "China"}});
        QVERIFY(f.written.ok);
        QCOMPARE(f.first("苹果"), std::string("苹果=apple"));
        QCOMPARE(f.first("中国"), std::string("中国=China"));
        QCOMPARE(f.first("apple"), std::string("apple=/A/\\n苹果"));
    }

    // With several data files of one kind each file must answer for its own
    // range of words, not only the last one listed.
    void everyDataFileOfAKindAnswers_data() {
        QTest::addColumn<bool>("reverse");
        QTest::newRow("records in file order") << false;
        QTest::newRow("records in reverse order") << true;
    }
    void everyDataFileOfAKindAnswers() {
        QFETCH(bool, reverse);
        Options o;
        o.wordsPerBlock = 5;
        o.wordsPerFile = 20;
        o.reverseRecords = reverse;
        o.firstFileNumber = 9;  // names 9.mvd, a.mvd, b.mvd …: hexadecimal
        auto entries = numbered(70);
        for (auto& e : numbered(30, "汉")) entries.push_back(e);
        Fixture f(entries, o);
        QVERIFY2(f.written.ok, f.written.error.c_str());
        QVERIFY(QFile::exists(f.file("a.mvd")));
        QVERIFY(QFile::exists(f.file("e.mvd")));
        for (int i = 0; i < 70; ++i) {
            char w[8];
            std::snprintf(w, sizeof w, "w%03d", i);
            QCOMPARE(f.first(w), std::string(w) + "=text of " + w);
        }
        QCOMPARE(f.first("汉000"), std::string("汉000=text of 汉000"));
        QCOMPARE(f.first("汉029"), std::string("汉029=text of 汉029"));
        // Between the last word of one file and the first of the next.
        auto [exact, pairs] = f.lookup("w019z");
        QVERIFY(!exact);
    }

    void loadIndexResults() {
        Options o;
        o.wordsPerBlock = 3;
        o.wordsPerFile = 6;
        Fixture f(numbered(18), o);  // three data files
        QVERIFY(f.written.ok);
        {
            OfflineDictReader r;
            QCOMPARE(r.loadIndex(nullptr, nullptr), 0);
            QCOMPARE(r.recordCount(), std::size_t(0));
        }
        {
            OfflineDictReader r;
            const QByteArray missing = (f.dir.path() + "/nothing.idx").toLocal8Bit();
            QCOMPARE(r.loadIndex(missing.constData(), f.folder().constData()), 255);
            OfflineDictReader::Pairs pairs;
            QVERIFY(!r.lookupWord("w001", pairs, 29));
            QVERIFY(pairs.empty());
        }
        // A missing data file drops only its own record.
        QVERIFY(QFile::remove(f.file("1.mvd")));
        int rc = 0;
        auto [exact, pairs] = f.lookup("w001", 29, &rc);
        QCOMPARE(rc, 254);
        QVERIFY(exact);
        QCOMPARE(f.first("w013"), std::string("w013=text of w013"));
        // w007 lived in the missing file: the neighbouring file does not pretend.
        auto [exact7, pairs7] = f.lookup("w007");
        QVERIFY(!exact7);
    }

    // An index cut inside a record: the complete records before it still work,
    // the cut one is never used.
    void truncatedIndexKeepsCompleteRecords() {
        Options o;
        o.wordsPerBlock = 3;
        o.wordsPerFile = 6;
        Fixture f(numbered(12), o);
        QFile idx(f.file("mvdict.idx"));
        QVERIFY(idx.open(QIODevice::ReadWrite));
        const QByteArray all = idx.readAll();
        // First record: 27 fixed bytes + 2 entries of (1-byte offset + 4-byte word + ';').
        const int firstRecord = 27 + 2 * 6;
        for (int cut = firstRecord + 1; cut < all.size(); cut += 3) {
            QVERIFY(idx.resize(cut));
            OfflineDictReader r;
            QCOMPARE(r.loadIndex(f.index().constData(), f.folder().constData()), 254);
            QCOMPARE(r.recordCount(), std::size_t(1));
            OfflineDictReader::Pairs pairs;
            QVERIFY(r.lookupWord("w004", pairs, 29));
            pairs.clear();
            QVERIFY(!r.lookupWord("w008", pairs, 29));
        }
    }

    void binarySearches() {
        OfflineDictReader r;
        std::vector<OfflineDictReader::IndexEntry> blocks = {{0, "b"}, {1, "d"}, {2, "f"}, {3, "h"}};
        QCOMPARE(r.findKeyBlock("a", blocks, 4), 0);
        QCOMPARE(r.findKeyBlock("b", blocks, 4), 0);
        QCOMPARE(r.findKeyBlock("c", blocks, 4), 0);
        QCOMPARE(r.findKeyBlock("E", blocks, 4), 1);
        QCOMPARE(r.findKeyBlock("h", blocks, 4), 3);
        QCOMPARE(r.findKeyBlock("z", blocks, 4), 3);
        QCOMPARE(r.findKeyBlock("z", blocks, 1), 0);
        std::vector<OfflineDictReader::WordRow> rows = {{0, "b"}, {0, "d"}, {0, "f"}};
        QCOMPARE(r.findWordInBlock("a", rows, 3), 0);
        QCOMPARE(r.findWordInBlock("c", rows, 3), 1);
        QCOMPARE(r.findWordInBlock("F", rows, 3), 2);
        QCOMPARE(r.findWordInBlock("g", rows, 3), 3);
        QCOMPARE(r.findWordInBlock("e", rows, 3), 2);
        QVERIFY(r.compareFolded("ABC", "abd") < 0);
        QCOMPARE(r.compareFolded("ABC", "abc"), 0);
        QVERIFY(r.compareFolded("\xe4", "z") > 0);  // bytes compare unsigned
        QCOMPARE(OfflineDictReader::hasNonAsciiByte("abc"), 0);
        QCOMPARE(OfflineDictReader::hasNonAsciiByte("a\xc3\xa9"), 1);
    }

    void parseKeyBlockRejectsCutBlocks() {
        OfflineDictReader r;
        // Without a loaded index the table allows one row; enough for these cases.
        const std::uint8_t ok[] = {0x00, 0x05, 0x00, 0x09, 0x00, 0x00, 'a', 'b', ';'};
        QCOMPARE(r.parseKeyBlock(ok, sizeof ok, 2, 2), 1);
        QCOMPARE(r.blockContentPos(), std::uint64_t(5));
        QCOMPARE(r.blockContentLength(), std::uint64_t(9));
        QCOMPARE(std::string(r.wordTable()[0].word), std::string("ab"));
        QCOMPARE(r.parseKeyBlock(ok, 3, 2, 2), -1);   // inside L
        QCOMPARE(r.parseKeyBlock(ok, 4, 2, 2), 0);    // header only: no rows
        QCOMPARE(r.parseKeyBlock(ok, 5, 2, 2), -1);   // inside a text offset
        QCOMPARE(r.parseKeyBlock(ok, 6, 2, 2), -1);   // right after it
        QCOMPARE(r.parseKeyBlock(ok, 7, 2, 2), 1);    // last word without ';'
        QCOMPARE(r.parseKeyBlock(ok, sizeof ok, 2, 5), -1);
    }
};

QTEST_GUILESS_MAIN(TestOfflineReader)
#include "tst_offline_reader.moc"
