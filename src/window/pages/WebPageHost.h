#pragma once

#include <QList>
#include <QObject>
#include <QPair>
#include <QPointer>
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

    // A JavaScript string literal for any text.
    static QString jsString(const QString& text);
    // Called for every host made from now on with its page and the channel
    // our local pages get (a higher layer puts its own objects and scripts
    // there, e.g. the crash kit's page-error hook). Main thread.
    using PageHook = std::function<void(QWebEnginePage* page, QWebChannel* channel)>;
    static void setPageHook(PageHook hook);

signals:
    void loadFinished(const QUrl& url, bool ok);

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

    QWebEngineView* view_ = nullptr;
    HostedWebPage* page_ = nullptr;
    QWebChannel* channel_ = nullptr;
    QPointer<QObject> bridge_;
    bool loading_ = false;
    bool channelInstalled_ = false;
    std::function<bool(const QUrl&)> navigationFilter_;
    std::vector<std::function<void()>> queue_;
    QList<QPair<QString, int>> bridgeMethods_{
        {QStringLiteral("doQuery"), 1}, {QStringLiteral("goURL"), 1}, {QStringLiteral("goTab"), 3},
        {QStringLiteral("doLog"), 3}, {QStringLiteral("addToWordBook"), 3},
        {QStringLiteral("removeFromWordBook"), 1}, {QStringLiteral("playAudio"), 1}};
};
