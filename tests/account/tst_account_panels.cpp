// The login and logout panels with the real session object against the
// fake account service.
#include "AccountTestSupport.h"

#include "account/LoginPanelController.h"
#include "account/LogoutPanelController.h"
#include "platform/UserDefaults.h"
#include "query/AppConstants.h"
#include "window/views/MVToolBarItemView.h"

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QtTest>

namespace {
LoginPanelController& panel() { return LoginPanelController::sharedInstance(); }

void openMailPage() {
    panel().showWindow();
    panel().changeToInputTableWithLoginType(2);
}

QStringList shown() {
    QStringList out;
    for (int i = 0; i < panel().suggestAccountTable()->count(); ++i) out << panel().suggestAccountTable()->item(i)->text();
    return out;
}
}  // namespace

class TestAccountPanels : public QObject {
    Q_OBJECT
private slots:
    void cleanup() { panel().window()->hide(); }

    void completionAndKeys() {
        AccountWorld w;
        openMailPage();
        QLineEdit* name = panel().usernameField();
        QVERIFY(panel().passwordField()->echoMode() == QLineEdit::Password);
        QTest::keyClicks(name, "bob");
        const QStringList all = {"bob@kemo.example", "bob@kemo-vip.example", "bob@kemo-mail.example",
                                 "bob@kemo-net.example", "bob@kemo-cn.example"};
        QVERIFY(panel().isShowingSuggestAccounts());
        QCOMPARE(shown(), all);
        QCOMPARE(panel().suggestAccountTable()->currentRow(), 0);
        QTest::keyClick(name, Qt::Key_Up);  // first row: stays
        QCOMPARE(panel().suggestAccountTable()->currentRow(), 0);
        for (int i = 0; i < 6; ++i) QTest::keyClick(name, Qt::Key_Down);  // last row: stays
        QCOMPARE(panel().suggestAccountTable()->currentRow(), 4);
        QTest::keyClick(name, Qt::Key_Return);
        QCOMPARE(name->text(), all[4]);
        QVERIFY(!panel().isShowingSuggestAccounts());
        name->clear();
        QTest::keyClicks(name, "bob@");
        QCOMPARE(shown(), all);
        QTest::keyClicks(name, "kemo-");
        QCOMPARE(shown(), all.mid(1));
        QTest::keyClicks(name, "x");
        QVERIFY(!panel().isShowingSuggestAccounts());
        // Without the list, Return moves from the name to the password field.
        panel().updateSuggestAccountsWithUserName("ann@kemo-c");
        QCOMPARE(panel().suggestAccounts(), QStringList{"ann@kemo-cn.example"});
    }

    void hints_data() {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QString>("hint");
        QTest::newRow("460") << QByteArray(R"({"tpcode":460})") << "密码错误";
        QTest::newRow("420") << QByteArray(R"({"tpcode":420})") << "用户不存在";
        QTest::newRow("422") << QByteArray(R"({"tpcode":422})") << "账户被锁定";
        QTest::newRow("412") << QByteArray(R"({"tpcode":412})") << "登录错误超过6次";
        QTest::newRow("500") << QByteArray(R"({"tpcode":500})") << "服务器错误";
        QTest::newRow("other") << QByteArray(R"({"tpcode":1})") << "登录失败";
        QTest::newRow("broken") << QByteArray("}{") << "登录失败";
    }
    // Each refusal's hint; the fields keep their text; showing the hint twice
    // moves the check box once, editing hides it and moves it back.
    void hints() {
        QFETCH(QByteArray, reply);
        AccountWorld w;
        w.svc.onTls("/login/acc/login", ScriptedResponse(200, reply, "application/json"));
        openMailPage();
        const int y0 = panel().autoLoginButton()->y();
        panel().usernameField()->setText("bob@kemo.example");
        panel().passwordField()->setText("pw");
        QTest::mouseClick(panel().loginButton(), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(panel().loginButton()->isEnabled(), 5000);
        QTEST(panel().hintLabel()->text(), "hint");
        QVERIFY(panel().hintLabel()->isVisibleTo(panel().window()));
        QCOMPARE(panel().passwordField()->text(), QStringLiteral("pw"));
        panel().showHintLabel();
        QCOMPARE(panel().autoLoginButton()->y(), y0 + 20);
        QTest::keyClicks(panel().passwordField(), "x");
        QVERIFY(!panel().hintLabel()->isVisibleTo(panel().window()));
        QCOMPARE(panel().autoLoginButton()->y(), y0);
    }

    // The button is off while a login is in flight (a second Return sends
    // nothing); success empties the password and hides the panel.
    void loginInFlightAndSuccess() {
        AccountWorld w;
        auto& server = MVAuthServer::sharedInstance();
        w.svc.onTls("/login/acc/login", [&](const RecordedRequest& r) {
            auto ok = ScriptedResponse(200, R"({"DICT-PC":"p","userid":"bob"})", "application/json");
            ok.delayMs = 400;
            (void)r;
            return ok;
        });
        openMailPage();
        QVERIFY(panel().window()->isVisible());
        panel().usernameField()->setText("bob");
        QTest::keyClicks(panel().passwordField(), "pw");
        QTest::keyClick(panel().passwordField(), Qt::Key_Return);
        QVERIFY(!panel().loginButton()->isEnabled());
        QTest::keyClick(panel().passwordField(), Qt::Key_Return);
        QTRY_VERIFY_WITH_TIMEOUT(!panel().window()->isVisible(), 5000);
        QCOMPARE(int(w.svc.tlsRequests().size()), 1);
        QCOMPARE(panel().hintLabel()->text(), QStringLiteral("登录成功"));
        QVERIFY(panel().passwordField()->text().isEmpty());
        QVERIFY(server.hasLogined());
        server.logout();
    }

    void autoLoginCheckBox() {
        AccountWorld w;
        openMailPage();
        MVToolBarItemView* box = panel().autoLoginButton();
        const bool before = box->isSeleted();
        QTest::mouseClick(box, Qt::LeftButton);
        QCOMPARE(UserDefaults::standard().boolValue(autoLogin), !before);
        QTest::mouseClick(box, Qt::LeftButton);
        QCOMPARE(UserDefaults::standard().boolValue(autoLogin), before);
        panel().otherLoginTypeAction();
        QVERIFY(!box->isVisibleTo(panel().window()));
        QVERIFY(panel().loginTypeTable()->isVisibleTo(panel().window()));
    }

    // Logout from the panel: the user's name shows; waiting words get one
    // last synchronisation, which the logout waits for.
    void logoutPanel() {
        AccountWorld w;
        auto& server = MVAuthServer::sharedInstance();
        QVERIFY(!AccountWorld::login(server, "alice@mail.example").value());
        QTRY_VERIFY_WITH_TIMEOUT(!MVWordBook::sharedInstance().isSyncing(), 5000);
        auto& p = LogoutPanelController::sharedInstance();
        p.showWindow(nullptr);  // only the main window may open it
        QVERIFY(!p.window()->isVisible());
        MVWordBook::sharedInstance().addWord("pear", "", "n. 梨");
        MVWordBook::sharedInstance().waitForQueuedWork();
        QVERIFY(MVWordBook::sharedInstance().hasUnsyncWords());
        const size_t before = w.wbsvc.requests().size();
        w.wbsvc.queueAnswer(FakeWordBookService::answer(1), 200, 300);
        p.logoutButtonAction();
        QVERIFY(!server.hasLogined());
        QTRY_VERIFY_WITH_TIMEOUT(!server.isLogoutPending(), 5000);
        QCOMPARE(w.wbsvc.requests().size(), before + 1);
        QVERIFY(w.wbsvc.requests().back().header("Cookie").contains("DICT_SESS=sess-1"));
        QVERIFY(FakeWordBookService::documentOf(w.wbsvc.requests().back()).contains("pear"));
        QVERIFY(CookieJar::shared().cookies().isEmpty());
    }
};

QTEST_MAIN(TestAccountPanels)
#include "tst_account_panels.moc"
