#pragma once

#include <QString>
#include <QVariantMap>
#include <functional>

// What the main window asks of the subsystems that arrive later (account,
// desktop capture, kit host, crash reporting, word book synchronisation).
// Each is a small interface whose default does nothing; the subsystem
// installs its implementation before the main window controller is created.

class AccountServices {
public:
    virtual ~AccountServices() = default;
    // Starts the auto-login with the stored session and returns at once;
    // called on the main thread.
    virtual void autoLogin() {}
    virtual bool hasLogined() const { return false; }
    virtual void logout() {}
    virtual void showLoginPanel() {}
    // After a login or profile update the account code sets the avatar itself.
};

class CaptureServices {
public:
    virtual ~CaptureServices() = default;
    // Hover capture: one pointer check, then its monitor.
    virtual void startScreenTrans() {}
    // Selection capture: its monitor and poll.
    virtual void startWordStroke() {}
    virtual bool installChromePlugin() { return true; }
    virtual bool installFirefoxPlugin() { return false; }
    virtual bool startServer() { return true; }
    // The Services-menu equivalent (the D-Bus Query method) of the capture code.
    virtual void registerServiceProvider() {}
    virtual bool isShowingMiniWindow() const { return false; }
    virtual void showMiniWindow() {}
    virtual void hideMiniWindow() {}
    // Plain text of the clipboard; null when it holds none.
    virtual QString pasteText() const;
    // Which ways to other applications serve this session, one line each,
    // and why the others do not (for the preferences).
    virtual QStringList captureRoads() const { return {}; }
    // The word under a resting pointer can be captured in this session.
    virtual bool hasHover() const { return true; }
};

class KitHostServices {
public:
    virtual ~KitHostServices() = default;
    // Starts the kit host with the crash-reporting kit, once.
    virtual void startWithCrashKit() {}
    virtual void setUserIdentifier(const QString&) {}
    virtual void setUserEmail(const QString&) {}
    virtual void setUserName(const QString&) {}
};

class WordBookServices {
public:
    virtual ~WordBookServices() = default;
    virtual void configure(const QString& dbFileName, const QString& syncUrl) {
        (void)dbFileName;
        (void)syncUrl;
    }
    virtual bool isSyncing() const { return false; }
    // Words answered "added" that are not in the file yet (the facade's
    // queue); the quit guard asks while there are any.
    virtual bool hasPendingWrites() const;
    // The word book screen (side bar type 1); nullptr until it exists.
    virtual class QWidget* wordBookView() { return nullptr; }
    virtual void showParaphaseForFirstWord() {}
    virtual void setClickFromBackOrForwardButton(bool) {}
    virtual void setHistoryRecording(bool needToRecord, bool shouldRecord) {
        (void)needToRecord;
        (void)shouldRecord;
    }
    // The next list load starts again from the first category (after a login
    // or logout changes whose words the screen shows).
    virtual void setShouldResetCurCategory(bool) {}
    // Starts a synchronisation whose progress and end reach the word book
    // screen; needMerge carries the previous user's words over.
    virtual void startSync(bool needMerge) { (void)needMerge; }
    // Keys that are not typing (arrows, deletion) while the word book shows.
    virtual void wordListKeyDown(int qtKey, const QString& text) {
        (void)qtKey;
        (void)text;
    }
};

namespace ShellServices {

AccountServices& account();
CaptureServices& capture();
KitHostServices& kitHost();
WordBookServices& wordBook();
// Installs an implementation; nullptr restores the do-nothing default.
// The caller keeps ownership.
void setAccount(AccountServices* s);
void setCapture(CaptureServices* s);
void setKitHost(KitHostServices* s);
void setWordBook(WordBookServices* s);

// Usage events; the usage log installs its sender at start-up.
using Logger = std::function<void(const QString& key, const QString& value, const QVariantMap& extras)>;
void setLogger(Logger logger);
void logEvent(const QString& key, const QString& value, const QVariantMap& extras = {});

}  // namespace ShellServices
