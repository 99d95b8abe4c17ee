#pragma once

#include "platform/hotkeys/HotkeyCenter.h"
#include "window/ShellPages.h"
#include "window/ShellServices.h"

#include <QStringList>
#include <QWidget>
#include <map>

// Records every registration; combinations listed in `refused` fail.
class FakeHotkeyCenter : public HotkeyCenter {
public:
    bool registerHotKey(int keyCode, quint64 flags, Action action) override {
        const auto key = std::make_pair(keyCode, flags);
        if (refused.count(key) || registered.count(key)) return false;
        registered[key] = std::move(action);
        log << QStringLiteral("+%1/%2").arg(keyCode).arg(flags, 0, 16);
        return true;
    }
    void unregisterHotKey(int keyCode, quint64 flags) override {
        if (registered.erase(std::make_pair(keyCode, flags)))
            log << QStringLiteral("-%1/%2").arg(keyCode).arg(flags, 0, 16);
    }
    bool isRegistered(int keyCode, quint64 flags) const override {
        return registered.count(std::make_pair(keyCode, flags)) > 0;
    }
    void fire(int keyCode, quint64 flags) {
        auto it = registered.find(std::make_pair(keyCode, flags));
        if (it != registered.end() && it->second) it->second();
    }
    std::map<std::pair<int, quint64>, Action> registered;
    std::map<std::pair<int, quint64>, bool> refused;
    QStringList log;
};

class FakeLookupPage : public ShellLookupPage {
public:
    QWidget widget;
    QStringList calls;
    QString url = QStringLiteral("file:///firstpage.html");
    int tag = 0;
    bool pasted = false, fromSuggest = false;
    QStringList titles;
    bool prev = false, next = false;

    QWidget* view() override { return &widget; }
    void changeQueryController(int i) override { tag = i; calls << QStringLiteral("qc:%1").arg(i); }
    int getQueryControllerTag() const override { return tag; }
    void doQuery(const QString& t) override { calls << QStringLiteral("doQuery:") + t; }
    void doQueryAddHistory(const QString& t, bool h) override {
        calls << QStringLiteral("doQuery:%1:%2").arg(t, h ? QStringLiteral("YES") : QStringLiteral("NO"));
    }
    void performQuery() override { calls << QStringLiteral("performQuery"); }
    void hideSuggestTableView() override { calls << QStringLiteral("hideSuggest"); }
    void onSearchBoxChanged(const QString& t) override { calls << QStringLiteral("changed:") + t; }
    void loadWelcomePage() override { calls << QStringLiteral("welcome"); }
    QString mainFrameUrl() const override { return url; }
    void loadResultPage() override { calls << QStringLiteral("loadResult"); url = QStringLiteral("file:///result.html"); }
    void reloadWebView() override { calls << QStringLiteral("reload"); }
    void evaluateScript(const QString& s) override { calls << QStringLiteral("script:") + s; }
    bool isPasted() const override { return pasted; }
    void setIsPasted(bool p) override { pasted = p; }
    bool isSelectedFromSuggestList() const override { return fromSuggest; }
    void setIsSelectedFromSuggestList(bool s) override { fromSuggest = s; }
    QStringList suggestTitleList() const override { return titles; }
    void suggestionSelectionChanged(int row) override { calls << QStringLiteral("selected:%1").arg(row); }
    void languageButtonSelectionChanged(int t) override { calls << QStringLiteral("lang:%1").arg(t); }
    void updateOperationInfo() override { calls << QStringLiteral("operationInfo"); }
    void changeMVToolBarThemeActive(bool a) override { calls << QStringLiteral("theme:%1").arg(a); }
    void zoomWebViewWithFactor(float f) override { calls << QStringLiteral("zoom:%1").arg(f); }
    bool goBack() override { calls << QStringLiteral("back"); return prev; }
    bool goForward() override { calls << QStringLiteral("forward"); return next; }
    bool canGoBack() const override { return false; }
    bool canGoForward() const override { return false; }
};

class FakeTranslationPage : public ShellTranslationPage {
public:
    QWidget widget;
    QStringList calls;
    QString text;
    QWidget* view() override { return &widget; }
    void changeQueryController(int i) override { calls << QStringLiteral("qc:%1").arg(i); }
    QString inputText() const override { return text; }
    void setInputText(const QString& t) override { text = t; calls << QStringLiteral("input:") + t; }
    void focusInput() override { calls << QStringLiteral("focus"); }
    void showLanguageButton() override { calls << QStringLiteral("langButton"); }
    void doQuery(const QString& t) override { calls << QStringLiteral("translate:") + t; }
    void setInputEditable(bool e) override { calls << QStringLiteral("editable:%1").arg(e); }
    void paste() override { calls << QStringLiteral("paste"); }
};

class FakeWordBook : public WordBookServices {
public:
    bool syncing = false;
    QStringList calls;
    void configure(const QString& db, const QString& url) override { calls << QStringLiteral("configure:%1:%2").arg(db, url); }
    bool isSyncing() const override { return syncing; }
    void showParaphaseForFirstWord() override { calls << QStringLiteral("firstWord"); }
    void setClickFromBackOrForwardButton(bool b) override { calls << QStringLiteral("fromBackForward:%1").arg(b); }
    void wordListKeyDown(int key, const QString&) override { calls << QStringLiteral("key:%1").arg(key); }
};

class FakeAccount : public AccountServices {
public:
    std::atomic<int> autoLogins{0};
    void autoLogin() override { ++autoLogins; }
};
