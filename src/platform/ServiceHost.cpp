#include "platform/ServiceHost.h"

#include "platform/UserDefaults.h"

namespace {
// A stray scheme or trailing slash in a hand-edited value would otherwise
// produce "http://http://host//path".
QString cleanHost(QString v, QLatin1String fallback) {
    v = v.trimmed();
    if (v.startsWith(QLatin1String("http://"), Qt::CaseInsensitive)) v.remove(0, 7);
    while (v.endsWith(u'/')) v.chop(1);
    return v.isEmpty() ? QString(fallback) : v;
}
}  // namespace

QString serviceHost() {
    return cleanHost(UserDefaults::standard().stringValue(MVServiceHost), MVServiceHostDefault);
}

QString serviceBaseUrl() { return QStringLiteral("http://") + serviceHost(); }

QString webSiteHost() {
    return cleanHost(UserDefaults::standard().stringValue(MVWebSiteHost), MVWebSiteHostDefault);
}

QString webSiteBaseUrl() { return QStringLiteral("http://") + webSiteHost(); }
