// Main window controller, toolbar and search field, suggestion window,
// alerts, HUD and preferences, driven with page doubles and a fake hotkey
// centre (offscreen).
#include "ShellFakes.h"
#include "support/FakeHttpService.h"
#include "support/TestEnv.h"

#include "platform/hotkeys/KeyCodeTable.h"
#include "platform/NotificationCenter.h"
#include "platform/UserDefaults.h"
#include "query/AppConstants.h"
#include "window/FrameSplitViewController.h"
#include "window/FrameWndController.h"
#include "window/LoadingIndicator.h"
#include "window/SideBarViewController.h"
#include "query/SideBarItemModel.h"
#include "query/StartAppControl.h"
#include "platform/FullScreenDetector.h"
#include <QFile>
#include "window/MVAlertWndController.h"
#include "window/MVHUDWndController.h"
#include "window/MVSearchField.h"
#include "window/MVToolBarController.h"
#include "window/PreferencePanelController.h"
#include "window/ShortcutRecorder.h"
#include "window/SuggestWndController.h"
#include "window/UpdateCheck.h"
#include "window/views/HyperlinkTextField.h"
#include "window/views/MVTableView.h"
#include "window/views/SmallViews.h"

#include <QAbstractAnimation>
#include <QButtonGroup>
#include <QCheckBox>
#include <QLabel>
#include <QSignalSpy>
#include <QStringListModel>
#include <QTest>
#include <QToolButton>
#include <memory>

namespace {
constexpr quint64 kCmd = KeyCodeTable::kCommandFlag;
constexpr quint64 kOpt = KeyCodeTable::kOptionFlag;
}  // namespace

class TestWindowShell : public QObject {
    Q_OBJECT

    std::unique_ptr<TestEnv> env;
    std::unique_ptr<FakeHttpService> site;
    FakeHotkeyCenter hotkeys;
    FakeWordBook wordBook;
    FakeAccount account;
    FakeLookupPage* lookup = nullptr;
    FakeTranslationPage* fanyi = nullptr;
    std::unique_ptr<FrameWndController> frame;
    QStringList events;

    void makeFrame() {
        frame.reset();
        delete lookup;
        delete fanyi;
        lookup = new FakeLookupPage;
        fanyi = new FakeTranslationPage;
        FakeLookupPage* l = lookup;
        FakeTranslationPage* f = fanyi;
        frame = std::make_unique<FrameWndController>([l, f](FrameWndController*) {
            return FrameWndController::Pages{l, f};
        });
    }
    MVSearchField* field() const { return MVToolBarController::sharedInstance().searchField(); }

private slots:
    void init() {
        env = std::make_unique<TestEnv>();
        site = std::make_unique<FakeHttpService>();
        site->on(QStringLiteral("GET"), QStringLiteral("/mac-update/vorlane_update.xml"),
                 ScriptedResponse{404, "missing"});
        UserDefaults::standard().setValue(MVWebSiteHost, site->hostPort());
        UserDefaults::standard().setValue(MVServiceHost, site->hostPort());
        HotkeyCenter::setShared(&hotkeys);
        hotkeys.registered.clear();
        hotkeys.refused.clear();
        hotkeys.log.clear();
        wordBook = FakeWordBook();
        ShellServices::setWordBook(&wordBook);
        ShellServices::setAccount(&account);
        events.clear();
        ShellServices::setLogger([this](const QString& k, const QString& v, const QVariantMap&) {
            events << k + QLatin1Char('=') + v;
        });
        field()->clear();
    }
    void cleanup() {
        frame.reset();
        delete lookup;
        delete fanyi;
        lookup = nullptr;
        fanyi = nullptr;
        HotkeyCenter::setShared(nullptr);
        ShellServices::setWordBook(nullptr);
        ShellServices::setAccount(nullptr);
        ShellServices::setLogger({});
        site.reset();
        env.reset();
    }

    // ------------------------------------------------ start-up defaults

    void defaultsFirstUseThenEveryStart() {
        auto& d = UserDefaults::standard();
        FrameWndController::initializeDefaults();
        QCOMPARE(d.integerValue(HideWindowCode), 7);
        QCOMPARE(d.integerValue(HideWindowFlags), 0x180000);
        QCOMPARE(d.integerValue(ScreenTransCode), 100);
        QCOMPARE(d.integerValue(WordStrokeFlags), 0);
        QVERIFY(d.boolValue(NotFirstUse));
        // A user's own combination survives the next start; the zoom and
        // mini-search values are put back every time.
        d.setValue(HideWindowCode, 40);
        d.setValue(ScreenTransFlags, 0x100000);
        d.setValue(MVWebViewZoomOutKey, 3);
        d.setValue(MVMiniSearchCodeFlagsKey, 0);
        env->restart();
        FrameWndController::initializeDefaults();
        auto& d2 = UserDefaults::standard();
        QCOMPARE(d2.integerValue(HideWindowCode), 40);
        QCOMPARE(d2.integerValue(ScreenTransFlags), 0x100000);
        QCOMPARE(d2.integerValue(MVWebViewZoomOutKey), 27);
        QCOMPARE(d2.integerValue(MVWebViewZoomInKey), 24);
        QCOMPARE(d2.integerValue(MVMiniSearchCodeFlagsKey), 0x80000);
    }

    void firstStartRegistersOnlyHotkeysWithModifiers() {
        FrameWndController::initializeDefaults();
        makeFrame();
        frame->registerHotKey();
        QVERIFY(hotkeys.isRegistered(7, 0x180000));
        QVERIFY(hotkeys.isRegistered(6, kOpt));
        QCOMPARE(hotkeys.registered.size(), size_t(2));  // F8 and F7 have no modifier
    }

    void unusableStoredHotkeysRegisterNothing_data() {
        QTest::addColumn<int>("code");
        QTest::addColumn<int>("flags");
        QTest::newRow("code 0") << 0 << 0x100000;
        QTest::newRow("code -1") << -1 << 0x100000;
        QTest::newRow("flags 0") << 7 << 0;
    }
    void unusableStoredHotkeysRegisterNothing() {
        QFETCH(int, code);
        QFETCH(int, flags);
        auto& d = UserDefaults::standard();
        FrameWndController::initializeDefaults();
        d.setValue(HideWindowCode, code);
        d.setValue(HideWindowFlags, flags);
        // Stored flags of the fixed hotkeys only decide whether they register.
        d.setValue(MVMiniSearchCodeFlagsKey, 0x20000);
        makeFrame();
        frame->registerHotKey();
        QCOMPARE(hotkeys.registered.size(), size_t(1));
        QVERIFY(hotkeys.isRegistered(6, kOpt));
    }

    // Zoom is a key of the main window: a global grab would take Ctrl+=
    // and Ctrl+- from every other program.
    void zoomIsAWindowKeyNotAGlobalHotkey() {
        FrameWndController::initializeDefaults();
        makeFrame();
        frame->awakeChrome();
        frame->registerHotKey();
        QVERIFY(!hotkeys.isRegistered(27, kCmd));
        QVERIFY(!hotkeys.isRegistered(24, kCmd));
        frame->window()->show();
        frame->window()->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(frame->window()));
        QTest::keyClick(field(), Qt::Key_Minus, Qt::ControlModifier);
        QTest::keyClick(field(), Qt::Key_Equal, Qt::ControlModifier);
        QCOMPARE(lookup->calls.filter(QStringLiteral("zoom:")),
                 QStringList({QStringLiteral("zoom:0.9"), QStringLiteral("zoom:1.1")}));
    }

    void launchingFinishedBookkeeping() {
        auto& d = UserDefaults::standard();
        FrameWndController::initializeDefaults();
        d.setValue(loginSuccessType, 2);
        d.setValue(autoLogin, false);
        account.autoLogins = 0;
        makeFrame();
        frame->awakeFromNib();
        frame->applicationDidFinishLaunching();
        QVERIFY(!d.boolValue(MVShowWordStrokeAlertKey));  // no version stored yet
        QVERIFY(!d.stringValue(MVAPPVersionKey).isEmpty());
        QTest::qWait(50);
        QCOMPARE(account.autoLogins.load(), 0);
        // Word book synchronisation address: every value is escaped.
        QCOMPARE(wordBook.calls.size(), 1);
        QVERIFY(wordBook.calls.first().startsWith(
            QStringLiteral("configure:wordbook.db:http://") + site->hostPort() +
            QStringLiteral("/wordbook/api?keyfrom=mac.main&id=")));
        frame->applicationDidFinishLaunching();
        QVERIFY(d.boolValue(MVShowWordStrokeAlertKey));  // same version again
        d.setValue(autoLogin, true);
        frame->applicationDidFinishLaunching();
        QTRY_COMPARE(account.autoLogins.load(), 1);
    }

    void formattedUrlsEscapeEachValue() {
        const QString url = FrameWndController::wordBookSyncUrl(
            QStringLiteral("http://h"), QStringLiteral("AA:BB"), QStringLiteral("Think Pad&x=1"),
            QStringLiteral("S/N#1"), QStringLiteral("12 (bookworm)"));
        // The address is escaped as a whole: ":" and "/" stay, as the
        // service compares them; "&" and "=" would split the query.
        QCOMPARE(url, QStringLiteral("http://h/wordbook/api?keyfrom=mac.main&id=AA:BB&model=Think%20Pad%26x%3D1"
                                     "&deviceid=S/N%231&mid=12%20(bookworm)&requestNum=2000"));
        QVERIFY(FrameWndController::surveyUrl(QStringLiteral("1.0"), QStringLiteral("a&b=c"))
                    .endsWith(QStringLiteral("version=1.0&id=a%26b%3Dc&abTest=2")));
    }

    // ------------------------------------------------------------ tabs

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

    // ---------------------------------------------------- alert and HUD

    void alertKeysAndButtons() {
        int left = 0, right = 0;
        MVAlertWndController alert(QStringLiteral("m"), QStringLiteral("t"), true, [&] { ++left; }, true,
                                   [&] { ++right; });
        QVERIFY(alert.leftButton()->isHidden());
        alert.showWindow();
        // Return and keypad Enter press the right button even when it is hidden.
        QTest::keyClick(alert.window(), Qt::Key_Return);
        QTest::keyClick(alert.window(), Qt::Key_Enter, Qt::KeypadModifier);
        QCOMPARE(right, 2);
        // Escape answers nothing and leaves the alert up.
        QTest::keyClick(alert.window(), Qt::Key_Escape);
        QVERIFY(alert.window()->isVisible());
        QCOMPARE(left + right, 2);
        alert.setShowLeftButton(false);
        alert.changeLeftButtonTitle(QStringLiteral("取消"));
        alert.leftButton()->click();
        QCOMPARE(left, 1);
        QCOMPARE(alert.leftButton()->text(), QStringLiteral("取消"));
        alert.setTitle(QString());
        QCOMPARE(alert.window()->windowTitle(), QStringLiteral("米沃词典"));
        alert.hideWindow();
        QCOMPARE(MVAlertWndController::centredOrigin(QRect(100, 100, 400, 300), QSize(200, 100)),
                 QPoint(200, 200));
        QCOMPARE(MVAlertWndController::centredOrigin(QRect(100, 100, 100, 100), QSize(200, 200)),
                 QPoint(50, 50));
    }

    void quitGuardAsksOnlyWhileSyncing() {
        FrameWndController::initializeDefaults();
        makeFrame();
        frame->awakeFromNib();
        QSignalSpy quit(frame.get(), &FrameWndController::quitConfirmed);
        // The application's quit closes the windows one by one and stops at
        // the first refusal, leaving any open panel and the program running:
        // once the quit is confirmed the main window accepts its close.
        frame->window()->show();
        QVERIFY(!frame->window()->close());
        frame->requestQuit();
        QCOMPARE(quit.size(), 1);
        QVERIFY(frame->window()->close());
        frame->window()->setQuitting(false);

        wordBook.syncing = true;
        frame->requestQuit();
        auto& alert = MVAlertWndController::sharedInstance();
        QVERIFY(alert.window()->isVisible());
        QCOMPARE(alert.window()->windowTitle(), QStringLiteral("确定退出米沃词典？"));
        alert.leftButton()->click();  // 取消
        QVERIFY(!alert.window()->isVisible());
        QCOMPARE(quit.size(), 1);
        QVERIFY(!frame->shouldTeminatedApp());

        frame->requestQuit();
        // The alert holds the whole application until it is answered.
        QCOMPARE(alert.window()->windowModality(), Qt::ApplicationModal);
        QCOMPARE(QApplication::activeModalWidget(), alert.window());
        frame->window()->show();
        field()->clear();
        QTest::keyClick(frame->window()->windowHandle(), Qt::Key_A);
        QCOMPARE(field()->text(), QString());
        QTest::keyClick(alert.window(), Qt::Key_Return);  // 确定
        QTest::keyClick(frame->window()->windowHandle(), Qt::Key_A);
        QCOMPARE(field()->text(), QStringLiteral("a"));  // answered: typing reaches the window again
        // Ctrl+, opens the preferences: the platform's own key is unbound here.
        QTest::keyClick(frame->window()->windowHandle(), Qt::Key_Comma, Qt::ControlModifier);
        QVERIFY(frame->preferencePanelController().window()->isVisible());
        frame->preferencePanelController().window()->hide();
        QCOMPARE(quit.size(), 2);
        QVERIFY(frame->shouldTeminatedApp());
        QVERIFY(!alert.window()->isVisible());
    }

    void hudTimelineWithFakeClock() {
        QCOMPARE(MVHUDWndController::opacityAt(0, 0), 1.0);
        QCOMPARE(MVHUDWndController::opacityAt(299, 0), 1.0);
        QCOMPARE(MVHUDWndController::opacityAt(550, 0), 0.5);
        QVERIFY(MVHUDWndController::opacityAt(800, 0) < 0);
        QCOMPARE(MVHUDWndController::opacityAt(100, 200), 0.5);

        qint64 now = 1000;
        MVHUDWndController hud;
        hud.setClock([&now] { return now; });
        hud.showHUDWithMessage(QStringLiteral("已添加"), 0.2);
        QVERIFY(hud.window()->isVisible());
        QCOMPARE(hud.messageLabel()->text(), QStringLiteral("已添加"));
        now += 400;
        hud.tick();
        QCOMPARE(hud.window()->windowOpacity(), 1.0);
        // A new message replaces the pending one and restarts the sequence.
        hud.showHUDWithMessage(QStringLiteral("已删除"), 0.2);
        now += 700;
        hud.tick();
        QVERIFY(hud.window()->isVisible());
        QCOMPARE(hud.messageLabel()->text(), QStringLiteral("已删除"));
        now += 400;
        hud.tick();
        QVERIFY(!hud.window()->isVisible());  // hidden after the fade
        QVERIFY(!hud.isRunning());
    }

    // --------------------------------------------------- preferences

    void recorderRefusesUngrabbableCombination() {
        FrameWndController::initializeDefaults();
        auto& d = UserDefaults::standard();
        makeFrame();
        frame->registerHotKey();
        auto& prefs = frame->preferencePanelController();
        hotkeys.refused[{8, kCmd | KeyCodeTable::kShiftFlag}] = true;
        prefs.keyComboDidChange(0, 8, kCmd | KeyCodeTable::kShiftFlag);
        QCOMPARE(d.integerValue(HideWindowCode), 7);
        QCOMPARE(d.integerValue(HideWindowFlags), 0x180000);
        QVERIFY(hotkeys.isRegistered(7, 0x180000));  // the old one is back
        QCOMPARE(prefs.minimizingRecorder()->keyCode(), 7);

        prefs.keyComboDidChange(0, 9, kCmd);
        QCOMPARE(d.integerValue(HideWindowCode), 9);
        QVERIFY(hotkeys.isRegistered(9, kCmd));
        QVERIFY(!hotkeys.isRegistered(7, 0x180000));
        // The new hotkey runs the show-window action.
        frame->window()->hide();
        hotkeys.fire(9, kCmd);
        QTRY_VERIFY(frame->window()->isVisible());

        // A capture hotkey recorded with a modifier registers and toggles capture.
        prefs.keyComboDidChange(1, 100, kOpt);
        QVERIFY(hotkeys.isRegistered(100, kOpt));
        const bool before = d.boolValue(ScreenTrans);
        hotkeys.fire(100, kOpt);
        QTRY_COMPARE(d.boolValue(ScreenTrans), !before);
    }

    void recorderTurnsKeysIntoStoredCodes() {
        ShortcutRecorder rec;
        QSignalSpy spy(&rec, &ShortcutRecorder::keyComboDidChange);
        rec.startRecording();
        rec.recordKey(Qt::Key_Control, Qt::ControlModifier);  // modifiers alone wait
        QCOMPARE(spy.size(), 0);
        rec.recordKey(Qt::Key_X, Qt::ControlModifier | Qt::AltModifier);
        QCOMPARE(spy.size(), 1);
        QCOMPARE(spy.at(0).at(0).toInt(), 7);
        QCOMPARE(spy.at(0).at(1).toULongLong(), quint64(0x180000));
        rec.startRecording();
        rec.recordKey(Qt::Key_Escape, Qt::NoModifier);
        QCOMPARE(spy.size(), 1);
        QCOMPARE(rec.keyCode(), 7);
        QCOMPARE(KeyCodeTable::codeForQtKey(Qt::Key_F8), 100);
        QCOMPARE(KeyCodeTable::codeForQtKey(Qt::Key_Minus), 27);
        QCOMPARE(KeyCodeTable::x11ModifiersForFlags(0x180000), 0x4u | 0x8u);  // Ctrl + Alt
    }

    void preferencesStoreModifierAndAskForUpdate() {
        FrameWndController::initializeDefaults();
        makeFrame();
        auto& prefs = frame->preferencePanelController();
        prefs.modifierMatrix()->button(3)->click();
        QCOMPARE(UserDefaults::standard().integerValue(ScreenTransModifier), 3);
        prefs.changeModifier(7);  // never stored
        QCOMPARE(UserDefaults::standard().integerValue(ScreenTransModifier), 3);
        prefs.autoMinimizeBox()->setChecked(true);
        QVERIFY(UserDefaults::standard().boolValue(MinimizedAfterStart));
        // Launch at login: the default and the session's autostart entry together.
        prefs.autoLaunchBox()->setChecked(true);
        QVERIFY(UserDefaults::standard().boolValue(MVPreferenceAutoLaunch));
        QVERIFY(QFile::exists(StartAppControl::autostartFile()));
        prefs.autoLaunchBox()->setChecked(false);
        QVERIFY(!UserDefaults::standard().boolValue(MVPreferenceAutoLaunch));
        QVERIFY(!StartAppControl::willStartAtLogin(QCoreApplication::applicationFilePath()));
        // The update button runs a real manual check.
        site->clearRequests();
        prefs.updateButton()->click();
        QVERIFY(site->waitForRequests(1));
        QCOMPARE(site->requests().front().path, QStringLiteral("/mac-update/vorlane_update.xml"));
        QVERIFY(!frame->updateCheck().isAutoCheckUpdate());
    }

    void paneSwitchesNeverOverlap() {
        FrameWndController::initializeDefaults();
        makeFrame();
        auto& prefs = frame->preferencePanelController();
        prefs.showWindow();
        const int top = prefs.window()->geometry().top();
        prefs.changeToView(1);
        QVERIFY(prefs.isSwitchingPane());
        prefs.changeToView(2);  // the first switch ends at once
        QCOMPARE(prefs.currentPane(), 2);
        int running = 0;
        for (auto* a : prefs.findChildren<QAbstractAnimation*>(QString(), Qt::FindDirectChildrenOnly))
            running += a->state() == QAbstractAnimation::Running;
        QCOMPARE(running, 1);
        QTRY_VERIFY(!prefs.isSwitchingPane());
        QCOMPARE(prefs.window()->geometry().top(), top);
        prefs.changeToView(2);  // already showing: nothing starts
        QVERIFY(!prefs.isSwitchingPane());
        prefs.window()->hide();
    }

    void preferencesStayOnTheScreen() {
        FrameWndController::initializeDefaults();
        makeFrame();
        auto& prefs = frame->preferencePanelController();
        const QRect avail = frame->window()->screen()->availableGeometry();
        prefs.showWindow();
        QVERIFY(qAbs(prefs.window()->frameGeometry().center().y() - avail.center().y()) <= 2);
        // Low on the screen, the taller capture pane pushes the window up, whole.
        prefs.window()->move(prefs.window()->x(), avail.bottom() - prefs.window()->height() - 40);
        prefs.changeToView(1);
        QTRY_VERIFY(!prefs.isSwitchingPane());
        QVERIFY(prefs.window()->height() > 300);
        QVERIFY(avail.contains(prefs.window()->frameGeometry()));
        prefs.window()->hide();
        QCOMPARE(PreferencePanelController::fitOnScreen(QRect(0, 700, 100, 200), QRect(0, 0, 800, 800)),
                 QRect(0, 600, 100, 200));
    }

    // ------------------------------------------------------ bottom bar

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

QTEST_MAIN(TestWindowShell)
#include "tst_window_shell.moc"
