// Writes received actions into a word book over and over until it is killed:
// round after round, every word gets a paraphrase naming the round.
//   wordbook_commit_child <db path> <first round> <word count>
#include "wordbook/MVWordBookDb.h"

#include <QCoreApplication>
#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 4)
        return 2;
    MVWordBookDb db(QString::fromLocal8Bit(argv[1]));
    const int count = QByteArray(argv[3]).toInt();
    for (int round = QByteArray(argv[2]).toInt();; ++round) {
        SyncActionMap actions;
        for (int i = 0; i < count; ++i) {
            const QString word = QStringLiteral("w%1").arg(i, 5, 10, QLatin1Char('0'));
            auto a = std::make_shared<MVSyncAction>();
            a->item = std::make_shared<MVWordBookItem>();
            a->item->word = word;
            a->item->definition = QStringLiteral("round %1").arg(round);
            a->item->date = QStringLiteral("2020-01-01");
            a->item->time = QStringLiteral("2020-01-01 00:00:00 +0000");
            a->item->timeStamp = QString::number(round);
            a->isAdd = true;
            a->withWordInfo = true;
            actions.insert(word, a);
        }
        if (!db.commitSyncingActionList(actions, QStringLiteral("")))
            return 1;
        std::printf("round %d\n", round);
        std::fflush(stdout);
    }
}
