#include "account/MVAuthServerURL.h"

#include "platform/UserDefaults.h"
#include "platform/ServiceHost.h"

#include <QUrl>

namespace {
const QString kProduct = QStringLiteral("DICT");
QString plain() { return QStringLiteral("http://") + serviceHost() + QStringLiteral("/login/acc/"); }
}  // namespace

QString queryValue(const QString& text) { return QString::fromLatin1(QUrl::toPercentEncoding(text)); }

QString MVAuthServerURL::tlsHost() {
    QString v = UserDefaults::standard().stringValue(QStringLiteral("MVServiceTLSHost")).trimmed();
    if (v.startsWith(QLatin1String("https://"), Qt::CaseInsensitive)) v.remove(0, 8);
    while (v.endsWith(u'/')) v.chop(1);
    return v.isEmpty() ? serviceHost() : v;
}

QString MVAuthServerURL::authServerLogin(bool https) {
    return (https ? QStringLiteral("https://") + tlsHost() + QStringLiteral("/login/acc/") : plain()) +
           QStringLiteral("login");
}

QString MVAuthServerURL::authServerPoll() { return plain() + QStringLiteral("poll"); }
QString MVAuthServerURL::authServerRP() { return plain() + QStringLiteral("rp"); }
QString MVAuthServerURL::authServerCq() {
    return plain() + QStringLiteral("co/cq?product=%1").arg(kProduct) + QStringLiteral("&um=true");
}
QString MVAuthServerURL::authServerAutoLoginCq() {
    return plain() + QStringLiteral("co/cq?cf=7&product=%1").arg(kProduct) + QStringLiteral("&um=true");
}

QString MVAuthServerURL::loginURLWithTp(const QString& tp, const QString& pci) {
    return authServerLogin(false) + QStringLiteral("?app=client") + QStringLiteral("&product=%1").arg(kProduct) +
           QStringLiteral("&tp=%1").arg(queryValue(tp)) + QStringLiteral("&cf=7") +
           QStringLiteral("&pci=%1").arg(queryValue(pci)) + QStringLiteral("&um=true");
}

QString MVAuthServerURL::rpURL(const QString& tp, const QString& al) {
    QString url = authServerRP() + QStringLiteral("?app=client") + QStringLiteral("&product=%1").arg(kProduct) +
                  QStringLiteral("&tp=%1").arg(queryValue(tp));
    if (!al.isNull()) url += QStringLiteral("&al=%1").arg(queryValue(al));
    return url + QStringLiteral("&format=json");
}

QString MVAuthServerURL::profileURL(const QString& userid) {
    return serviceBaseUrl() + QStringLiteral("/profile/batch/get?content=") +
           queryValue(QStringLiteral("[\"option_avatar\"]")) + QStringLiteral("&userid=") + queryValue(userid);
}
