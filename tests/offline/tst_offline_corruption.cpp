// Damaged dictionary files: every byte of every file of a fixture is flipped,
// and every file is cut at many lengths; lookups must neither crash nor read
// out of bounds (this test is built with AddressSanitizer where available).
#include "dictwriter/DictWriter.h"
#include "query/offline/OfflineDictReader.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const char* const kQueries[] = {"a", "w000", "w007", "W013", "w019", "w020", "zzz", "汉001", "汉009", ""};

std::vector<dictwriter::Entry> fixtureEntries() {
    std::vector<dictwriter::Entry> out;
    for (int i = 0; i < 20; ++i) {
        char w[16], t[48];
        std::snprintf(w, sizeof w, "w%03d", i);
        std::snprintf(t, sizeof t, "/BEd/\\nsense %d\\nmore", i);
        out.push_back({w, t});
    }
    for (int i = 0; i < 10; ++i) {
        char w[16];
        std::snprintf(w, sizeof w, "汉%03d", i);
        out.push_back({w, "Chinese"});
    }
    return out;
}

int runLookups(const QByteArray& index, const QByteArray& folder) {
    int found = 0;
    for (const char* q : kQueries) {
        OfflineDictReader r;
        r.loadIndex(index.constData(), folder.constData());
        OfflineDictReader::Pairs pairs;
        r.lookupWord(q, pairs, 29);
        for (const auto& [w, t] : pairs) found += int(w.size() + t.size() > 0);
    }
    return found;
}

}  // namespace

class TestOfflineCorruption : public QObject {
    Q_OBJECT
    QTemporaryDir dir_;
    QByteArray index_, folder_;
    QMap<QString, QByteArray> originals_;

    void restore() {
        for (auto it = originals_.cbegin(); it != originals_.cend(); ++it) {
            QFile f(dir_.path() + '/' + it.key());
            QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
            f.write(it.value());
        }
    }
    void replace(const QString& name, const QByteArray& bytes) {
        QFile f(dir_.path() + '/' + name);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
    }

private slots:
    void initTestCase() {
        dictwriter::Options o;
        o.wordsPerBlock = 4;
        o.wordsPerFile = 8;
        const auto r = dictwriter::writeDictionary(fixtureEntries(), dir_.path().toStdString(),
                                                   "mvdict.idx", o);
        QVERIFY2(r.ok, r.error.c_str());
        for (const QString& name : QDir(dir_.path()).entryList(QDir::Files)) {
            QFile f(dir_.path() + '/' + name);
            QVERIFY(f.open(QIODevice::ReadOnly));
            originals_[name] = f.readAll();
        }
        QVERIFY(originals_.size() >= 5);  // index + several data files
        index_ = (dir_.path() + "/mvdict.idx").toLocal8Bit();
        folder_ = dir_.path().toLocal8Bit();
        QVERIFY(runLookups(index_, folder_) > 0);
    }

    void flippedBytes() {
        for (auto it = originals_.cbegin(); it != originals_.cend(); ++it) {
            for (int pos = 0; pos < it.value().size(); ++pos) {
                for (char mask : {char(0x01), char(0x80), char(0xFF)}) {
                    QByteArray bytes = it.value();
                    bytes[pos] = char(bytes[pos] ^ mask);
                    replace(it.key(), bytes);
                    runLookups(index_, folder_);
                }
            }
            restore();
        }
    }

    void truncatedFiles() {
        for (auto it = originals_.cbegin(); it != originals_.cend(); ++it) {
            for (int len = 0; len < it.value().size(); ++len) {
                replace(it.key(), it.value().left(len));
                runLookups(index_, folder_);
            }
            restore();
        }
    }

    // Sizes that claim far more than the files hold must not turn into huge
    // allocations or reads.
    void hugeDeclaredSizes() {
        QByteArray idx = originals_["mvdict.idx"];
        for (int field = 4; field < 20; field += 4) {
            QByteArray bytes = idx;
            for (int k = 0; k < 4; ++k) bytes[field + k] = char(0xFF);
            replace("mvdict.idx", bytes);
            runLookups(index_, folder_);
        }
        restore();
        QVERIFY(runLookups(index_, folder_) > 0);
    }
};

QTEST_GUILESS_MAIN(TestOfflineCorruption)
#include "tst_offline_corruption.moc"
