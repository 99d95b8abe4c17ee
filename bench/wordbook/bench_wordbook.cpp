// Word book figures on a scratch database: listing 20,000 words by date and
// by letter, committing 2,000 received actions, 1,000 adds through the facade.
#include "platform/UserDefaults.h"
#include "wordbook/MVWordBook.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <cstdio>

namespace {
void report(const char* what, qint64 ms, const char* target)
{
    std::printf("%-46s %7lld ms   (target %s)\n", what, static_cast<long long>(ms), target);
}

MVSyncActionPtr action(const QString& word, int round)
{
    auto a = std::make_shared<MVSyncAction>();
    a->item = std::make_shared<MVWordBookItem>();
    a->remItem = std::make_shared<MVWordBookRemItem>();
    a->item->word = word;
    a->item->phonetic = QStringLiteral("fəˈnetɪk");
    a->item->definition = QStringLiteral("n. 释义 %1\\nv. 第二行").arg(round);
    a->item->date = QStringLiteral("2020-01-%1").arg(1 + round % 28, 2, 10, QLatin1Char('0'));
    a->item->time = QStringLiteral("2020-01-01 00:00:%1 +0000").arg(round % 60, 2, 10, QLatin1Char('0'));
    a->item->timeStamp = QString::number(round);
    a->item->tags = (round % 3) ? QStringLiteral(";g%1").arg(round % 7) : QString();
    a->remItem->word = word;
    a->remItem->progress = QString::number(round % 11 - 1);
    a->remItem->remModTime = a->item->time;
    a->isAdd = true;
    a->withWordInfo = true;
    return a;
}
}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    qputenv("XDG_CONFIG_HOME", dir.filePath("config").toUtf8());
    UserDefaults::resetStandard();
    const QString path = dir.filePath("wordbook.db");

    MVWordBookDb db(path);
    {
        SyncActionMap seed;
        for (int i = 0; i < 20000; ++i) {
            const QString w = (i % 5 == 0) ? QStringLiteral("中文%1").arg(i) : QStringLiteral("word%1").arg(i);
            seed.insert(w, action(w, i));
        }
        db.commitSyncingActionList(seed, QStringLiteral(""));
    }
    QElapsedTimer t;
    t.start();
    const auto byDate = db.getWordsSortedByDate(true, QString(), QStringLiteral(""), QStringLiteral(""), false);
    report("list 20,000 words by date", t.elapsed(), "< 150 ms");
    t.restart();
    const auto byLetter = db.getWordsSortedByDate(false, QString(), QStringLiteral(""), QStringLiteral(""), false);
    report("list 20,000 words by letter", t.elapsed(), "< 150 ms");
    std::printf("  (%lld date sections, %lld letter sections)\n", static_cast<long long>(byDate.size()),
                static_cast<long long>(byLetter.size()));

    SyncActionMap received;
    for (int i = 0; i < 2000; ++i) {
        const QString w = QStringLiteral("recv%1").arg(i);
        received.insert(w, action(w, i));
    }
    t.restart();
    db.commitSyncingActionList(received, QStringLiteral(""));
    report("commit 2,000 received actions", t.elapsed(), "< 2000 ms");

    MVWordBook book;
    book.configureWithDbPath(path, QUrl());
    t.restart();
    for (int i = 0; i < 1000; ++i)
        book.addWord(QStringLiteral("added%1").arg(i), QStringLiteral("p"), QStringLiteral("d"));
    const qint64 queued = t.elapsed();
    book.waitForQueuedWork();
    report("1,000 adds through the facade (until written)", t.elapsed(), "-");
    std::printf("  (%lld ms to queue them on the calling thread)\n", static_cast<long long>(queued));
    return 0;
}
