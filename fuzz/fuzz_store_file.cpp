// A SQLite store of ours as found on disk at start (history.db through the
// same first open as wordbook.db): checked, set aside or used, then read.
#include "FuzzSupport.h"

#include "query/MVDictHistory.h"

#include <QDir>

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::quietQt();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QString path = fuzz::writeScratchFile(QStringLiteral("history.db"), reinterpret_cast<const char*>(data), size);
    {
        MVDictHistory store(path);
        (void)store.getDictHistory();
        store.addWord(QStringLiteral("apple"), QStringLiteral("n. 苹果"), QStringLiteral("{}"));
        (void)store.jsonDefinition(QStringLiteral("apple"));
    }
    // Files set aside would pile up over millions of runs.
    QDir folder(fuzz::scratchFolder());
    for (const QString& f : folder.entryList({QStringLiteral("history.db*")}, QDir::Files))
        folder.remove(f);
    return 0;
}
