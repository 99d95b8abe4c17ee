#include "platform/AccessibilityTrust.h"
#include "support/GuiTestHelpers.h"
#include "support/TestEnv.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QtTest>

// Runs in a private session bus where the accessibility bus launcher is
// started on demand, so switching accessibility here touches no real session.
class AccessibilitySwitchTest : public QObject {
    Q_OBJECT
    TestEnv env_;

private Q_SLOTS:
    void switchRoundTripsOverTheSessionBus() {
        QVERIFY(accessibility::setEnabled(false));
        QVERIFY(!accessibility::isEnabled());
        QVERIFY(!isAccessibilityTrusted(false));
        QVERIFY(accessibility::setEnabled(true));
        QVERIFY(accessibility::isEnabled());
        QVERIFY(isAccessibilityTrusted(false));
    }

    // The prompt does not block the caller and comes up once however often
    // the user clicks; its accept button switches accessibility on.
    void promptOffersToSwitchOn() {
        QVERIFY(accessibility::setEnabled(false));
        QVERIFY(!isAccessibilityTrusted(true));
        QVERIFY(!isAccessibilityTrusted(true));
        const QList<QMessageBox*> boxes = guitest::visibleTopLevels<QMessageBox>();
        QCOMPARE(boxes.size(), 1);
        QMessageBox* box = boxes.front();
        QVERIFY(!box->isModal());
        QAbstractButton* accept = nullptr;
        for (QAbstractButton* b : box->buttons())
            if (box->buttonRole(b) == QMessageBox::AcceptRole) accept = b;
        QVERIFY(accept);
        accept->click();
        QVERIFY(accessibility::isEnabled());
        QTRY_VERIFY(!box->isVisible());
    }
};

QTEST_MAIN(AccessibilitySwitchTest)
#include "tst_accessibility_switch.moc"
