#pragma once

#include <QList>
#include <QRecursiveMutex>
#include <QNetworkCookie>
#include <QNetworkCookieJar>
#include <QString>

// The application's one cookie store: the account's session cookies live here
// and every service request that needs them asks it for the cookies of its
// own URL. Persistent cookies are kept in a file readable by the owner only
// (mode 0600) and rewritten after every change; session cookies stay in
// memory. Safe to call from any thread.
//
// Do not hand the shared jar to QNetworkAccessManager::setCookieJar (a manager
// takes ownership); build the Cookie header from cookiesForUrl() instead.
class CookieJar : public QNetworkCookieJar {
    Q_OBJECT
public:
    explicit CookieJar(QObject* parent = nullptr);

    static CookieJar& shared();

    // Where the jar keeps its file: <folder>/cookies. Cookies already held
    // stay and win over stored ones of the same name, domain and path.
    void setStorageFolder(const QString& folder);
    QString storagePath() const;

    QList<QNetworkCookie> cookiesForUrl(const QUrl& url) const override;
    bool setCookiesFromUrl(const QList<QNetworkCookie>& cookies, const QUrl& url) override;
    bool insertCookie(const QNetworkCookie& cookie) override;
    bool updateCookie(const QNetworkCookie& cookie) override;
    bool deleteCookie(const QNetworkCookie& cookie) override;

    QList<QNetworkCookie> cookies() const;
    void clear();
    // "name=value; name2=value2" for a Cookie request header; empty when none.
    QByteArray cookieHeaderForUrl(const QUrl& url) const;

private:
    void saveLocked() const;
    void loadLocked();

    // Recursive: the base class calls the overridden members from inside each other.
    mutable QRecursiveMutex mutex_;
    QString path_;
};
