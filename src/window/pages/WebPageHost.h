#pragma once

#include <QList>
#include <QObject>
#include <QPair>
#include <QPointer>
#include <QTimer>
#include <QUrl>
#include <QVariant>
#include <functional>
#include <vector>

class QWebChannel;
class QWebEnginePage;
class QWebEngineView;
class QWidget;
class HostedWebPage;

// One web view and everything the native side needs of it: whether the main
// frame is loading, a queue of script writes that waits for the page to load
// (so nobody has to spin an event loop), inner HTML set from JSON-escaped
// strings, and the script object `framewnd` published over a web channel to
// our own local pages only.
//
// A view hidden for kReleaseAfterHiddenMs gives its page's memory back: what
// the page shows is kept (markup, classes, scroll place) and the page is
// discarded; shown or written to again, it comes back with that content
// before any later write runs. A tray application keeps its windows for
// days, and each hidden page held a renderer's worth of DOM and script heap.
class WebPageHost : public QObject {
    Q_OBJECT
public:
    explicit WebPageHost(QWidget* parentWidget = nullptr);
    ~WebPageHost() override;

    QWebEngineView* view() const { return view_; }

    bool isLoading() const { return loading_; }
    QUrl url() const;
    // Loads one of the pages among the resources ("result.html").
    void loadResourcePage(const QString& fileName);
    void load(const QUrl& url);
    // Reloads the page shown; counts as loading from this call on, so writes
    // and queries issued right after it wait for the fresh document.
    void reload();

    // Runs script once the page has loaded (at once when it has).
    void runScript(const QString& script, std::function<void(const QVariant&)> done = {});
    void setInnerHtml(const QString& elementId, const QString& html);
    void afterLoading(std::function<void()> task);

    // The object published as `framewnd`; its public slots are what page
    // script can call, so it must expose nothing else.
    void setBridgeObject(QObject* bridge);
    // The methods page script sees on `framewnd`, with their argument
    // counts; the lookup page's seven unless a page sets its own (before it
    // loads).
    void setBridgeMethods(const QList<QPair<QString, int>>& methods);
    // Pages among our own resources, the only ones that get the bridge.
    static bool isLocalPage(const QUrl& url);
    bool showsLocalPage() const { return isLocalPage(url()); }

    // Decides main-frame navigations the page starts itself (links, script):
    // return false to ignore one.
    void setNavigationFilter(std::function<bool(const QUrl&)> filter);

    static constexpr int kReleaseAfterHiddenMs = 5 * 60 * 1000;
    // What the hidden timer does, at once (tests): false when the view is
    // shown, has nothing loaded or is already released.
    bool releaseNow();
    bool isReleased() const { return released_; }

    // A JavaScript string literal for any text.
    static QString jsString(const QString& text);
    // Called for every host made from now on with its page and the channel
    // our local pages get (a higher layer puts its own objects and scripts
    // there, e.g. the crash kit's page-error hook). Main thread.
    using PageHook = std::function<void(QWebEnginePage* page, QWebChannel* channel)>;
    static void setPageHook(PageHook hook);

signals:
    void loadFinished(const QUrl& url, bool ok);
    // The page was discarded (its content kept here).
    void released();

private:
    friend class HostedWebPage;
    bool acceptNavigation(const QUrl& url, bool isMainFrame, bool userInitiated);
    void onLoadStarted();
    void onLoadFinished(bool ok);
    void flushQueue();
    void installScripts();
    // The desktop's light or dark scheme as a class on <html>: set before
    // the page paints, and switched live on the page already shown.
    void applyColorScheme(bool dark);
    bool eventFilter(QObject* watched, QEvent* event) override;
    // Brings a released page back (reloads it; the kept content goes back
    // in when it has loaded).
    void wake();
    void restoreContent();

    QWebEngineView* view_ = nullptr;
    HostedWebPage* page_ = nullptr;
    QWebChannel* channel_ = nullptr;
    QPointer<QObject> bridge_;
    bool loading_ = false;
    bool channelInstalled_ = false;
    bool dark_ = false;
    QTimer releaseTimer_;
    QTimer collectTimer_;
    bool releasing_ = false;
    bool released_ = false;
    bool restoring_ = false;
    // Scripts run on the page so far: one run while the content was being
    // kept would be lost with the page.
    quint64 scriptsRun_ = 0;
    QString keptContent_;
    std::function<bool(const QUrl&)> navigationFilter_;
    std::vector<std::function<void()>> queue_;
    QList<QPair<QString, int>> bridgeMethods_{
        {QStringLiteral("doQuery"), 1}, {QStringLiteral("goURL"), 1}, {QStringLiteral("goTab"), 3},
        {QStringLiteral("doLog"), 3}, {QStringLiteral("addToWordBook"), 3},
        {QStringLiteral("removeFromWordBook"), 1}, {QStringLiteral("playAudio"), 1}};
};
