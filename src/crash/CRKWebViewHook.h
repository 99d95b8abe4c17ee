#pragma once

#include <QObject>
#include <QVariantMap>

class QWebEnginePage;

// Page errors as custom exceptions: a script (document ready, main world)
// keeps the page's own onload/onerror, reports every error to the
// "crashkit" object of the page's web channel, then calls the page's
// handler.
bool CRKWebViewInstallErrorScript(QWebEnginePage* page);
// Records {msg, url, line, column} as a "javascript" exception named
// "exception"; false for anything that is not such a dictionary.
bool CRKWebViewRecordScriptMessage(const QVariant& body);

// The channel object the script posts to.
class CRKWebViewMessageHandler : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    Q_INVOKABLE void postMessage(const QVariant& body);
};
