#include "kithost/KTHNetworkOperation.h"

#include <QLocale>
#include <QThreadPool>

void KTHAsynchronousOperation::start()
{
    auto self = shared_from_this();
    executing_ = true;
    QThreadPool::globalInstance()->start([self] { self->main(); });
}

void KTHAsynchronousOperation::finish()
{
    executing_ = false;
    finished_ = true;
}

KTHURLRequest KTHNetworkOperation::mutableRequestWithDefaultHTTPHeaderFieldsAndTimeoutForURL(const QUrl& url) const
{
    return mutableRequestWithDefaultHTTPHeadersForURL(url, 10.0);
}

KTHURLRequest KTHNetworkOperation::mutableRequestWithDefaultHTTPHeadersForURL(const QUrl& url,
                                                                              double timeoutSeconds) const
{
    KTHURLRequest r;
    r.url = url;
    r.timeoutMs = int(timeoutSeconds * 1000);
    const QByteArray locale = localeIdentifier().toUtf8();
    r.setHeader("User-Agent", userAgentString().toUtf8());
    r.setHeader("Accept-Charset", "utf-8");
    r.setHeader("Accept-Language", locale);
    r.setHeader("Content-Language", locale);
    r.setHeader("X-CrashKit-Developer-Token", kKTHDeveloperToken);
    r.setHeader("X-CrashKit-API-Client-Id", kKTHClientIdentifier);
    r.setHeader("X-CrashKit-API-Client-Display-Version", kKTHDisplayVersion);
    r.setHeader("X-CrashKit-API-Client-Build-Version", kKTHBuildVersion);
    r.setHeader("X-CrashKit-API-Key", APIKey_.toUtf8());
    return r;
}

QString KTHNetworkOperation::userAgentString()
{
    return QStringLiteral("%1/%2 (%3)")
        .arg(QLatin1String(kKTHClientIdentifier), QLatin1String(kKTHDisplayVersion), QLatin1String(kKTHBuildVersion));
}

QString KTHNetworkOperation::localeIdentifier()
{
    return QLocale::system().name();
}
