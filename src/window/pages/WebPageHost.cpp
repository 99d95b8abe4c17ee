#include "window/pages/WebPageHost.h"

#include "platform/ColorScheme.h"
#include "platform/Resources.h"
#include "platform/TimingMark.h"
#include "window/WindowLog.h"

#include <QDebug>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QWebChannel>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>
#include <QWebEngineSettings>
#include <QWebEngineView>

class HostedWebPage : public QWebEnginePage {
public:
    HostedWebPage(WebPageHost* host, QObject* parent) : QWebEnginePage(parent), host_(host) {}

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override
    {
        const bool byPage = type == NavigationTypeLinkClicked || type == NavigationTypeFormSubmitted
                            || type == NavigationTypeOther || type == NavigationTypeRedirect;
        return host_->acceptNavigation(url, isMainFrame, byPage);
    }
    void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel level, const QString& message,
                                  int line, const QString& source) override
    {
        if (level == ErrorMessageLevel)
            qWarning().noquote() << "page script:" << message << source << line;
    }

private:
    WebPageHost* host_;
};

namespace {

// Calls from page script wait in a stand-in object until the channel is
// ready, then go through in order. Arguments are padded to each method's
// arity so that a page leaving one out still reaches the native side.
const char* kBootstrap = R"JS(
(function () {
  if (location.protocol !== 'file:') return;
  var arity = %ARITY%;
  var pending = [];
  var stub = {};
  Object.keys(arity).forEach(function (n) {
    stub[n] = function () { pending.push([n, Array.prototype.slice.call(arguments)]); };
  });
  window.framewnd = stub;
  if (typeof qt === 'undefined' || !qt.webChannelTransport) return;
  // One client per transport: other scripts of the page wait for this one.
  window.sharedWebChannelPending = true;
  new QWebChannel(qt.webChannelTransport, function (channel) {
    window.sharedWebChannel = channel;
    window.dispatchEvent(new Event('sharedwebchannel'));
    var real = channel.objects.framewnd;
    if (!real) return;
    var wrapped = {};
    Object.keys(arity).forEach(function (n) {
      wrapped[n] = function () {
        var args = Array.prototype.slice.call(arguments, 0, arity[n]);
        while (args.length < arity[n]) args.push(null);
        for (var i = 0; i < args.length; i++) if (args[i] === undefined) args[i] = null;
        real[n].apply(real, args);
      };
    });
    window.framewnd = wrapped;
    var calls = pending;
    pending = [];
    calls.forEach(function (c) { wrapped[c[0]].apply(null, c[1]); });
  });
})();
)JS";

// What the page shows, as one JSON text; and how it goes back into the same
// page freshly loaded. Page script binds its handlers to the document, so
// markup put back answers clicks as before.
const char* kKeepContent = R"JS(
(function () {
  var r = document.documentElement, b = document.body;
  return JSON.stringify({rc: r.className, rs: r.style.cssText, bc: b ? b.className : '',
                         bs: b ? b.style.cssText : '', html: b ? b.innerHTML : '',
                         x: window.scrollX, y: window.scrollY});
})()
)JS";

const char* kRestoreContent = R"JS(
(function (s, dark) {
  var r = document.documentElement, b = document.body;
  if (!b) return;
  r.className = s.rc; r.style.cssText = s.rs;
  b.className = s.bc; b.style.cssText = s.bs; b.innerHTML = s.html;
  r.classList.toggle('dark', dark);
  window.scrollTo(s.x, s.y);
})(JSON.parse(%1), %2);
)JS";

WebPageHost::PageHook& pageHook()
{
    static WebPageHost::PageHook hook;
    return hook;
}

QString readQtResource(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(f.readAll());
}

}  // namespace

WebPageHost::WebPageHost(QWidget* parentWidget) : QObject(parentWidget)
{
    view_ = new QWebEngineView(parentWidget);
    page_ = new HostedWebPage(this, view_);
    view_->setPage(page_);
    page_->settings()->setAttribute(QWebEngineSettings::LocalContentCanAccessFileUrls, true);
    // Our pages only show what the application writes into them; they have
    // no business reading remote addresses from script.
    page_->settings()->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, false);
    channel_ = new QWebChannel(this);
    installScripts();
    applyColorScheme(ColorScheme::shared().isDark());
    connect(&ColorScheme::shared(), &ColorScheme::changed, this, &WebPageHost::applyColorScheme);
    if (pageHook())
        pageHook()(page_, channel_);
    connect(page_, &QWebEnginePage::loadStarted, this, &WebPageHost::onLoadStarted);
    connect(page_, &QWebEnginePage::loadFinished, this, &WebPageHost::onLoadFinished);
    releaseTimer_.setSingleShot(true);
    releaseTimer_.setInterval(kReleaseAfterHiddenMs);
    connect(&releaseTimer_, &QTimer::timeout, this, &WebPageHost::releaseNow);
    // Each write leaves the old markup and the script that carried it as
    // garbage the engine is slow to collect on its own (platform/WebEngineSetup).
    collectTimer_.setSingleShot(true);
    collectTimer_.setInterval(1500);
    connect(&collectTimer_, &QTimer::timeout, this, [this] {
        if (!released_ && !loading_)
            page_->runJavaScript(QStringLiteral("if (typeof gc === 'function') gc();"));
    });
    view_->installEventFilter(this);
    // A view made hidden counts as hidden from now on.
    releaseTimer_.start();
}

WebPageHost::~WebPageHost()
{
    queue_.clear();
}

void WebPageHost::installScripts()
{
    const QString channelJs = readQtResource(QStringLiteral(":/qtwebchannel/qwebchannel.js"));
    for (const QWebEngineScript& old : page_->scripts().find(QStringLiteral("framewnd-bridge")))
        page_->scripts().remove(old);
    QStringList arity;
    for (const auto& [name, count] : bridgeMethods_)
        arity << QStringLiteral("%1: %2").arg(name).arg(count);
    QString bootstrap = QString::fromUtf8(kBootstrap);
    bootstrap.replace(QStringLiteral("%ARITY%"), QLatin1Char('{') + arity.join(QStringLiteral(", ")) + QLatin1Char('}'));
    QWebEngineScript script;
    script.setName(QStringLiteral("framewnd-bridge"));
    script.setSourceCode(channelJs + QLatin1Char('\n') + bootstrap);
    script.setInjectionPoint(QWebEngineScript::DocumentCreation);
    script.setWorldId(QWebEngineScript::MainWorld);
    script.setRunsOnSubFrames(false);
    page_->scripts().insert(script);
}

void WebPageHost::applyColorScheme(bool dark)
{
    dark_ = dark;
    // The <html> element may not exist yet when a document starts: wait for it.
    static const char* kScheme = R"JS(
(function (dark) {
  function apply() {
    var root = document.documentElement;
    if (!root) return false;
    root.classList.toggle('dark', dark);
    return true;
  }
  if (!apply()) new MutationObserver(function (m, o) { if (apply()) o.disconnect(); })
      .observe(document, { childList: true });
})(%1);
)JS";
    const QString source = QString::fromLatin1(kScheme).arg(dark ? QStringLiteral("true") : QStringLiteral("false"));
    for (const QWebEngineScript& old : page_->scripts().find(QStringLiteral("mirvok-color-scheme")))
        page_->scripts().remove(old);
    QWebEngineScript script;
    script.setName(QStringLiteral("mirvok-color-scheme"));
    script.setSourceCode(source);
    script.setInjectionPoint(QWebEngineScript::DocumentCreation);
    script.setWorldId(QWebEngineScript::MainWorld);
    script.setRunsOnSubFrames(false);
    page_->scripts().insert(script);
    // No white flash between pages in the dark.
    if (page_->backgroundColor().alpha() != 0)
        page_->setBackgroundColor(dark ? QColor(0x1e, 0x1e, 0x20) : QColor(Qt::white));
    if (isLocalPage(page_->url()))
        page_->runJavaScript(source);
}

QUrl WebPageHost::url() const
{
    return page_->url();
}

bool WebPageHost::isLocalPage(const QUrl& url)
{
    if (!url.isLocalFile())
        return false;
    const QString dir = QFileInfo(Resources::directory()).canonicalFilePath();
    const QString file = QFileInfo(url.toLocalFile()).canonicalFilePath();
    if (dir.isEmpty() || file.isEmpty())
        return false;
    return file.startsWith(dir + QLatin1Char('/'));
}

void WebPageHost::loadResourcePage(const QString& fileName)
{
    load(QUrl::fromLocalFile(Resources::path(QStringLiteral("pages/") + fileName)));
}

void WebPageHost::load(const QUrl& url)
{
    // The kept content belonged to the page this load replaces.
    keptContent_.clear();
    restoring_ = false;
    if (released_) {
        released_ = false;
        page_->setLifecycleState(QWebEnginePage::LifecycleState::Active);
    }
    // Writes issued from now on belong to the new document.
    loading_ = true;
    MIRVOK_MARK(qPrintable(QStringLiteral("page load: ") + url.fileName()));
    acceptNavigation(url, true, false);
    view_->load(url);
}

void WebPageHost::reload()
{
    // An empty view has nothing to reload and would never report a finish.
    if (url().isEmpty())
        return;
    loading_ = true;
    if (released_) {
        // Coming back is itself a fresh load of the page.
        released_ = false;
        keptContent_.clear();
        page_->setLifecycleState(QWebEnginePage::LifecycleState::Active);
        return;
    }
    view_->reload();
}

bool WebPageHost::acceptNavigation(const QUrl& url, bool isMainFrame, bool byPage)
{
    if (!isMainFrame)
        return true;
    if (byPage && navigationFilter_ && !navigationFilter_(url))
        return false;
    // Only our own pages may talk to the application.
    const bool local = isLocalPage(url);
    if (local && !channelInstalled_) {
        page_->setWebChannel(channel_);
        channelInstalled_ = true;
    } else if (!local && channelInstalled_) {
        page_->setWebChannel(nullptr);
        channelInstalled_ = false;
    }
    return true;
}

void WebPageHost::setPageHook(PageHook hook)
{
    pageHook() = std::move(hook);
}

void WebPageHost::setNavigationFilter(std::function<bool(const QUrl&)> filter)
{
    navigationFilter_ = std::move(filter);
}

void WebPageHost::setBridgeMethods(const QList<QPair<QString, int>>& methods)
{
    bridgeMethods_ = methods;
    installScripts();
}

void WebPageHost::setBridgeObject(QObject* bridge)
{
    if (bridge_)
        channel_->deregisterObject(bridge_);
    bridge_ = bridge;
    if (bridge)
        channel_->registerObject(QStringLiteral("framewnd"), bridge);
}

void WebPageHost::onLoadStarted()
{
    loading_ = true;
    // The engine brought the page back by itself.
    if (released_) {
        released_ = false;
        restoring_ = true;
    }
}

void WebPageHost::onLoadFinished(bool ok)
{
    loading_ = false;
    MIRVOK_MARK("page loaded");
    if (restoring_) {
        // The page as it was, not a new one: its owner has nothing to redo.
        restoring_ = false;
        if (ok)
            restoreContent();
        keptContent_.clear();
        flushQueue();
        return;
    }
    qCDebug(lcWindowPages).noquote() << "didFinishLoadForFrame";
    const QUrl u = url();
    emit loadFinished(u, ok);
    // A handler may have started another load; its writes wait for that one.
    if (!loading_)
        flushQueue();
}

void WebPageHost::flushQueue()
{
    while (!queue_.empty() && !loading_) {
        auto task = std::move(queue_.front());
        queue_.erase(queue_.begin());
        task();
    }
}

void WebPageHost::afterLoading(std::function<void()> task)
{
    wake();
    if (!loading_) {
        task();
        return;
    }
    queue_.push_back(std::move(task));
}

void WebPageHost::runScript(const QString& script, std::function<void(const QVariant&)> done)
{
    QPointer<WebPageHost> self(this);
    afterLoading([self, script, done = std::move(done)]() {
        if (!self)
            return;
        MIRVOK_MARK("script to the page");
        ++self->scriptsRun_;
        self->collectTimer_.start();
        if (done)
            self->page_->runJavaScript(script, [done](const QVariant& v) { done(v); });
        else
            self->page_->runJavaScript(script);
    });
}

QString WebPageHost::jsString(const QString& text)
{
    const QByteArray json = QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact);
    // Strip the array brackets: what is left is one quoted, escaped string.
    QString s = QString::fromUtf8(json.mid(1, json.size() - 2));
    // Line and paragraph separators end a line inside a script literal in
    // older engines; keep them escaped.
    s.replace(QChar(0x2028), QStringLiteral("\\u2028"));
    s.replace(QChar(0x2029), QStringLiteral("\\u2029"));
    return s;
}

void WebPageHost::setInnerHtml(const QString& elementId, const QString& html)
{
    MIRVOK_MARK("inner HTML asked");
    runScript(QStringLiteral("(function(){var e=document.getElementById(%1);if(e)e.innerHTML=%2;})();")
                  .arg(jsString(elementId), jsString(html)));
}

bool WebPageHost::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == view_) {
        if (event->type() == QEvent::Show) {
            releaseTimer_.stop();
            wake();
        } else if (event->type() == QEvent::Hide && !released_) {
            releaseTimer_.start();
        }
    }
    return QObject::eventFilter(watched, event);
}

bool WebPageHost::releaseNow()
{
    if (released_ || releasing_ || view_->isVisible() || url().isEmpty())
        return false;
    if (loading_) {
        releaseTimer_.start();
        return false;
    }
    releasing_ = true;
    const quint64 runBefore = scriptsRun_;
    QPointer<WebPageHost> self(this);
    page_->runJavaScript(QString::fromLatin1(kKeepContent), [self, runBefore](const QVariant& content) {
        if (!self)
            return;
        self->releasing_ = false;
        // Shown, loading or written to meanwhile: what was kept is stale.
        if (self->view_->isVisible())
            return;
        if (self->scriptsRun_ != runBefore || self->loading_ || content.typeId() != QMetaType::QString) {
            self->releaseTimer_.start();
            return;
        }
        self->page_->setLifecycleState(QWebEnginePage::LifecycleState::Discarded);
        if (self->page_->lifecycleState() != QWebEnginePage::LifecycleState::Discarded)
            return;
        self->keptContent_ = content.toString();
        self->released_ = true;
        emit self->released();
    });
    return true;
}

void WebPageHost::wake()
{
    if (!released_)
        return;
    released_ = false;
    restoring_ = true;
    loading_ = true;
    page_->setLifecycleState(QWebEnginePage::LifecycleState::Active);
}

void WebPageHost::restoreContent()
{
    if (keptContent_.isEmpty())
        return;
    page_->runJavaScript(QString::fromLatin1(kRestoreContent)
                             .arg(jsString(keptContent_), dark_ ? QStringLiteral("true") : QStringLiteral("false")));
}
