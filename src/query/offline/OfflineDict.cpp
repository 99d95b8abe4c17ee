#include "query/offline/OfflineDict.h"

#include "query/offline/OfflineDictReader.h"

#include <QDebug>
#include <QFile>
#include <QHash>
#include <QMutex>
#include <QSet>

#include <atomic>

#include <sys/stat.h>

#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace OfflineDict {
namespace {

const QHash<QChar, QChar>& phoneticSymbols() {
    static const QHash<QChar, QChar> table = {
        {u'A', QChar(0x00E6)}, {u'B', QChar(0x0251)}, {u'E', QChar(0x0259)},
        {u'F', QChar(0x0283)}, {u'G', QChar(0x0292)}, {u'J', QChar(0x028A)},
        {u'N', QChar(0x014B)}, {u'O', QChar(0x0254)}, {u'X', QChar(0x0454)},
        {u'R', QChar(0x028C)}, {u'T', QChar(0x00F0)}, {u'Y', QChar(0x0259)},
        {u'Z', QChar(0x03B8)}, {u'`', QChar(0x0027)}, {u'.', QChar(0x002C)},
    };
    return table;
}

const QString kSeparator = QStringLiteral("\\n");

// What a file looked like when the reader was loaded; any difference (a
// regenerated or damaged dictionary, a file that came or went) loads anew.
struct FileStamp {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = -1;
    timespec modified{};
    bool operator==(const FileStamp& o) const {
        return device == o.device && inode == o.inode && size == o.size &&
               modified.tv_sec == o.modified.tv_sec && modified.tv_nsec == o.modified.tv_nsec;
    }
};

FileStamp stampOf(const std::string& path) {
    FileStamp s;
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) {
        s.device = st.st_dev;
        s.inode = st.st_ino;
        s.size = st.st_size;
        s.modified = st.st_mtim;
    }
    return s;
}

// The last dictionary read, kept loaded: reading and parsing the index and
// opening the data files cost more than the lookup itself. Lookups may come
// from any thread; the reader's buffers are shared, so one at a time.
struct LoadedDictionary {
    std::mutex mutex;
    std::string indexPath, folder;
    std::vector<FileStamp> stamps;  // the index, then each data file
    std::unique_ptr<OfflineDictReader> reader;

    static LoadedDictionary& shared() {
        static LoadedDictionary d;
        return d;
    }

    std::vector<FileStamp> currentStamps() const {
        std::vector<FileStamp> out;
        out.reserve(1 + reader->dataFilePaths().size());
        out.push_back(stampOf(indexPath));
        for (const std::string& p : reader->dataFilePaths()) out.push_back(stampOf(p));
        return out;
    }

    bool unchanged() const {
        if (!reader || !(stampOf(indexPath) == stamps.front())) return false;
        const auto& files = reader->dataFilePaths();
        for (std::size_t i = 0; i < files.size(); ++i)
            if (!(stampOf(files[i]) == stamps[i + 1])) return false;
        return true;
    }

    // Call with the mutex held.
    OfflineDictReader* readerFor(const QByteArray& index, const QByteArray& dataFolder) {
        if (reader && indexPath == index.constData() && folder == dataFolder.constData() && unchanged())
            return reader.get();
        indexPath = index.constData();
        folder = dataFolder.constData();
        // Stamped before reading, so a change while loading shows next time.
        const FileStamp indexStamp = stampOf(indexPath);
        reader = std::make_unique<OfflineDictReader>();
        // A partly loaded index still answers from its complete records.
        reader->loadIndex(indexPath.c_str(), folder.c_str());
        stamps = currentStamps();
        stamps.front() = indexStamp;
        return reader.get();
    }
};

std::atomic<bool> g_unavailable{false};

void reportDamage(const QString& file) {
    static QMutex mutex;
    static QSet<QString> reported;
    QMutexLocker lock(&mutex);
    if (reported.contains(file)) return;
    reported.insert(file);
    qCritical().noquote() << QStringLiteral("offline dictionary: %1 is missing or damaged; offline lookups it "
                                            "holds are unavailable")
                                 .arg(file);
}

// One syllable such as "hao3" or "nv3" (the code writes ü as v) with its tone
// mark; an empty string when it is no numbered syllable.
QString markedSyllable(QStringView syllable) {
    static const QString plain = QStringLiteral("aeiouv");
    static const QString marked[4] = {QStringLiteral("āēīōūǖ"), QStringLiteral("áéíóúǘ"),
                                      QStringLiteral("ǎěǐǒǔǚ"), QStringLiteral("àèìòùǜ")};
    if (syllable.size() < 2) return {};
    const int tone = syllable.back().unicode() - u'0';
    QString letters = syllable.chopped(1).toString();
    if (tone < 1 || tone > 5) return {};
    for (QChar c : letters)
        if (c < u'a' || c > u'z') return {};
    // The mark goes on a or e, on the o of "ou", else on the last vowel.
    int at = letters.indexOf(u'a');
    if (at < 0) at = letters.indexOf(u'e');
    if (at < 0) at = letters.indexOf(QLatin1String("ou"));
    if (at < 0)
        for (int i = int(letters.size()) - 1; i >= 0 && at < 0; --i)
            if (plain.contains(letters.at(i))) at = i;
    if (at < 0 && letters != QLatin1String("r") && letters != QLatin1String("m") && letters != QLatin1String("n")
        && letters != QLatin1String("ng") && letters != QLatin1String("hm") && letters != QLatin1String("hng"))
        return {};
    if (tone != 5 && at >= 0) letters[at] = marked[tone - 1].at(plain.indexOf(letters.at(at)));
    letters.replace(u'v', QChar(0x00FC));
    return letters;
}

}  // namespace

bool unavailable() { return g_unavailable.load(); }

QString unavailableText() {
    return QStringLiteral("很抱歉，离线词典不可用：词典文件缺失或已损坏，请重新安装米沃词典。");
}

QString pinyinWithToneMarks(const QString& numbered) {
    QString out;
    out.reserve(numbered.size());
    int start = -1;
    for (int i = 0; i <= numbered.size(); ++i) {
        const bool letter = i < numbered.size() && numbered.at(i).isLetterOrNumber();
        if (letter && start < 0) start = i;
        if (letter || start < 0) {
            if (!letter && i < numbered.size()) out += numbered.at(i);
            continue;
        }
        const QString syllable = markedSyllable(QStringView(numbered).mid(start, i - start));
        if (syllable.isEmpty()) return numbered;
        out += syllable;
        if (i < numbered.size()) out += numbered.at(i);
        start = -1;
    }
    return out;
}

int ConvertPhonetic(QString& text) {
    // Only a phonetic that opens the entry is code: slashes elsewhere ("and/or")
    // are part of a sense.
    if (!text.startsWith(u'/')) return -1;
    const int close = text.indexOf(u'/', 1);
    if (close < 0) return -1;
    text[0] = u'[';
    text[close] = u']';
    const auto& table = phoneticSymbols();
    for (int i = 1; i < close; ++i) {
        const auto it = table.constFind(text.at(i));
        if (it != table.constEnd()) text[i] = *it;
    }
    return close;
}

Entry splitEntryText(const QString& word, QString text) {
    Entry e;
    e.found = true;
    e.title = word;
    const int close = ConvertPhonetic(text);
    QStringView rest(text);
    if (close >= 0) {
        e.phone = u'[' + pinyinWithToneMarks(text.mid(1, close - 1)) + u']';
        rest = rest.mid(close + 1);
        if (rest.startsWith(kSeparator)) rest = rest.mid(kSeparator.size());
    }
    for (QStringView sense : rest.split(kSeparator, Qt::SkipEmptyParts)) e.senses << sense.toString();
    return e;
}

Entry lookupEntry(const QString& word, const QString& indexName, const QString& folder) {
    const QString lowered = word.toLower();
    const QByteArray key = lowered.toUtf8();
    OfflineDictReader::Pairs pairs;
    QString damaged;
    {
        LoadedDictionary& dict = LoadedDictionary::shared();
        std::lock_guard lock(dict.mutex);
        // Only the first pair is shown: later ones would cost a block
        // inflated for nothing.
        if (OfflineDictReader* reader = dict.readerFor(QFile::encodeName(folder + u'/' + indexName),
                                                       QFile::encodeName(folder))) {
            reader->lookupWord(std::string_view(key.constData(), std::size_t(key.size())), pairs, 1);
            damaged = QFile::decodeName(QByteArray::fromStdString(reader->damagedFile()));
        }
    }
    if (!damaged.isEmpty()) reportDamage(damaged);
    if (!pairs.empty()) {
        const QString stored = QString::fromStdString(pairs.front().first);
        if (QString::compare(stored, lowered, Qt::CaseInsensitive) == 0) {
            g_unavailable = false;
            return splitEntryText(stored, QString::fromStdString(pairs.front().second));
        }
    }
    Entry missing;
    missing.title = lowered;
    missing.unavailable = !damaged.isEmpty();
    g_unavailable = missing.unavailable;
    return missing;
}

}  // namespace OfflineDict
