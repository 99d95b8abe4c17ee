#include <QtTest>
class FacadeTest : public QObject { Q_OBJECT };
QTEST_GUILESS_MAIN(FacadeTest)
#include "FacadeTest.moc"
