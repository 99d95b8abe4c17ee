#include <QtTest>
class SyncTest : public QObject { Q_OBJECT };
QTEST_GUILESS_MAIN(SyncTest)
#include "SyncTest.moc"
