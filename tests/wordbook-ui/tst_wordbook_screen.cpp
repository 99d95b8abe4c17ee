// The word book screen against the real word book, query history and a fake
// synchronisation service.
#include "ScreenFixture.h"
#include "support/GuiTestHelpers.h"

#include "platform/UserNotices.h"
#include "query/HistoryRecordingFlags.h"
#include "window/MVAlertWndController.h"
#include "window/MVHUDWndController.h"
#include "wordbook-ui/CreateGroupPanelController.h"
#include "wordbook-ui/MVWordBookCellView.h"
#include "wordbook-ui/RenameGroupPanelController.h"
#include "wordbook-ui/WBAnimationManager.h"
#include "wordbook-ui/WBEditPanelController.h"
#include "wordbook-ui/WBWordActionManager.h"

#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <SQLiteCpp/SQLiteCpp.h>

namespace {
QStringList menuTexts(QMenu* m)
{
    QStringList out;
    for (QAction* a : m->actions())
        out << (a->isSeparator() ? QStringLiteral("-") : a->text());
    return out;
}

QAction* actionWithData(QMenu* m, const QString& data)
{
    for (QAction* a : m->actions())
        if (a->data().toString() == data)
            return a;
    return nullptr;
}

QString hudText()
{
    return MVHUDWndController::sharedInstance().messageLabel()->text();
}

void clearHud()
{
    MVHUDWndController::sharedInstance().messageLabel()->setText(QString());
}

QString column(const QString& db, const QString& sql)
{
    SQLite::Database d(db.toStdString());
    SQLite::Statement st(d, sql.toStdString());
    return st.executeStep() && !st.getColumn(0).isNull() ? QString::fromStdString(st.getColumn(0).getString())
                                                         : QString();
}
}  // namespace

class TestWordBookScreen : public QObject {
    Q_OBJECT
private slots:
    void listsByCategoryAndSort();
    void rowTextsAreCutOnCharacters();
    void menusListGroupsWithTheirNames();
    void shiftAndCtrlClicksBuildTheSelection();
    void keysTheTableLeavesDoNotBounce();
    void rowClickShowsStoredEntryThenLooksUp();
    void historyFlagsFollowTheScreen();
    void deleteCasesShowTheFollowingRow();
    void historyDeletesAndFavouriteAll();
    void refusedAddsClaimNothingAndLoseNothing();
    void groupPanelsReachTheStore();
    void editKeepsDateGroupsAndReview();
    void menusActOnTheWordsTheyOpenedFor();
    void syncButtonSynchronisesAndReports();
    void syncFailuresAsTheUserSeesThem();
    void firstSyncAfterLoginKeepsTheLookupTab();
    void aLargeBookIsListedWithoutStallingTheWindow();
};

void TestWordBookScreen::listsByCategoryAndSort()
{
    ScreenFixture f;
    f.addWords({"beta", "alpha"}, "2016-02-28");
    f.addWords({"cherry"}, "2016-03-01");
    f.book->addWordTags({"G1"});
    f.book->addTag("G1", {"alpha"});
    auto& s = f.open();
    // By date: the March section first.
    QCOMPARE(f.listed().first(), QStringLiteral("cherry"));
    s.changeSortType("按字母排序");
    QCOMPARE(f.listed(), (QStringList{"alpha", "beta", "cherry"}));
    QCOMPARE(s.sortLabel()->text(), QStringLiteral("字母"));
    s.changeSortType("unknown");
    QVERIFY(!s.isSortedByDate());
    s.changeSelectedGroupType("所有单词");
    QCOMPARE(f.listed().size(), 3);
    s.changeSelectedGroupType("未分组");
    QCOMPARE(f.listed(), (QStringList{"beta", "cherry"}));
    s.changeSelectedGroupType("G1");
    QCOMPARE(f.listed(), (QStringList{"alpha"}));
    // The stored paraphrase splits into phonetic and definition.
    f.book->addWord("delta", "[d]", "one\\ntwo\nthree");
    f.book->waitForQueuedWork();
    s.changeSelectedGroupType(QString());
    const WordBookRowEntry delta = s.entryAt(f.listed().indexOf("delta"));
    QCOMPARE(delta.phonetic, QStringLiteral("[d]"));
    QCOMPARE(delta.intp, QStringLiteral("one\\ntwo\nthree"));
    // Line breaks, stored or real, never make the one-line detail two lines.
    const QAbstractItemModel* m = s.wordListModel();
    const auto rows = m->match(m->index(0, 0), Qt::DisplayRole, QStringLiteral("delta"), 1, Qt::MatchExactly);
    QCOMPARE(rows.size(), 1);
    QCOMPARE(rows.first().data(WordListModel::DetailRole).toString(), QStringLiteral("one two thre..."));
}

void TestWordBookScreen::rowTextsAreCutOnCharacters()
{
    QCOMPARE(WordListModel::cut("abcdefghijkl"), QStringLiteral("abcdefghijkl"));
    QCOMPARE(WordListModel::cut("abcdefghijklm"), QStringLiteral("abcdefghijkl..."));
    // Twelve characters outside the basic plane: never half of one.
    const QString wide = QString::fromUcs4(U"𝔞𝔟𝔠𝔡𝔢𝔣𝔤𝔥𝔦𝔧𝔨𝔩𝔪");
    QCOMPARE(WordListModel::cut(wide), QString::fromUcs4(U"𝔞𝔟𝔠𝔡𝔢𝔣𝔤𝔥𝔦𝔧𝔨𝔩") + "...");
}

void TestWordBookScreen::menusListGroupsWithTheirNames()
{
    ScreenFixture f;
    f.addWords({"w"});
    f.book->addWordTags({"G1", "a&b"});
    auto& s = f.open();
    s.prepareGroupMenu();
    QCOMPARE(menuTexts(s.groupListMenu()), (QStringList{"未分组", "a&&b", "G1", "所有单词"}));
    s.prepareGroupMenu();  // rebuilt, not appended
    QCOMPARE(s.groupListMenu()->actions().size(), 4);
    actionWithData(s.groupListMenu(), "a&b")->trigger();
    QCOMPARE(s.curCategory(), QStringLiteral("a&b"));
    // A name is text, never markup.
    s.changeSelectedGroupType("<b>x</b>");
    QCOMPARE(s.allWordsLabel()->textFormat(), Qt::PlainText);
    QCOMPARE(s.allWordsLabel()->text(), QStringLiteral("<b>x</b>"));

    s.prepareManageMenu();
    QCOMPARE(menuTexts(s.manageSubMenu()), (QStringList{"G1", "a&&b", "-", "新建分组"}));
    QMenu* second = s.manageSubMenu()->actions().at(1)->menu();
    QCOMPARE(second->actions().at(0)->data().toInt(), 1);
    QCOMPARE(menuTexts(second), (QStringList{"重命名", "删除"}));

    s.changeSelectedGroupType(QString());
    QMenu* more = s.prepareMoreMenu(0);
    QCOMPARE(more, s.favoriteMoreMenu());
    QCOMPARE(menuTexts(s.favoriteSubMenu()), (QStringList{"G1", "a&&b", "未分组", "新建分组"}));
    QCOMPARE(s.menuWords(), QStringList{"w"});
}

void TestWordBookScreen::shiftAndCtrlClicksBuildTheSelection()
{
    ScreenFixture f;
    f.addWords({"a", "b", "c", "d", "e", "f"});
    auto& s = f.open();
    s.show();
    QVERIFY(QTest::qWaitForWindowExposed(&s));
    MVTableView* t = s.wordListTableView();
    auto rowPoint = [t](int r) { return t->visualRect(t->model()->index(r, 0)).center() - QPoint(40, 0); };
    // Real clicks: the modifiers come from the click itself.
    QTest::mouseClick(t->viewport(), Qt::LeftButton, Qt::NoModifier, rowPoint(5));
    QCOMPARE(s.curWordIndex(), 5);
    QTest::mouseClick(t->viewport(), Qt::LeftButton, Qt::ShiftModifier, rowPoint(2));
    QCOMPARE(s.selectedRows(), (QList<qint64>{5, 2, 3, 4}));
    QTest::mouseClick(t->viewport(), Qt::LeftButton, Qt::ControlModifier, rowPoint(1));
    QCOMPARE(s.selectedRows(), (QList<qint64>{1, 5, 2, 3, 4}));
    QVERIFY(s.wordListModel()->isSelected(3));
    // Hover is ignored during a multi-selection.
    s.rowEntered(0);
    QCOMPARE(s.curWordIndex(), 5);
    // A reload keeps the selection by word.
    const QString first = s.wordAt(1);
    f.addWords({"new"});
    s.changeSortType("按字母排序");
    QCOMPARE(s.selectedRows().size(), 5);
    QCOMPARE(s.wordAt(s.selectedRows().first()), first);
    // A plain click ends it; a Ctrl-click on the current row with nothing selected is harmless.
    s.rowClicked(0, Qt::NoModifier);
    QVERIFY(s.selectedRows().isEmpty());
    s.rowClicked(0, Qt::ControlModifier);
    QCOMPARE(s.selectedRows(), QList<qint64>{0});
}

namespace {
// The main window: keys nobody took go to the word list.
class KeyForwardingWindow : public QWidget {
public:
    WordBookViewController* screen = nullptr;
    int keys = 0;
protected:
    void keyPressEvent(QKeyEvent* e) override
    {
        ++keys;
        if (screen)
            screen->keyDown(e->key(), e->text());
    }
};
}  // namespace

void TestWordBookScreen::keysTheTableLeavesDoNotBounce()
{
    ScreenFixture f;
    f.addWords({"a", "b"});
    KeyForwardingWindow window;
    f.open().setParent(&window);
    window.screen = f.screen.get();
    window.show();
    QTest::keyClick(f.screen->wordListTableView(), Qt::Key_Control);
    QCOMPARE(window.keys, 2);  // the original and its one forwarded copy
    f.screen->rowClicked(0, Qt::NoModifier);
    f.screen->keyDown(Qt::Key_Down, QString());
    QCOMPARE(f.screen->curWordIndex(), 1);
    f.screen->setParent(nullptr);
}

void TestWordBookScreen::rowClickShowsStoredEntryThenLooksUp()
{
    ScreenFixture f;
    f.book->addWord("fonet", "[fəˈnet]", "n. 音标\\n发音");
    f.book->waitForQueuedWork();
    auto& s = f.open();
    s.rowClicked(0, Qt::NoModifier);
    QCOMPARE(f.shell.tab, 4);
    QVERIFY2(f.shell.page.resultHtml.contains(QString::fromUtf8("[fəˈnet]")), qPrintable(f.shell.page.resultHtml));
    QVERIFY(f.shell.page.resultHtml.contains("发音"));
    QVERIFY(f.shell.controller.shouldSwizzleLocalTrans());
    QCOMPARE(f.shell.controller.localTrans().size(), 2);
    QCOMPARE(f.shell.queries, QStringList{"history:fonet"});
    // Back or forward: no new entry, once.
    s.setClickFromBackOrForwardButton(true);
    s.rowClicked(0, Qt::NoModifier);
    s.rowClicked(0, Qt::NoModifier);
    QCOMPARE(f.shell.queries, (QStringList{"history:fonet", "plain:fonet", "history:fonet"}));

    // History rows look up without an entry and without the stored lines.
    f.history().addWord("hist", "历史", "{}");
    s.switchToHistory();
    QCOMPARE(f.shell.queries.last(), QStringLiteral("plain:hist"));
    QVERIFY(!f.shell.controller.shouldSwizzleLocalTrans());
    QVERIFY(f.shell.controller.localTrans().isEmpty());

    // An empty list puts the word book's page up.
    f.history().clearQueryHistory();
    s.reloadWordTable();
    QCOMPARE(f.shell.defaultPages, 1);
}

void TestWordBookScreen::historyFlagsFollowTheScreen()
{
    ScreenFixture f;
    f.addWords({"a"});
    auto& flags = HistoryRecordingFlags::sharedInstance();
    auto& s = f.open();
    s.show();
    QVERIFY(flags.shouldRecordHistory() && flags.needToRecordHistory());
    s.switchToHistory();
    QVERIFY(!flags.shouldRecordHistory() && !flags.needToRecordHistory());
    s.hide();
    // Leaving the screen records the very next lookup.
    QVERIFY(flags.shouldRecordHistory() && flags.needToRecordHistory());
    s.show();
    QVERIFY(!flags.shouldRecordHistory() && !flags.needToRecordHistory());
    s.switchToFavorites();
    s.rowClicked(0, Qt::NoModifier);
    QVERIFY(flags.shouldRecordHistory() && flags.needToRecordHistory());
}

void TestWordBookScreen::deleteCasesShowTheFollowingRow()
{
    ScreenFixture f;
    f.addWords({"e", "d", "c", "b", "a"});  // newest first: a b c d e
    auto& s = f.open();
    s.changeSortType("按字母排序");
    f.settle();
    auto del = [&](qint64 row) {
        s.actionManager().showDeleteActionAlert(row);
        QVERIFY(MVAlertWndController::sharedInstance().window()->isVisible());
        QCOMPARE(MVAlertWndController::sharedInstance().alertMessageLabel()->text(),
                 QStringLiteral("确定删除选中的单词？删除后将不可恢复。"));
        MVAlertWndController::sharedInstance().rightButtonAction();
        f.settle();
    };
    del(4);  // the last row: the one before it
    QCOMPARE(f.listed(), (QStringList{"a", "b", "c", "d"}));
    QCOMPARE(s.curWordIndex(), 3);
    del(1);  // the word that followed moves up
    QCOMPARE(s.curWordIndex(), 1);
    QCOMPARE(s.wordAt(1), QStringLiteral("c"));
    del(0);
    QCOMPARE(s.curWordIndex(), 0);
    QCOMPARE(f.listed(), (QStringList{"c", "d"}));

    // Multi: the row before the first selected, bounded to the shortened list.
    f.addWords({"x", "y", "z"});
    s.changeSortType("按字母排序");  // c d x y z
    f.settle();
    s.rowClicked(4, Qt::NoModifier);
    s.rowClicked(2, Qt::ControlModifier);
    s.rowClicked(3, Qt::ControlModifier);
    QCOMPARE(s.selectedRows(), (QList<qint64>{2, 4, 3}));
    s.actionManager().showDeleteActionAlert(0);
    MVAlertWndController::sharedInstance().rightButtonAction();
    f.settle();
    QCOMPARE(f.listed(), (QStringList{"c", "d"}));
    QCOMPARE(s.curWordIndex(), 1);
    QVERIFY(s.selectedRows().isEmpty());
    QVERIFY(!f.book->hasWord("y"));
}

// A word book that refuses every new row: "收藏成功" never shows, and a
// history word put in a new group stays in the history.
void TestWordBookScreen::refusedAddsClaimNothingAndLoseNothing()
{
    ScreenFixture f;
    for (const char* w : {"h1", "h0"})
        f.history().addWord(w, QStringLiteral("def ") + w, "{}");
    {
        SQLite::Database db((f.env.root() + "/wordbook.db").toStdString(), SQLite::OPEN_READWRITE);
        db.exec("CREATE TRIGGER refuse BEFORE INSERT ON WORDBOOK BEGIN SELECT RAISE(FAIL, 'refused'); END");
    }
    QStringList told;
    usernotices::setPresenter([&](const QString& t) { told << t; });
    auto& s = f.open();
    s.switchToHistory();
    clearHud();
    s.favoriteAll();
    QVERIFY(hudText() != QStringLiteral("收藏成功"));
    // Every answer is posted to the main thread by the time the queue is done.
    f.book->waitForQueuedWork();
    QCoreApplication::processEvents();
    QVERIFY(!told.isEmpty());
    QVERIFY(hudText() != QStringLiteral("收藏成功"));

    s.createGroupPanel().createNewGroupAndAddTagToWord(s.entryAt(0));
    s.createGroupPanel().window()->nameField()->setText("Study");
    s.createGroupPanel().saveAction();
    f.book->waitForQueuedWork();
    QCoreApplication::processEvents();
    QCOMPARE(f.history().getDictHistory().size(), 2);
    usernotices::setPresenter({});
}

void TestWordBookScreen::historyDeletesAndFavouriteAll()
{
    ScreenFixture f;
    int second = 0;
    f.history().setClock([&second] { return QDateTime(QDate(2020, 1, 1), QTime(0, 0, second++), Qt::UTC); });
    for (const char* w : {"h4", "h3", "h2", "h1", "h0"})
        f.history().addWord(w, QStringLiteral("def ") + w, "{}");
    // A favourite with its own edited definition and date.
    f.book->addWord("h2", "[p]", "mine");
    f.book->waitForQueuedWork();
    const QString db = f.env.root() + "/wordbook.db";
    const QString dateBefore = column(db, "SELECT TIME FROM WORDBOOK WHERE WORD='h2'");
    auto& s = f.open();
    s.switchToHistory();
    QCOMPARE(s.wordAt(0), QStringLiteral("h0"));
    // Multi: every selected item goes, collected before any is deleted.
    s.rowClicked(1, Qt::NoModifier);
    s.rowClicked(3, Qt::ShiftModifier);
    s.actionManager().showDeleteActionAlert(0);
    MVAlertWndController::sharedInstance().rightButtonAction();
    QCOMPARE(s.currentListCount(), 2);
    QCOMPARE(s.wordAt(1), QStringLiteral("h4"));
    QCOMPARE(s.curWordIndex(), 0);

    f.history().addWord("h2", "def h2", "{}");
    s.reloadWordTable();
    clearHud();
    s.favoriteAll();
    f.book->waitForQueuedWork();
    QTRY_COMPARE(hudText(), QStringLiteral("收藏成功"));
    QVERIFY(f.book->hasWord("h0") && f.book->hasWord("h4"));
    QCOMPARE(column(db, "SELECT INTP FROM WORDBOOK WHERE WORD='h2'"), QStringLiteral("[p]\\nmine"));
    QCOMPARE(column(db, "SELECT TIME FROM WORDBOOK WHERE WORD='h2'"), dateBefore);

    // A history row into "未分组" joins the book without a group.
    f.history().addWord("solo", "单独", "{}");
    s.reloadWordTable();
    s.prepareMoreMenu(0);
    actionWithData(s.historySubMenu(), "未分组")->trigger();
    f.book->waitForQueuedWork();
    QVERIFY(f.book->hasWord("solo"));
    QVERIFY(f.book->loadWordListWithCategory("未分组", false).contains("solo"));

    s.showCleanHistoryAlert();
    MVAlertWndController::sharedInstance().rightButtonAction();
    QCOMPARE(s.currentListCount(), 0);
}

void TestWordBookScreen::groupPanelsReachTheStore()
{
    ScreenFixture f;
    f.addWords({"one", "two"}, "2016-01-01");
    auto& s = f.open();
    GroupNameWindow* w = s.createGroupPanel().window();
    const QString grouped = s.wordAt(0);
    const QString db = f.env.root() + "/wordbook.db";
    const QString timeSql = QStringLiteral("SELECT TIME FROM WORDBOOK WHERE WORD='%1'").arg(grouped);
    const QString time = column(db, timeSql);
    s.createGroupPanel().createNewGroupAndAddTagToWord(s.entryAt(0));
    QVERIFY(w->isVisible());
    QVERIFY(!w->saveButton()->isEnabled());
    for (const QString& bad : {QStringLiteral("a;b"), QStringLiteral("未分组"), QStringLiteral("所有单词")}) {
        w->nameField()->setText(bad);
        QVERIFY(!w->saveButton()->isEnabled());
        QVERIFY(!w->hintLabel()->text().isEmpty());
    }
    w->nameField()->setText("");
    QTest::keyClick(w->nameField(), Qt::Key_Return);
    QVERIFY(w->isVisible());
    w->nameField()->setText("Study");
    QVERIFY(w->saveButton()->isEnabled());
    QTest::keyClick(w->nameField(), Qt::Key_Return);
    QVERIFY(!w->isVisible());
    f.settle();
    QCOMPARE(f.book->getTags(), QStringList{"Study"});
    QCOMPARE(f.book->loadWordListWithCategory("Study", false), QStringList{grouped});
    QCOMPARE(column(db, timeSql), time);  // a favourite keeps its row

    // Rename the shown group: the list follows the new name.
    s.changeSelectedGroupType("Study");
    s.renameGroupPanel().renameAction("Study");
    s.renameGroupPanel().window()->nameField()->setText("Exam");
    s.renameGroupPanel().saveAction();
    f.settle();
    QCOMPARE(f.book->getTags(), QStringList{"Exam"});
    QCOMPARE(s.curCategory(), QStringLiteral("Exam"));
    QCOMPARE(f.listed(), QStringList{grouped});

    // Delete: the words stay, without a group.
    s.renameGroupPanel().deleteAction("Exam");
    QCOMPARE(MVAlertWndController::sharedInstance().alertMessageLabel()->text(),
             QStringLiteral("确定删除分组Exam?\n删除后该分组内的单词将保留到未分组单词中"));
    MVAlertWndController::sharedInstance().rightButtonAction();
    f.settle();
    QVERIFY(f.book->getTags().isEmpty());
    QVERIFY(f.book->hasWord(grouped));
    QCOMPARE(s.curCategory(), QStringLiteral("所有单词"));
}

void TestWordBookScreen::editKeepsDateGroupsAndReview()
{
    ScreenFixture f;
    f.book->addWord("word", "[w]", "old");
    f.book->addWordTags({"G"});
    f.book->addTag("G", {"word"});
    f.book->store()->addRemForWords({"word"}, QString());
    f.book->waitForQueuedWork();
    const QString db = f.env.root() + "/wordbook.db";
    const QString time = column(db, "SELECT TIME FROM WORDBOOK");
    auto& s = f.open();
    WBEditPanelController& panel = s.editPanel();
    panel.showEditParaphasePanel(s.entryAt(0));
    QCOMPARE(panel.wordPhoneticLabel()->text(), QStringLiteral("word\n[w]"));
    QCOMPARE(panel.wordParaphaseLabel()->toPlainText(), QStringLiteral("old"));
    panel.wordParaphaseLabel()->setPlainText("new\\nlines");
    panel.editSaveButtonAction();
    f.settle();
    QCOMPARE(column(db, "SELECT INTP FROM WORDBOOK"), QStringLiteral("[w]\\nnew\\nlines"));
    QCOMPARE(column(db, "SELECT OP FROM WORDBOOK"), QStringLiteral("add"));
    QCOMPARE(column(db, "SELECT TIME FROM WORDBOOK"), time);
    QCOMPARE(column(db, "SELECT TAG FROM TAGTABLE WHERE WORD='word'"), QStringLiteral("G"));
    QCOMPARE(column(db, "SELECT COUNT(*) FROM REMTABLE WHERE WORD='word'"), QStringLiteral("1"));
    // The group changes only when picked in this opening.
    panel.showEditParaphasePanel(s.entryAt(0));
    panel.changeGroupTypeActionInEditPanel("未分组");
    panel.editSaveButtonAction();
    f.settle();
    QVERIFY(column(db, "SELECT TAG FROM TAGTABLE WHERE WORD='word'").isNull());
}

void TestWordBookScreen::menusActOnTheWordsTheyOpenedFor()
{
    ScreenFixture f;
    f.addWords({"c", "b", "a"}, "2016-01-01");
    f.book->addWordTags({"G"});
    auto& s = f.open();
    s.changeSortType("按字母排序");  // a b c; new words ("0…") sort first
    f.settle();
    const QString db = f.env.root() + "/wordbook.db";
    // A synchronisation puts a new word at the top while each menu is open.
    auto reloadWithNewWord = [&](const QString& w) {
        f.addWords({w});
        s.wordBookSyncSecuss();
        f.settle();
    };
    QCOMPARE(s.wordAt(1), QStringLiteral("b"));
    s.prepareMoreMenu(1);
    reloadWithNewWord("0n1");
    QCOMPARE(s.wordAt(1), QStringLiteral("a"));
    s.favoriteMoreMenu()->actions().last()->trigger();  // 删除单词
    MVAlertWndController::sharedInstance().rightButtonAction();
    f.settle();
    QVERIFY(!f.book->hasWord("b"));
    QVERIFY(f.book->hasWord("a"));

    s.prepareMoreMenu(1);  // a
    reloadWithNewWord("0n2");
    actionWithData(s.favoriteSubMenu(), "G")->trigger();
    f.settle();
    QCOMPARE(f.book->loadWordListWithCategory("G", false), QStringList{"a"});

    s.prepareMoreMenu(3);  // c
    s.favoriteMoreMenu()->actions().first()->trigger();  // 编辑释义
    reloadWithNewWord("0n3");
    s.editPanel().wordParaphaseLabel()->setPlainText("edited");
    s.editPanel().editSaveButtonAction();
    f.settle();
    QCOMPARE(column(db, "SELECT INTP FROM WORDBOOK WHERE WORD='c'"), QStringLiteral("\\nedited"));

    // The delete-group alert deletes the group it named.
    f.book->addWordTags({"G", "H"});
    s.renameGroupPanel().deleteAction("G");
    f.book->addWordTags({"A", "G", "H"});
    MVAlertWndController::sharedInstance().rightButtonAction();
    f.settle();
    QCOMPARE(f.book->getTags(), (QStringList{"A", "H"}));
}

void TestWordBookScreen::syncButtonSynchronisesAndReports()
{
    ScreenFixture f;
    auto& s = f.open();
    f.account.signedIn = false;
    s.syncBtnClickAction();
    QCOMPARE(f.shell.userPanels, 1);
    QCOMPARE(f.service.requests().size(), size_t(0));

    f.account.signedIn = true;
    f.book->didLoginWithUser("u");
    f.service.queueAnswer(FakeWordBookService::answer(3, "1", "1",
                                                      FakeWordBookService::action("add", "remote1", "t", "", 1400000000)),
                          200, 150);
    f.service.queueAnswer(FakeWordBookService::answer(0, "2", "2",
                                                      FakeWordBookService::action("add", "remote2", "t", "", 1400000000)),
                          200, 150);
    QList<quint64> progress;
    QObject probe;
    clearHud();
    s.syncBtnClickAction();
    s.syncBtnClickAction();  // while it runs: nothing more
    QTRY_VERIFY(s.animationManager().isAnimating());
    while (f.book->isSyncing()) {
        progress << s.lastSyncProgress();
        QTest::qWait(5);
    }
    QTRY_COMPARE(hudText(), QStringLiteral("同步成功"));
    QCOMPARE(f.service.requests().size(), size_t(2));
    QVERIFY(std::is_sorted(progress.begin(), progress.end()));
    QVERIFY(progress.size() > 2);
    f.book->waitForQueuedWork();
    s.loadWordListWithCategory(s.curCategory(), s.isSortedByDate());
    QVERIFY(f.listed().contains("remote1") && f.listed().contains("remote2"));
    QTRY_VERIFY_WITH_TIMEOUT(!s.animationManager().isAnimating(), 3000);
    QVERIFY(!s.syncBtnClicked());
}

void TestWordBookScreen::syncFailuresAsTheUserSeesThem()
{
    ScreenFixture f;
    auto& s = f.open();
    f.account.signedIn = true;
    f.book->didLoginWithUser("u");
    f.book->syncClient()->setTimeoutMs(300);
    auto press = [&] {
        clearHud();
        s.syncBtnClickAction();
        QTRY_VERIFY_WITH_TIMEOUT(!f.book->isSyncing(), 10000);
    };
    const QList<QPair<QByteArray, int>> failing = {
        {"<html>oops</html>", 500}, {"<result><errcode>0", 200}, {FakeWordBookService::answer(4), 200}};
    for (const auto& [body, status] : failing) {
        f.service.queueAnswer(body, status);
        press();
        QCOMPARE(hudText(), QStringLiteral("同步失败"));
    }
    {
        // The received words cannot be written.
        SQLite::Database d((f.env.root() + "/wordbook.db").toStdString(), SQLite::OPEN_READWRITE);
        d.exec("CREATE TRIGGER refuse BEFORE INSERT ON WORDBOOK BEGIN SELECT RAISE(ABORT, 'full'); END;");
    }
    f.service.queueAnswer(FakeWordBookService::answer(0, "9", "9", FakeWordBookService::action("add", "w", "t", "", 1400000000)));
    press();
    QCOMPARE(hudText(), QStringLiteral("同步失败"));
    SQLite::Database((f.env.root() + "/wordbook.db").toStdString(), SQLite::OPEN_READWRITE).exec("DROP TRIGGER refuse;");
    f.service.queueAnswer(FakeWordBookService::answer(1), 200, 1000);  // time-out
    press();
    QCOMPARE(hudText(), QStringLiteral("同步失败"));
    QTest::qWait(800);

    // Login error: the button opens the login panel, other starts stay silent.
    f.service.queueAnswer(FakeWordBookService::answer(8));
    press();
    QCOMPARE(f.account.loginPanels, 1);
    QCOMPARE(hudText(), QString());
    clearHud();
    s.startSync(false);
    QTRY_VERIFY_WITH_TIMEOUT(!f.book->isSyncing(), 10000);
    QCOMPARE(f.account.loginPanels, 1);
    QCOMPARE(hudText(), QString());

    // A sync started elsewhere shows its failure too; a refused connection.
    f.book->configureWithDbPath(f.env.root() + "/wordbook.db", QUrl("http://127.0.0.1:1/wordbook/api"));
    clearHud();
    s.setShouldResetCurCategory(true);
    s.startSync(false);
    QTRY_VERIFY_WITH_TIMEOUT(!f.book->isSyncing(), 10000);
    QCOMPARE(hudText(), QStringLiteral("同步失败"));
    QCOMPARE(s.curCategory(), QStringLiteral("所有单词"));
    QVERIFY(!s.shouldResetCurCategory());
}

// The first synchronisation after a login shows its newest word only on the
// word book tab; on the lookup tab it replaced the entry being read.
void TestWordBookScreen::firstSyncAfterLoginKeepsTheLookupTab()
{
    ScreenFixture f;
    f.addWords({"synced"});
    auto& s = f.open();
    f.shell.queries.clear();
    for (bool onWordBook : {false, true}) {
        f.shell.showingWordBook = onWordBook;
        s.setShouldResetCurCategory(true);
        s.wordBookSyncSecuss();
        f.settle();
        QVERIFY(!s.shouldResetCurCategory());
    }
    QCOMPARE(f.shell.queries, QStringList{"history:synced"});
}

// 300,000 words over three days: the window keeps turning while the list
// is read, and the list keeps the days' and letters' order.
void TestWordBookScreen::aLargeBookIsListedWithoutStallingTheWindow()
{
    ScreenFixture f;
    f.addWords({"seed"});
    constexpr int kWords = 300000;
    {
        SQLite::Database db((f.env.root() + "/wordbook.db").toStdString(), SQLite::OPEN_READWRITE);
        db.exec(QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < %1) "
                               "INSERT INTO WORDBOOK (WORD, DATE, TIME, INTP, TS, OP, USERNAME) "
                               "SELECT 'w' || i, '2025-01-0' || (1 + i % 3), s.TIME, 'n. 单词', s.TS, s.OP, s.USERNAME "
                               "FROM n, (SELECT * FROM WORDBOOK WHERE WORD = 'seed') AS s")
                    .arg(kWords - 1)
                    .toStdString());
    }
    guitest::LoopGapWatch gaps;
    f.screen = std::make_unique<WordBookViewController>(*f.book, &f.shell);
    auto& s = *f.screen;
    QTRY_COMPARE_WITH_TIMEOUT(s.currentListCount(), kWords + 1, 60000);
    QCOMPARE(s.wordAt(0), QStringLiteral("seed"));  // today, then the newest day first
    QCOMPARE(s.wordAt(1).mid(1).toInt() % 3, 2);
    QCOMPARE(s.wordAt(kWords).mid(1).toInt() % 3, 0);
    QSignalSpy listed(&s, &WordBookViewController::listReloaded);
    s.changeSortType("按字母排序");
    QTRY_COMPARE_WITH_TIMEOUT(listed.size(), 1, 60000);
    QCOMPARE(s.wordAt(0), QStringLiteral("seed"));
    QCOMPARE(s.wordAt(1), QStringLiteral("w0"));
    const qint64 longest = gaps.stop();
    qInfo("longest wait of the event loop: %lld ms", longest);
    QVERIFY2(longest < 500, qPrintable(QString::number(longest)));

    // All of it selected, and the selection follows its words to the new
    // order (a list lookup per row took minutes here).
    s.rowClicked(0, Qt::NoModifier);
    s.rowClicked(kWords, Qt::ShiftModifier);
    QCOMPARE(s.selectedRows().size(), kWords + 1);
    s.changeSortType("按时间排序");
    QTRY_COMPARE_WITH_TIMEOUT(listed.size(), 2, 60000);
    QCOMPARE(s.selectedRows().size(), kWords + 1);
}

QTEST_MAIN(TestWordBookScreen)
#include "tst_wordbook_screen.moc"
