#include <QTest>
class TestCrashRecords : public QObject {
    Q_OBJECT
};
QTEST_GUILESS_MAIN(TestCrashRecords)
#include "tst_crash_records.moc"
