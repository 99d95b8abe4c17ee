#include "crash/CRKWebViewHook.h"

#include "crash/core/CRKException.h"
#include "kithost/KTHLog.h"
#include "platform/Lenient.h"

#include <QFile>
#include <QWebChannel>
#include <QWebEnginePage>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>

namespace {

// The set-up, then the error function, as one script.
const char kErrorScript[] = R"JS(
(function() {
  if (window.crashKitOnError) return;
  window.crashKitOriginalOnLoad = window.onload;
  window.crashKitOriginalOnError = window.onerror;
  // Errors before the channel is up wait; a page whose own script opens
  // the channel (one client per transport) hands it over when ready.
  var take = function(channel) {
    window.crashKitHandler = channel.objects.crashkit;
    var pending = window.crashKitPending || [];
    window.crashKitPending = [];
    pending.forEach(function(b) {
      if (window.crashKitHandler && window.crashKitHandler.postMessage) window.crashKitHandler.postMessage(b);
    });
  };
  var post = function(body) {
    if (window.crashKitHandler) {
      if (window.crashKitHandler.postMessage) window.crashKitHandler.postMessage(body);
      return;
    }
    window.crashKitPending = window.crashKitPending || [];
    window.crashKitPending.push(body);
    if (window.crashKitPending.length > 1) return;
    if (window.sharedWebChannel) {
      take(window.sharedWebChannel);
    } else if (window.sharedWebChannelPending) {
      window.addEventListener('sharedwebchannel', function() { take(window.sharedWebChannel); }, {once: true});
    } else if (typeof QWebChannel !== 'undefined' && typeof qt !== 'undefined' && qt.webChannelTransport) {
      new QWebChannel(qt.webChannelTransport, take);
    }
  };
  window.crashKitOnError = function(msg, url, line, column, error) {
    post({msg: String(msg), url: String(url), line: line, column: column});
    if (typeof window.crashKitOriginalOnError === 'function')
      return window.crashKitOriginalOnError(msg, url, line, column, error);
  };
  window.crashKitOnLoad = function(event) {
    if (window.onerror !== window.crashKitOnError) {
      window.crashKitOriginalOnError = window.onerror;
      window.onerror = window.crashKitOnError;
    }
    if (typeof window.crashKitOriginalOnLoad === 'function')
      window.crashKitOriginalOnLoad(event);
  };
  window.onerror = window.crashKitOnError;
  window.onload = window.crashKitOnLoad;
})();
)JS";

}  // namespace

bool CRKWebViewInstallErrorScript(QWebEnginePage* page)
{
    if (!page)
        return false;
    QFile channelJs(QStringLiteral(":/qtwebchannel/qwebchannel.js"));
    QByteArray source;
    if (channelJs.open(QIODevice::ReadOnly))
        source = channelJs.readAll() + '\n';
    source += kErrorScript;
    QWebEngineScript script;
    script.setName(QStringLiteral("crashkit"));
    script.setInjectionPoint(QWebEngineScript::DocumentReady);
    script.setWorldId(QWebEngineScript::MainWorld);
    script.setRunsOnSubFrames(false);
    script.setSourceCode(QString::fromUtf8(source));
    page->scripts().insert(script);
    return true;
}

bool CRKWebViewRecordScriptMessage(const QVariant& body)
{
    if (body.typeId() != QMetaType::QVariantMap)
        return false;
    const QByteArray reason = lenient::toString(body.toMap().value(QStringLiteral("msg"))).toUtf8();
    CRKExceptionRecord(kCRKExceptionJavaScript, "exception", reason.constData(), nullptr, 0, false);
    return true;
}

void CRKWebViewMessageHandler::postMessage(const QVariant& body)
{
    if (!CRKWebViewRecordScriptMessage(body))
        KTHLog::write(QStringLiteral("[CrashKit] Unable to record exception from WKWebView"));
}
