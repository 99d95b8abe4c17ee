// The bottom bar's toggles and links, the side bar's section list, and the
// small shared views (offscreen).
#include "ShellFixture.h"

#include "platform/FullScreenDetector.h"
#include "platform/NotificationCenter.h"
#include "query/AppConstants.h"
#include "query/SideBarItemModel.h"
#include "window/FrameSplitViewController.h"
#include "window/LoadingIndicator.h"
#include "window/SideBarViewController.h"
#include "window/views/HyperlinkTextField.h"
#include "window/views/SmallViews.h"

#include <QTest>

class TestWindowShellBars : public ShellFixture {
    Q_OBJECT
private slots:
    void init() { setUpShell(); }
    void cleanup() { tearDownShell(); }

    void bottomTogglesFollowDefaults() {
        FrameWndController::initializeDefaults();
        makeFrame();
        frame->awakeFromNib();
        auto& d = UserDefaults::standard();
        d.setValue(ScreenTrans, true);
        QVERIFY(frame->getWordView()->isSeleted());
        d.setValue(ScreenTrans, false);
        QVERIFY(!frame->getWordView()->isSeleted());
        frame->triggerWordStroke();
        QVERIFY(d.boolValue(WordStroke));
        QVERIFY(frame->strokeWordView()->isSeleted());
        d.setValue(UserIdDefaultsKey, QStringLiteral("u 1"));
        QVERIFY(frame->feedBackTextField()->linkName().toString(QUrl::FullyEncoded).contains(QStringLiteral("id=u%201")));
    }

    // ------------------------------------------------------- side bar

    void sectionListFollowsResultFlags() {
        auto& flags = SideBarItemModel::sharedInstance();
        auto& split = FrameSplitViewController::sharedInstance();
        auto& list = split.sideBarController();
        flags.setHasAuthTrans(QString());
        flags.setHasWebTrans(QString());
        flags.setHasSentences(QString());
        flags.setHasBaike(QString());
        split.hideSideBar();
        split.setCurrentSideBarType(0);
        QVERIFY(list.optionTitles().isEmpty());

        // Rows stand in the order their flags were set.
        flags.setHasSentences(QStringLiteral(" "));
        flags.setHasWebTrans(QStringLiteral(" "));
        QCOMPARE(list.optionTitles(), (QStringList{QStringLiteral("例句"), QStringLiteral("释义")}));
        QVERIFY(!split.hideSideBarFlag());
        QCOMPARE(split.dividerLimits(), qMakePair(1, 150));

        // A click scrolls the result page to the section and logs it.
        QStringList scripts;
        list.setScriptRunner([&scripts](const QString& s) { scripts << s; return true; });
        list.tableViewDidClickTableRow(list.sideBarView(), 1);
        QCOMPARE(scripts, QStringList{QStringLiteral("location.hash='#webTrans'")});
        QVERIFY(events.contains(QStringLiteral("action=dict_shiyi")));
        QCOMPARE(list.curSelectedRow(), 1);
        list.resetSideBarView();
        QCOMPARE(list.curSelectedRow(), -1);

        // While the word book is in the side bar the rows stay as they are.
        split.showSideBarWithType(1);
        QCOMPARE(split.dividerLimits(), qMakePair(228, 228));
        flags.setHasBaike(QStringLiteral(" "));
        QCOMPARE(list.optionTitles().size(), 2);
        QCOMPARE(split.currentSideBarType(), 1);

        // Cleared flags hide the section list.
        split.hideSideBar();
        split.setCurrentSideBarType(0);
        flags.setHasSentences(QString());
        flags.setHasWebTrans(QString());
        QVERIFY(list.optionTitles().isEmpty());
        QVERIFY(split.hideSideBarFlag());
        flags.setHasBaike(QString());

        // A result page of another tab hides the list.
        flags.setHasAuthTrans(QStringLiteral(" "));
        QVERIFY(!split.hideSideBarFlag());
        split.setCurrentTabProvider([] { return qint64(1); });
        NotificationCenter::defaultCenter().post(MVDidCallLoadResultPageMethodNotification);
        QVERIFY(split.hideSideBarFlag());
        split.setCurrentTabProvider([] { return qint64(0); });
        NotificationCenter::defaultCenter().post(MVDidCallLoadResultPageMethodNotification);
        QVERIFY(!split.hideSideBarFlag());
        NotificationCenter::defaultCenter().post(MVDidFinishLoadFirstWebViewNotification);
        QVERIFY(split.hideSideBarFlag());  // the home page never shows it
        flags.setHasAuthTrans(QString());
        split.setCurrentTabProvider({});
        list.setScriptRunner({});
    }

    void linksOpenOnlyWithALink() {
        QStringList opened;
        HyperlinkTextField::setOpener([&opened](const QUrl& u) { opened << u.toString(); });
        HyperlinkTextField plain;
        plain.setText(QStringLiteral("意见反馈"));
        plain.resize(120, 20);
        QTest::mouseClick(&plain, Qt::LeftButton, {}, QPoint(10, 10));
        QVERIFY(opened.isEmpty());
        QVERIFY(!plain.hasLink());

        HyperlinkTextField link;
        link.setLinkText(QStringLiteral("意见反馈"), QUrl(QStringLiteral("http://site/feedback.html?")));
        link.resize(120, 20);
        QTest::mouseClick(&link, Qt::LeftButton, {}, QPoint(10, 10));
        QCOMPARE(opened, QStringList{QStringLiteral("http://site/feedback.html?")});
        QVERIFY(events.contains(QStringLiteral("action=feedback")));
        // An empty text has nothing to click.
        link.setLinkText(QString(), QUrl());
        QVERIFY(!link.hasLink());
        QCOMPARE(HyperlinkTextField::logValueForText(QStringLiteral("其他")), QString());
        HyperlinkTextField::setOpener([](const QUrl&) {});
    }

    void itemViewMouseUpFallsBackWithoutHandler() {
        struct ClickOnly : MVToolBarItemViewDelegate {
            int clicks = 0;
            void didClickOnItemView(MVToolBarItemView*) override { ++clicks; }
        } d;
        MVToolBarItemView item;
        item.resize(40, 40);
        item.setMvToolBarItemViewDelegate(&d);
        QTest::mouseClick(&item, Qt::LeftButton);
        QCOMPARE(d.clicks, 1);
        // The settings item: pressed image on click, normal image on release.
        auto& tb = MVToolBarController::sharedInstance();
        QVERIFY(tb.didMouseUpFromItemView(tb.settingsItem()));
        QVERIFY(!tb.didMouseUpFromItemView(tb.avatarItem()));
    }

    void onlyRealFullScreenCounts() {
        QWidget w;
        w.resize(300, 200);
        w.show();
        QVERIFY(!FullScreenDetector::isWindowFullScreen(&w));
        w.setWindowState(Qt::WindowMaximized);
        QVERIFY(!FullScreenDetector::isWindowFullScreen(&w));
        w.setWindowState(Qt::WindowFullScreen);
        QVERIFY(FullScreenDetector::isWindowFullScreen(&w));

        // A full-screen main window losing main status hides (not minimises);
        // the show hotkey brings it back.
        FrameWndController::initializeDefaults();
        makeFrame();
        frame->awakeFromNib();
        frame->window()->showFullScreen();
        frame->windowDidResignMain();
        QVERIFY(frame->window()->isHidden());
        QVERIFY(!(frame->window()->windowState() & Qt::WindowMinimized));
        frame->hotkeyAction();
        QVERIFY(frame->window()->isVisible());
    }

    void loadingIndicatorBeforeAndAfterSetUp() {
        showLoadingIndicator();  // nothing registered yet: no effect, no crash
        hideLoadingIndicator();
        QWidget page;
        QWidget spinner(&page), web(&page);
        spinner.hide();
        web.setEnabled(false);
        setLoadingIndicatorTargets(&spinner, &web);
        page.show();
        showLoadingIndicator();
        showLoadingIndicator();
        QVERIFY(spinner.isVisible());
        hideLoadingIndicator();
        QVERIFY(!spinner.isVisible());
        QVERIFY(web.isEnabled());
    }

    void verticallyCentredText() {
        QCOMPARE(adjustedFrameToVerticallyCenterText(QRect(0, 0, 50, 20), 12, -4), QRect(0, 0, 50, 20));
        QCOMPARE(adjustedFrameToVerticallyCenterText(QRect(0, 0, 50, 30), 12, -4), QRect(0, 5, 50, 20));
    }
};

QTEST_MAIN(TestWindowShellBars)
#include "tst_window_shell_bars.moc"
