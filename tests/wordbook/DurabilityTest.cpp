#include "support/TestEnv.h"
#include "wordbook/MVWordBookDb.h"

#include <QProcess>
#include <QRandomGenerator>
#include <QtTest>
#include <SQLiteCpp/SQLiteCpp.h>

class DurabilityTest : public QObject {
    Q_OBJECT
private slots:
    // A commit killed at any moment leaves a sound file in which each batch of
    // a hundred actions is there entirely or not at all.
    void killedCommitLeavesWholeBatches()
    {
        TestEnv env;
        const QString path = env.root() + "/wordbook.db";
        { MVWordBookDb create(path); }
        constexpr int kWords = 1500;
        const int kills = 25;
        int killedMidway = 0;
        int insideCommit = 0;
        for (int k = 0; k < kills; ++k) {
            QProcess child;
            child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
            child.start(QStringLiteral(WORDBOOK_COMMIT_CHILD),
                        {path, QString::number(k * 1000), QString::number(kWords)});
            QVERIFY(child.waitForStarted());
            // Once a first round is in, however slowly the busy machine lets
            // the child start; then at a random point of the rounds after it.
            QVERIFY(QTest::qWaitFor([&] { return child.canReadLine(); }, 30000));
            QTest::qSleep(QRandomGenerator::global()->bounded(400));
            child.kill();  // SIGKILL
            QVERIFY(child.waitForFinished());
            if (child.exitStatus() == QProcess::CrashExit)
                ++killedMidway;

            SQLite::Database db(path.toStdString(), SQLite::OPEN_READWRITE);
            QCOMPARE(db.execAndGet("PRAGMA integrity_check").getString(), std::string("ok"));
            // Two rounds side by side: the kill fell inside a commit.
            if (db.execAndGet("SELECT COUNT(DISTINCT INTP) FROM WORDBOOK").getInt() > 1)
                ++insideCommit;
            for (int batch = 0; batch * MVWordBookDb::kCommitBatch < kWords; ++batch) {
                SQLite::Statement st(db,
                                     "SELECT COUNT(*), COUNT(DISTINCT INTP) FROM WORDBOOK WHERE WORD >= ? AND WORD < ?");
                st.bind(1, QStringLiteral("w%1").arg(batch * 100, 5, 10, QLatin1Char('0')).toStdString());
                st.bind(2, QStringLiteral("w%1").arg(batch * 100 + 100, 5, 10, QLatin1Char('0')).toStdString());
                QVERIFY(st.executeStep());
                const int rows = st.getColumn(0).getInt();
                const int rounds = st.getColumn(1).getInt();
                QVERIFY2(rows == 0 || (rows == 100 && rounds == 1),
                         qPrintable(QStringLiteral("kill %1 batch %2: %3 rows from %4 rounds").arg(k).arg(batch).arg(rows).arg(rounds)));
            }
        }
        QCOMPARE(killedMidway, kills);
        QVERIFY2(insideCommit > 0, "no kill landed inside a commit");
    }

    // Words the facade has confirmed written survive a kill at any moment.
    void killedFacadeKeepsConfirmedWords()
    {
        TestEnv env;
        const QString path = env.root() + "/wordbook.db";
        { MVWordBookDb create(path); }  // a kill may come before the child's own start-up
        int confirmedTotal = 0;
        for (int k = 0; k < 50; ++k) {
            const int first = k * 1000000;
            QProcess child;
            child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
            child.start(QStringLiteral(WORDBOOK_FACADE_CHILD), {path, QString::number(first)});
            QVERIFY(child.waitForStarted());
            QVERIFY(QTest::qWaitFor([&] { return child.canReadLine(); }, 30000));
            QTest::qSleep(QRandomGenerator::global()->bounded(300));
            child.kill();  // SIGKILL
            QVERIFY(child.waitForFinished());
            int confirmed = first - 1;
            while (child.canReadLine()) {
                const QByteArray line = child.readLine().trimmed();
                if (line.startsWith("written "))
                    confirmed = line.mid(8).toInt();
            }
            confirmedTotal += confirmed - first + 1;

            SQLite::Database db(path.toStdString(), SQLite::OPEN_READWRITE);
            QCOMPARE(db.execAndGet("PRAGMA integrity_check").getString(), std::string("ok"));
            SQLite::Statement st(db, "SELECT COUNT(*) FROM WORDBOOK WHERE WORD >= ? AND WORD <= ?");
            st.bind(1, QStringLiteral("k%1").arg(first, 8, 10, QLatin1Char('0')).toStdString());
            st.bind(2, QStringLiteral("k%1").arg(confirmed, 8, 10, QLatin1Char('0')).toStdString());
            QVERIFY(st.executeStep());
            QCOMPARE(st.getColumn(0).getInt(), confirmed - first + 1);
        }
        QVERIFY2(confirmedTotal > 0, "no add was ever confirmed before a kill");
    }
};

QTEST_GUILESS_MAIN(DurabilityTest)
#include "DurabilityTest.moc"
