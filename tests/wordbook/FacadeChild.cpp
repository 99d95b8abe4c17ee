// Adds words through the facade until it is killed, waiting for the queue
// every 20 words and then reporting the last word known to be written.
//   wordbook_facade_child <db path> <first number>
#include "wordbook/MVWordBook.h"

#include <QCoreApplication>
#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 3)
        return 2;
    MVWordBook book;
    book.configureWithDbPath(QString::fromLocal8Bit(argv[1]), QUrl());
    for (int i = QByteArray(argv[2]).toInt();; ++i) {
        book.addWord(QStringLiteral("k%1").arg(i, 8, 10, QLatin1Char('0')), QString(), QStringLiteral("d"));
        if (i % 20 == 19) {
            book.waitForQueuedWork();
            std::printf("written %d\n", i);
            std::fflush(stdout);
        }
    }
}
