#pragma once

// What every main-window shell test starts from: a fresh home, a stand-in
// web site and service, the fake hotkey centre, word book and account, page
// doubles, and the usage events the shell logs (offscreen).
#include "ShellFakes.h"
#include "support/FakeHttpService.h"
#include "support/TestEnv.h"

#include "platform/hotkeys/KeyCodeTable.h"
#include "platform/ServiceHost.h"
#include "platform/UserDefaults.h"
#include "window/FrameWndController.h"
#include "window/MVSearchField.h"
#include "window/MVToolBarController.h"

#include <QObject>
#include <QStringList>
#include <memory>

inline constexpr quint64 kCmd = KeyCodeTable::kCommandFlag;
inline constexpr quint64 kOpt = KeyCodeTable::kOptionFlag;

class ShellFixture : public QObject {
protected:
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

    // Each test's init() and cleanup().
    void setUpShell() {
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
    void tearDownShell() {
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
};
