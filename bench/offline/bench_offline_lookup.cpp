// Time of one offline lookup (index loaded anew each time, as the lookup
// engine does it) for 10,000 random headwords of the shipped dictionary.
#include "platform/Resources.h"
#include "query/offline/OfflineDict.h"
#include "query/offline/OfflineDictReader.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>

#include <algorithm>
#include <cstdio>
#include <random>
#include <set>

namespace {

// First word of every key block, read straight from the index.
std::vector<std::string> blockFirstWords(const QByteArray& idx) {
    std::vector<std::string> out;
    const auto* p = reinterpret_cast<const unsigned char*>(idx.constData());
    std::size_t pos = 0, size = std::size_t(idx.size());
    while (pos + 27 <= size) {
        const int offsetWidth = p[pos + 20];
        const int count = p[pos + 25] | p[pos + 26] << 8;
        pos += 27;
        for (int k = 0; k < count && pos < size; ++k) {
            pos += std::size_t(offsetWidth);
            const std::size_t start = pos;
            while (pos < size && p[pos] != ';') ++pos;
            out.emplace_back(idx.constData() + start, pos - start);
            ++pos;
        }
    }
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QString folder = Resources::path("dict");
    QFile idxFile(folder + "/mvdict.idx");
    if (!idxFile.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "no dictionary in %s\n", qPrintable(folder));
        return 1;
    }
    const QByteArray idxPath = idxFile.fileName().toLocal8Bit(), dataPath = folder.toLocal8Bit();

    std::set<std::string> words;
    for (const std::string& first : blockFirstWords(idxFile.readAll())) {
        OfflineDictReader reader;
        reader.loadIndex(idxPath.constData(), dataPath.constData());
        OfflineDictReader::Pairs pairs;
        reader.lookupWord(first, pairs, 1000);
        for (const auto& pair : pairs) words.insert(pair.first);
    }
    std::vector<std::string> all(words.begin(), words.end());
    std::mt19937 rng(20261209);
    std::shuffle(all.begin(), all.end(), rng);
    const std::size_t n = std::min<std::size_t>(10000, all.size());

    std::vector<double> micros;
    micros.reserve(n);
    int found = 0;
    QElapsedTimer t;
    for (std::size_t i = 0; i < n; ++i) {
        const QString w = QString::fromStdString(all[i]);
        t.start();
        const QVariant answer = OfflineDict::answer(w, "mvdict.idx", OfflineDict::kQuickResult, 0, folder);
        micros.push_back(double(t.nsecsElapsed()) / 1000.0);
        found += answer.isValid() && !answer.isNull();
    }
    std::sort(micros.begin(), micros.end());
    double sum = 0;
    for (double m : micros) sum += m;
    std::printf("offline lookup: %zu headwords in the dictionary, %zu looked up, %d found\n",
                all.size(), n, found);
    std::printf("  median %.1f us, p99 %.1f us, mean %.1f us, max %.1f us\n", micros[n / 2],
                micros[std::min(n - 1, n * 99 / 100)], sum / double(n), micros.back());
    return 0;
}
