// Writes seed inputs for fuzz_store_file: a history file of this version
// with rows, and one of a newer layout. Not a fuzz target itself.
//   fuzz_store_seeds fuzz_store_file CORPUS_FOLDER
#include "query/MVDictHistory.h"

#include <QFile>
#include <QString>
#include <SQLiteCpp/SQLiteCpp.h>

int main(int argc, char** argv) {
    if (argc < 3) return 2;
    const QString folder = QString::fromLocal8Bit(argv[2]);
    {
        MVDictHistory store(folder + QStringLiteral("/current.db"));
        for (int i = 0; i < 20; ++i)
            store.addWord(QStringLiteral("word%1").arg(i), QStringLiteral("[p]\\nn. 词"), QStringLiteral("{\"a\":1}"));
    }
    QFile::copy(folder + QStringLiteral("/current.db"), folder + QStringLiteral("/newer.db"));
    SQLite::Database newer((folder + QStringLiteral("/newer.db")).toStdString(), SQLite::OPEN_READWRITE);
    newer.exec("ALTER TABLE HISTORY ADD COLUMN SOURCE TEXT");
    return 0;
}
