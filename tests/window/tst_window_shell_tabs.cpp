// Tabs, typing, the toolbar and search field, and the suggestion window and
// its table, driven with page doubles (offscreen).
#include "ShellFixture.h"

#include "platform/NotificationCenter.h"
#include "query/AppConstants.h"
#include "window/FrameSplitViewController.h"
#include "window/SuggestWndController.h"
#include "window/views/MVTableView.h"

#include <QStringListModel>
#include <QToolButton>
#include <QTest>

class TestWindowShellTabs : public ShellFixture {
    Q_OBJECT
private slots:
    void init() { setUpShell(); }
    void cleanup() { tearDownShell(); }

    void startShowsLookupTabWithFocusedField() {
        FrameWndController::initializeDefaults();
        makeFrame();
        frame->awakeFromNib();
        QCOMPARE(frame->viewTag(), 0);
        QCOMPARE(frame->lastLabel(), QStringLiteral("ChaciItem"));
        QVERIFY(!lookup->widget.isHidden());
        QVERIFY(fanyi->widget.isHidden());
        QCOMPARE(MVToolBarController::sharedInstance().mainVC(), lookup);
        QCOMPARE(field()->placeholderText(), QStringLiteral("搜索单词"));
    }

    void tabTransitions() {
        FrameWndController::initializeDefaults();
        makeFrame();
        frame->awakeFromNib();
        auto& toolbar = MVToolBarController::sharedInstance();

        // Dictionary tab with an empty field still looks up the empty text.
        lookup->calls.clear();
        frame->chaciClick(QString());
        QVERIFY(lookup->calls.contains(QStringLiteral("doQuery:")));

        // Example sentences with an empty field: result page and welcome content.
        lookup->calls.clear();
        frame->lijuClick();
        QVERIFY(lookup->calls.contains(QStringLiteral("loadResult")));
        QVERIFY(lookup->calls.contains(QStringLiteral("welcome")));
        QVERIFY(!lookup->calls.join(QLatin1Char(',')).contains(QStringLiteral("doQuery")));
        QCOMPARE(toolbar.currentSelectedTab(), 1);

        // Translation tab takes the search text; a second click changes nothing.
        field()->setText(QStringLiteral("hello"));
        frame->fanyiClick();
        QCOMPARE(frame->viewTag(), 1);
        QVERIFY(frame->isShowingFanyiView());
        QCOMPARE(fanyi->text, QStringLiteral("hello"));
        QVERIFY(!fanyi->calls.join(QLatin1Char(',')).contains(QStringLiteral("translate")));
        fanyi->calls.clear();
        frame->fanyiClick();
        QVERIFY(fanyi->calls.isEmpty());

        // Leaving translation carries the search field's text, not the translation text.
        fanyi->text = QStringLiteral("other text");
        lookup->calls.clear();
        frame->baikeClick();
        QCOMPARE(frame->viewTag(), 0);
        QVERIFY(!frame->isShowingFanyiView());
        QVERIFY(lookup->calls.contains(QStringLiteral("qc:3")));
        QVERIFY(lookup->calls.contains(QStringLiteral("doQuery:hello")));
        QVERIFY(!toolbar.searchTypeButton()->isVisibleTo(toolbar.view()));

        // Word book: side bar type 1, no lookup.
        lookup->calls.clear();
        frame->wordBookClick();
        QVERIFY(frame->isShowingWordBookView());
        QCOMPARE(FrameSplitViewController::sharedInstance().currentSideBarType(), 1);
        QVERIFY(!FrameSplitViewController::sharedInstance().hideSideBarFlag());
        QVERIFY(!lookup->calls.join(QLatin1Char(',')).contains(QStringLiteral("doQuery")));
        QVERIFY(events.contains(QStringLiteral("action=tab_wordbook")));
        QCOMPARE(toolbar.currentSelectedTab(), 4);

        // Any other tab puts the ordinary side bar (type 0) back, rows or not.
        frame->chaciClick(QString());
        QCOMPARE(FrameSplitViewController::sharedInstance().currentSideBarType(), 0);
        QVERIFY(!FrameSplitViewController::sharedInstance().hideSideBarFlag());
        QVERIFY(!frame->isShowingWordBookView());
        QVERIFY(toolbar.searchTypeButton()->isVisibleTo(toolbar.view()));
    }

    void jumpsToTabs() {
        FrameWndController::initializeDefaults();
        makeFrame();
        frame->awakeFromNib();
        lookup->calls.clear();
        frame->jumpToTab(4, QStringLiteral("word"));
        QVERIFY(!lookup->calls.join(QLatin1Char(',')).contains(QStringLiteral("doQuery")));
        QVERIFY(wordBook.calls.contains(QStringLiteral("fromBackForward:1")));
        QVERIFY(!frame->isShowingWordBookView());  // a jump leaves the flags alone

        frame->jumpToTab(2, QStringLiteral("a sentence"));
        QCOMPARE(frame->viewTag(), 1);
        QVERIFY(fanyi->calls.contains(QStringLiteral("translate:a sentence")));

        lookup->calls.clear();
        frame->jumpToTab(0, QStringLiteral("back"));
        QCOMPARE(frame->viewTag(), 0);
        QVERIFY(lookup->calls.contains(QStringLiteral("doQuery:back:NO")));

        lookup->calls.clear();
        frame->jumpToTab(3, QStringLiteral("wiki"));
        QCOMPARE(lookup->calls, (QStringList{QStringLiteral("qc:3"), QStringLiteral("welcome"),
                                             QStringLiteral("doQuery:wiki:NO")}));
        lookup->calls.clear();
        frame->jumpToTab(9, QStringLiteral("x"));
        QVERIFY(lookup->calls.isEmpty());
    }

    void typingOutsideTheField() {
        FrameWndController::initializeDefaults();
        makeFrame();
        frame->awakeFromNib();
        lookup->calls.clear();
        frame->keyDown(Qt::Key_A, QStringLiteral("a"));
        QCOMPARE(field()->text(), QStringLiteral("a"));
        QVERIFY(lookup->calls.contains(QStringLiteral("changed:a")));

        // Pasted text is not a change.
        lookup->pasted = true;
        lookup->calls.clear();
        frame->keyDown(Qt::Key_B, QStringLiteral("b"));
        QVERIFY(!lookup->calls.join(QLatin1Char(',')).contains(QStringLiteral("changed")));
        lookup->pasted = false;

        // Non-typing keys reach the word list only while it shows.
        frame->keyDown(Qt::Key_Down, QString());
        frame->keyDown(Qt::Key_Minus, QStringLiteral("-"));
        QVERIFY(wordBook.calls.filter(QStringLiteral("key:")).isEmpty());
        frame->wordBookClick();
        frame->keyDown(Qt::Key_Down, QString());
        QCOMPARE(wordBook.calls.filter(QStringLiteral("key:")).size(), 1);

        // Control characters never reach the field, nor do Alt, Ctrl and
        // Super combinations (they are shortcuts); Shift still types.
        field()->clear();
        frame->keyDown(Qt::Key_A, QStringLiteral("\x01"));
        for (Qt::KeyboardModifier m : {Qt::AltModifier, Qt::ControlModifier, Qt::MetaModifier})
            frame->keyDown(Qt::Key_5, QStringLiteral("5"), m);
        QCOMPARE(field()->text(), QString());
        frame->keyDown(Qt::Key_A, QStringLiteral("A"), Qt::ShiftModifier);
        QCOMPARE(field()->text(), QStringLiteral("A"));
        QVERIFY(FrameWndController::legalCharToQuery(QLatin1Char('Z')));
        QVERIFY(!FrameWndController::legalCharToQuery(QChar(0x00e9)));
    }

    void searchFieldChangesAndSuggestionWalk() {
        FrameWndController::initializeDefaults();
        makeFrame();
        frame->awakeFromNib();
        auto& suggest = SuggestWndController::sharedInstance();
        QStringListModel model({QStringLiteral("apple  苹果"), QStringLiteral("apply  应用"),
                                QStringLiteral("april  四月")});
        suggest.setModel(&model);
        suggest.setTableHidden(false);
        lookup->titles = {QStringLiteral("apple"), QStringLiteral("apply"), QStringLiteral("april")};

        lookup->calls.clear();
        QTest::keyClicks(field(), QStringLiteral("ap"));
        QVERIFY(lookup->calls.contains(QStringLiteral("changed:ap")));

        // Up with nothing selected selects row 0 without taking it; Return
        // then looks up the typed text.
        QTest::keyClick(field(), Qt::Key_Up);
        QCOMPARE(suggest.selectedRow(), 0);
        QVERIFY(!lookup->fromSuggest);
        lookup->calls.clear();
        QTest::keyClick(field(), Qt::Key_Return);
        QCOMPARE(field()->text(), QStringLiteral("ap"));
        QVERIFY(lookup->calls.contains(QStringLiteral("performQuery")));
        QVERIFY(MVToolBarController::sharedInstance().canGoBack());
        QVERIFY(!MVToolBarController::sharedInstance().canGoForward());

        // Down, Down, Down, Down stays on the last row; Return takes its title.
        suggest.suggestTableView()->clearSelection();
        for (int i = 0; i < 4; ++i) QTest::keyClick(field(), Qt::Key_Down);
        QCOMPARE(suggest.selectedRow(), 2);
        QVERIFY(lookup->fromSuggest);
        QTest::keyClick(field(), Qt::Key_Return);
        QCOMPARE(field()->text(), QStringLiteral("april"));
        QVERIFY(!lookup->fromSuggest);

        // Escape: with text it leaves the text; in an empty field the field gives up focus.
        QTest::keyClick(field(), Qt::Key_Escape);
        QCOMPARE(field()->text(), QStringLiteral("april"));
        field()->clear();
        lookup->calls.clear();
        QTest::keyClicks(field(), QStringLiteral("x"));
        QTest::keyClick(field(), Qt::Key_Backspace);
        QVERIFY(lookup->calls.contains(QStringLiteral("hideSuggest")));  // emptied
        suggest.setModel(nullptr);
    }

    void typingWhileTranslationShowsSwitchesTab() {
        FrameWndController::initializeDefaults();
        makeFrame();
        frame->awakeFromNib();
        frame->fanyiClick();
        lookup->calls.clear();
        QTest::keyClicks(field(), QStringLiteral("q"));
        QCOMPARE(frame->viewTag(), 0);
        QVERIFY(lookup->calls.contains(QStringLiteral("doQuery:q")));
        QVERIFY(!lookup->calls.contains(QStringLiteral("changed:q")));
    }

    void toolbarWidthRules() {
        // Strip order: dictionary, sentences, encyclopedia, translation, word book.
        const QList<QRect> frames{QRect(320, 8, 56, 44), QRect(380, 8, 56, 44), QRect(440, 8, 56, 44),
                                  QRect(500, 8, 56, 44), QRect(560, 8, 56, 44)};
        auto wide = MVToolBarController::widthRules(frames, 634, 80);
        for (bool v : wide.tabVisible) QVERIFY(v);
        QVERIFY(!wide.arrowShown && wide.settingsShown && wide.avatarAndLinksShown);
        QCOMPARE(wide.searchBoxWidth, 220);
        // Word book's right edge (611) reaches the avatar: arrow replaces settings.
        auto narrow = MVToolBarController::widthRules(frames, 611, 80);
        QVERIFY(!narrow.tabVisible[4] && narrow.tabVisible[3]);
        QVERIFY(narrow.arrowShown && !narrow.settingsShown);
        // Search box x + 220 equal to the avatar: already narrow, avatar and links hidden.
        auto tight = MVToolBarController::widthRules(frames, 300, 80);
        QCOMPARE(tight.searchBoxWidth, 184);
        QVERIFY(!tight.avatarAndLinksShown);
        QVERIFY(!tight.tabVisible[0]);
    }

    void languageButtonToggleIsIdempotent() {
        auto& tb = MVToolBarController::sharedInstance();
        tb.hideLanguageTypeButton(false);
        const QRect before = tb.searchField()->geometry();
        tb.hideLanguageTypeButton(false);
        QCOMPARE(tb.searchField()->geometry(), before);
        tb.hideLanguageTypeButton(true);
        QVERIFY(tb.searchField()->geometry().width() > before.width());
        tb.hideLanguageTypeButton(false);
        QCOMPARE(tb.searchField()->geometry(), before);
    }

    // ------------------------------------------------ suggestion window

    void suggestionWindowPlacement() {
        const QRect r = SuggestWndController::frameFor(QPoint(400, 100), 160, 16, 3 * 24);
        QCOMPARE(r, QRect(384, 176, 200, 88));
        QVERIFY(SuggestWndController::frameFor(QPoint(400, 100), 160, 16, 0).isNull());

        auto& suggest = SuggestWndController::sharedInstance();
        QStringListModel model({QStringLiteral("a"), QStringLiteral("b")});
        QWidget toolbar;
        toolbar.resize(600, 60);
        QWidget box(&toolbar);
        box.setGeometry(80, 16, 220, 28);
        QWidget input(&box);
        input.setGeometry(60, 2, 150, 24);
        toolbar.show();
        suggest.setAnchors(&toolbar, &box, &input);
        suggest.setModel(&model);
        suggest.setTableHidden(false);
        suggest.showSuggestWindow();
        QVERIFY(suggest.isVisible());
        QCOMPARE(suggest.window()->height(), 2 * 24 + 16);
        NotificationCenter::defaultCenter().post(MVCloseSuggestWndNotificatioin);
        QVERIFY(!suggest.isVisible());
        // Hidden table: nothing to show, the window stays closed.
        suggest.setTableHidden(true);
        suggest.showSuggestWindow();
        QVERIFY(!suggest.isVisible());
        suggest.setModel(nullptr);
        suggest.setAnchors(nullptr, nullptr, nullptr);
    }

    void tableViewKeysAndTyping() {
        struct Recorder : MVTableViewDelegate {
            QStringList got;
            void tableViewDidClickTableRow(MVTableView*, qint64 r) override { got << QStringLiteral("click:%1").arg(r); }
            void tableViewMouseEnteredInTableRow(MVTableView*, qint64) override {}
            void tableViewMouseExitedFromTableRow(MVTableView*, qint64) override {}
        } rec;
        MVTableView table;
        QStringListModel model({QStringLiteral("a"), QStringLiteral("b")});
        table.setModel(&model);
        table.setMVTableViewDelegate(&rec);
        QString typed;
        MVTableView::setTypingHandler([&typed](const QString& t) { typed += t; });
        table.setCurSelectedRow(1);
        QTest::keyClick(&table, Qt::Key_Down);  // already on the last row
        table.setCurSelectedRow(0);
        QTest::keyClick(&table, Qt::Key_Up);    // already on row 0
        QVERIFY(rec.got.isEmpty());
        QTest::keyClick(&table, Qt::Key_Down);
        QCOMPARE(rec.got, QStringList{QStringLiteral("click:1")});
        QTest::keyClick(&table, Qt::Key_K);
        QTest::keyClick(&table, Qt::Key_Tab);  // not printable text: stays in the table
        QCOMPARE(typed, QStringLiteral("k"));
        MVTableView::setTypingHandler({});
    }
};

QTEST_MAIN(TestWindowShellTabs)
#include "tst_window_shell_tabs.moc"
