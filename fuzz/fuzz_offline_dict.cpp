// The offline dictionary's files as they lie on disk: index records, data
// files, compressed key and content blocks (see OfflineArchive.h for the
// input's layout). Seeds come from fuzz_offline_seeds.
#include "FuzzSupport.h"
#include "OfflineArchive.h"

#include "query/offline/OfflineDict.h"
#include "query/offline/OfflineDictReader.h"

#include <QDir>
#include <QFile>

namespace {
const char* const kWords[] = {"apple", "Run", "a", "zzzz", "中国", "苹果", ""};

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
    const auto files = offline_archive::unpack(std::string_view(reinterpret_cast<const char*>(data), size));
    if (files.empty()) return 0;
    // Data files of the previous input must not answer for this one.
    QDir folder(fuzz::scratchFolder());
    for (const QString& old : folder.entryList({QStringLiteral("*.mvd")}, QDir::Files)) folder.remove(old);
    QString indexPath;
    for (const auto& f : files) {
        const QString name = f.number < 0 ? QStringLiteral("mvdict.idx") : QString::number(f.number, 16) + ".mvd";
        const QString path = fuzz::writeScratchFile(name, f.bytes.data(), f.bytes.size());
        if (f.number < 0) indexPath = path;
    }
    OfflineDictReader reader;
    reader.loadIndex(QFile::encodeName(indexPath).constData(), QFile::encodeName(folder.path()).constData());
    for (const char* word : kWords) lookUp(reader, word);
    // A word the data itself holds reaches the exact-match path.
    if (!reader.wordTable().empty()) {
        const std::string held(reader.wordTable()[reader.wordTable().size() / 2].word);
        lookUp(reader, held);
    }
    return 0;
}
