// Appends events to one log file until it is killed, reopening the file now
// and then as a new run of the application would.
#include "tally/CRKEventLogEvent.h"
#include "tally/CRKEventLogFile.h"

#include <QCoreApplication>

int main(int argc, char** argv)
{
    if (argc < 2)
        return 2;
    const QString path = QString::fromLocal8Bit(argv[1]);
    for (quint64 i = 0;; ++i) {
        auto file = CRKEventLogFile::open(path);
        if (!file)
            return 1;
        for (int k = 0; k < 50; ++k, ++i) {
            // Large payloads now and then, so a kill can land inside a write.
            const int size = (i % 7 == 0) ? 1 << 18 : int(i % 300);
            const QByteArray payload(size, char('a' + i % 26));
            file->appendEvent(CRKEventLogEvent(2, 1700000000000 + i, QStringLiteral("custom"), payload));
        }
    }
}
