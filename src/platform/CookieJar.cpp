#include "platform/CookieJar.h"

#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QSaveFile>

CookieJar::CookieJar(QObject* parent) : QNetworkCookieJar(parent) {}

CookieJar& CookieJar::shared()
{
    static CookieJar* jar = new CookieJar();  // lives until exit, never reparented
    return *jar;
}

void CookieJar::setStorageFolder(const QString& folder)
{
    QMutexLocker lock(&mutex_);
    path_ = QDir(folder).filePath(QStringLiteral("cookies"));
    const QList<QNetworkCookie> held = allCookies();
    loadLocked();
    for (const QNetworkCookie& c : held)
        QNetworkCookieJar::insertCookie(c);
    saveLocked();
}

QString CookieJar::storagePath() const
{
    QMutexLocker lock(&mutex_);
    return path_;
}

QList<QNetworkCookie> CookieJar::cookiesForUrl(const QUrl& url) const
{
    QMutexLocker lock(&mutex_);
    return QNetworkCookieJar::cookiesForUrl(url);
}

bool CookieJar::setCookiesFromUrl(const QList<QNetworkCookie>& cookies, const QUrl& url)
{
    QMutexLocker lock(&mutex_);
    const bool changed = QNetworkCookieJar::setCookiesFromUrl(cookies, url);
    if (changed)
        saveLocked();
    return changed;
}

bool CookieJar::insertCookie(const QNetworkCookie& cookie)
{
    QMutexLocker lock(&mutex_);
    const bool changed = QNetworkCookieJar::insertCookie(cookie);
    if (changed)
        saveLocked();
    return changed;
}

bool CookieJar::updateCookie(const QNetworkCookie& cookie)
{
    QMutexLocker lock(&mutex_);
    const bool changed = QNetworkCookieJar::updateCookie(cookie);
    if (changed)
        saveLocked();
    return changed;
}

bool CookieJar::deleteCookie(const QNetworkCookie& cookie)
{
    QMutexLocker lock(&mutex_);
    const bool changed = QNetworkCookieJar::deleteCookie(cookie);
    if (changed)
        saveLocked();
    return changed;
}

QList<QNetworkCookie> CookieJar::cookies() const
{
    QMutexLocker lock(&mutex_);
    return allCookies();
}

void CookieJar::clear()
{
    QMutexLocker lock(&mutex_);
    setAllCookies({});
    saveLocked();
}

QByteArray CookieJar::cookieHeaderForUrl(const QUrl& url) const
{
    QByteArray header;
    for (const QNetworkCookie& c : cookiesForUrl(url)) {
        if (!header.isEmpty())
            header += "; ";
        header += c.toRawForm(QNetworkCookie::NameAndValueOnly);
    }
    return header;
}

void CookieJar::loadLocked()
{
    QFile f(path_);
    if (!f.open(QIODevice::ReadOnly))
        return;
    const QDateTime now = QDateTime::currentDateTimeUtc();
    QList<QNetworkCookie> kept;
    for (const QByteArray& line : f.readAll().split('\n')) {
        if (line.trimmed().isEmpty())
            continue;
        for (const QNetworkCookie& c : QNetworkCookie::parseCookies(line)) {
            if (!c.isSessionCookie() && c.expirationDate() > now && !c.domain().isEmpty())
                kept.append(c);
        }
    }
    setAllCookies(kept);
}

void CookieJar::saveLocked() const
{
    if (path_.isEmpty())
        return;
    QSaveFile f(path_);
    if (!f.open(QIODevice::WriteOnly)) {
        qWarning().noquote() << "cookies: cannot write" << path_ << "-" << f.errorString();
        return;
    }
    // Owner only from the first byte: the file holds the account's session.
    f.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    const QDateTime now = QDateTime::currentDateTimeUtc();
    for (const QNetworkCookie& c : allCookies()) {
        if (c.isSessionCookie() || c.expirationDate() <= now)
            continue;
        f.write(c.toRawForm(QNetworkCookie::Full));
        f.write("\n");
    }
    if (!f.commit())
        qWarning().noquote() << "cookies: cannot save" << path_ << "-" << f.errorString();
}
