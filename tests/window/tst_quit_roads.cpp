// Words answered "added" are in the file after every way of quitting.
#include "support/TestEnv.h"

#include <QProcess>
#include <QStandardPaths>
#include <QtTest>
#include <SQLiteCpp/SQLiteCpp.h>
#include <csignal>

class TestQuitRoads : public QObject {
    Q_OBJECT
private slots:
    void everyQueuedWordIsWritten_data() {
        QTest::addColumn<QString>("road");
        QTest::addColumn<int>("signal");
        QTest::newRow("Ctrl+Q") << "ctrl-q" << 0;
        QTest::newRow("quit guard") << "guard" << 0;
        QTest::newRow("SIGTERM") << "signal" << int(SIGTERM);
        QTest::newRow("SIGINT") << "signal" << int(SIGINT);
        QTest::newRow("SIGHUP") << "signal" << int(SIGHUP);
    }
    void everyQueuedWordIsWritten() {
        QFETCH(QString, road);
        QFETCH(int, signal);
        TestEnv env;
        QProcess child;
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        child.start(QStringLiteral(QUIT_CHILD), {road});
        QVERIFY(child.waitForStarted());
        if (signal) {
            QByteArray line;
            while (line != "ready" && (child.canReadLine() || child.waitForReadyRead(30000)))
                line = child.readLine().trimmed();
            QCOMPARE(line, QByteArray("ready"));
            ::kill(child.processId(), signal);
        }
        QVERIFY(child.waitForFinished(60000));
        QCOMPARE(child.exitStatus(), QProcess::NormalExit);
        QCOMPARE(child.exitCode(), 0);
        const QString db = env.dataHome() + QStringLiteral("/com.mirvok.dict/wordbook.db");
        SQLite::Database file(db.toStdString());
        QCOMPARE(file.execAndGet("SELECT COUNT(*) FROM WORDBOOK").getInt(), 1000);
    }
};

QTEST_GUILESS_MAIN(TestQuitRoads)
#include "tst_quit_roads.moc"
