#pragma once

#include "account/MVAuthServer.h"
#include "platform/CookieJar.h"
#include "query/DictSettings.h"
#include "support/FakeAccountService.h"
#include "support/FakeWordBookService.h"
#include "support/TestEnv.h"
#include "window/ShellServices.h"
#include "wordbook/MVWordBook.h"

#include <QTest>
#include <optional>

// The word book screen as the account sees it: records the calls and starts
// real synchronisations of the real word book.
struct RecordingWordBook : WordBookServices {
    QList<bool> syncs;
    int resets = 0;
    void setShouldResetCurCategory(bool on) override { resets += on; }
    void startSync(bool needMerge) override {
        syncs << needMerge;
        MVWordBook::sharedInstance().startSyncWithDelegate(nullptr, needMerge);
    }
};

// A fresh world per test: defaults, settings, cookie jar, the account and
// word-book fakes, the real word book on a new file, nobody signed in.
struct AccountWorld {
    TestEnv env;
    FakeAccountService svc;
    FakeWordBookService wbsvc;
    RecordingWordBook screen;
    QList<QPair<QString, QVariantMap>> logs;

    AccountWorld() {
        FakeAccountService::trustTestCa();
        DictSettings::sharedInstance().resetForTesting();
        CookieJar::shared().setStorageFolder(env.dataHome());
        CookieJar::shared().clear();
        svc.scriptHappyPath();
        svc.pointDefaultsHere();
        wbsvc.queueAnswer(FakeWordBookService::answer(1));
        auto& wb = MVWordBook::sharedInstance();
        wb.configureWithDbPath(env.root() + QStringLiteral("/wordbook.db"), wbsvc.url());
        wb.didLoginWithUser(QStringLiteral(""));
        wb.didLogout();  // neither a current nor a previous user
        ShellServices::setWordBook(&screen);
        ShellServices::setLogger([this](const QString& k, const QString& v, const QVariantMap& extras) {
            QVariantMap m = extras;
            m.insert(QStringLiteral("__value"), v);
            logs.append({k, m});
        });
    }
    ~AccountWorld() {
        (void)QTest::qWaitFor([] { return !MVWordBook::sharedInstance().isSyncing(); }, 10000);
        MVWordBook::sharedInstance().waitForQueuedWork();
        MVAuthServer::sharedInstance().logout();  // while this world's files still exist
        ShellServices::setWordBook(nullptr);
        ShellServices::setLogger({});
    }

    static std::optional<AccountError> login(MVAuthServer& server, const QString& name, const QString& pw = "pw") {
        std::optional<AccountError> out;
        server.loginWithUsername(name, pw, [&](const AccountError& e) { out = e; });
        (void)QTest::qWaitFor([&] { return out.has_value() || server.mergeAlert(); }, 15000);
        return out;
    }
    // Scripts the own-account login of `userid`.
    void scriptUser(const QString& userid) { svc.scriptHappyPath(userid, userid.section(u'@', 0, 0)); }
};
