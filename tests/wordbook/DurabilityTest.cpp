#include <QtTest>
class DurabilityTest : public QObject { Q_OBJECT };
QTEST_GUILESS_MAIN(DurabilityTest)
#include "DurabilityTest.moc"
