#include "window/pages/HomePageContent.h"

#include "platform/UserDefaults.h"
#include "query/AppConstants.h"
#include "query/LogUtils.h"
#include "platform/ServiceHost.h"
#include "platform/ServiceNotice.h"
#include "window/pages/WebPageHost.h"

#include <QDate>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QUrlQuery>
#include <memory>

namespace {
const QString kLineKey = QStringLiteral("EveryDayLineDefault");
const QString kWikiKey = QStringLiteral("WikipediaDefault");
const QString kThumbKey = QStringLiteral("WikipediaDefaultThumbnailURL");
const QString kDailyType = QStringLiteral("每日一句");
}  // namespace

struct HomePageContent::Fetch {
    QString line;
    QString wiki;
    QString thumb;
    int pending = 2;
};

HomePageContent::HomePageContent(WebPageHost* host, QObject* parent) : QObject(parent), host_(host)
{
    network_ = new QNetworkAccessManager(this);
}

QString HomePageContent::dailyLineJson(const QString& type, const QString& sen, const QString& trans)
{
    // Written in this key order and spacing, as stored lines always were;
    // each value escaped, so a quote in a sentence cannot break the text.
    return QStringLiteral("{\"type\": %1, \"sen\": %2, \"trans\": %3, \"rel\": \"rel\"}")
        .arg(WebPageHost::jsString(type), WebPageHost::jsString(sen), WebPageHost::jsString(trans));
}

// Shown until the service has answered once: a quotation with its author,
// and a featured article whose picture the service's image proxy serves.
QString HomePageContent::builtInDailyLine()
{
    return dailyLineJson(kDailyType,
                         QStringLiteral("A journey of a thousand miles begins with a single step. -- Laozi"),
                         QStringLiteral("千里之行，始于足下。——老子"));
}

QString HomePageContent::builtInSummary()
{
    return QStringLiteral(
        "The Grand Canal is a system of waterways in eastern China that links Beijing in the north with "
        "Hangzhou in the south. Its oldest sections were dug in the fifth century BC, and under the Sui "
        "dynasty, early in the seventh century, the separate stretches were joined into one route that "
        "carried grain from the fertile south to the capitals of the north. Later dynasties rebuilt and "
        "straightened it many times; the Yuan moved its northern end to Beijing, and the Ming and Qing "
        "kept thousands of boatmen, lock keepers and officials at work on it. At more than 1,700 "
        "kilometres it is the longest artificial river in the world. Along its banks grew market towns "
        "whose gardens, bridges and merchant halls still stand, and the canal shaped the movement of "
        "people, goods and ideas between north and south. "
        "Silting of the Yellow River and the arrival of railways and coastal shipping in the nineteenth "
        "century ended its role as the empire's main artery, but many southern sections still carry "
        "barges today, and parts of it supply water to the dry north. The canal was inscribed on the list "
        "of World Heritage Sites in 2014. (Full\u00a0article...)");
}

QString HomePageContent::builtInThumbnail()
{
    QUrlQuery q;
    q.addQueryItem(QStringLiteral("product"), QStringLiteral("wikipedia"));
    q.addQueryItem(QStringLiteral("url"),
                   QString::fromLatin1(QUrl::toPercentEncoding(
                       QStringLiteral("https://upload.wikimedia.org/wikipedia/commons/Grand_Canal.jpg"))));
    q.addQueryItem(QStringLiteral("w"), QStringLiteral("280"));
    return serviceBaseUrl() + QStringLiteral("/image?") + q.toString(QUrl::FullyEncoded);
}

QString HomePageContent::updateContentScript(const QString& line, const QString& wiki, const QString& thumb)
{
    return QStringLiteral("updateContent(%1,%2,%3);")
        .arg(WebPageHost::jsString(line), WebPageHost::jsString(wiki), WebPageHost::jsString(thumb));
}

void HomePageContent::show(const QString& line, const QString& wiki, const QString& thumb)
{
    emit contentShown(line, wiki, thumb);
    if (host_)
        host_->runScript(updateContentScript(line, wiki, thumb));
}

void HomePageContent::updateContent()
{
    LogUtils::log(QStringLiteral("show"), QStringLiteral("tab_mainpage"));
    auto& d = UserDefaults::standard();
    auto cached = [&d](const QString& key, const QString& builtIn) {
        const QString v = d.stringValue(key);
        return v.isEmpty() ? builtIn : v;
    };
    show(cached(kLineKey, builtInDailyLine()), cached(kWikiKey, builtInSummary()),
         cached(kThumbKey, builtInThumbnail()));

    auto fetch = std::make_shared<Fetch>();
    QNetworkRequest wikiRequest(QUrl(serviceBaseUrl()
                                     + QStringLiteral("/jsonapi?le=eng&q=bk:main%20page&keyfrom=dataserver"
                                                      "&doctype=json&jsonversion=2")));
    QNetworkReply* wikiReply = network_->get(wikiRequest);
    connect(wikiReply, &QNetworkReply::finished, this, [this, fetch, wikiReply]() { finishWiki(fetch, wikiReply); });

    const QString today = QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd"));
    QNetworkRequest lineRequest(QUrl(serviceBaseUrl()
                                     + QStringLiteral("/infoline?apiversion=2&mode=publish&client=tesvarin&abtest=9"
                                                      "&startDate=%1&endDate=%1")
                                           .arg(today)));
    QNetworkReply* lineReply = network_->get(lineRequest);
    connect(lineReply, &QNetworkReply::finished, this, [this, fetch, lineReply]() { finishLine(fetch, lineReply); });
}

static QByteArray answerBody(QNetworkReply* reply)
{
    // An answer with an HTTP status is an answer; only a transport failure has no data.
    if (reply->error() != QNetworkReply::NoError
        && reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).isNull()) {
        ServiceNotice::unreachable(reply->errorString(), reply->url());
        return {};
    }
    ServiceNotice::reached(reply->url());
    return reply->readAll();
}

void HomePageContent::readArticle(const QByteArray& body, QString* wiki, QString* thumb)
{
    const QJsonObject wikipedia = QJsonDocument::fromJson(body).object().value(QLatin1String("wikipedia")).toObject();
    const QJsonValue des = wikipedia.value(QLatin1String("share")).toObject().value(QLatin1String("des"));
    const QJsonValue thumbnail = wikipedia.value(QLatin1String("thumbnail"));
    *wiki = des.isString() ? des.toString() : QString();
    *thumb = thumbnail.isString() ? thumbnail.toString() + QStringLiteral("&w=280") : QString();
}

QString HomePageContent::readDailyLine(const QByteArray& body)
{
    const QJsonObject root = QJsonDocument::fromJson(body).object();
    // The answer is an object whose first value lists the entries.
    const QJsonArray entries = root.isEmpty() ? QJsonArray() : root.begin().value().toArray();
    for (const QJsonValue& e : entries) {
        const QJsonObject entry = e.toObject();
        if (entry.value(QLatin1String("type")).toString() == kDailyType)
            return dailyLineJson(entry.value(QLatin1String("type")).toString(),
                                 entry.value(QLatin1String("title")).toString(),
                                 entry.value(QLatin1String("summary")).toString());
    }
    return {};
}

void HomePageContent::finishWiki(const std::shared_ptr<Fetch>& fetch, QNetworkReply* reply)
{
    reply->deleteLater();
    const QByteArray body = answerBody(reply);
    if (!body.isEmpty()) {
        readArticle(body, &fetch->wiki, &fetch->thumb);
        // An empty value removes the key, so the next start falls back to the built-in one.
        auto& d = UserDefaults::standard();
        d.setValue(kWikiKey, fetch->wiki.isEmpty() ? QVariant() : QVariant(fetch->wiki));
        d.setValue(kThumbKey, fetch->thumb.isEmpty() ? QVariant() : QVariant(fetch->thumb));
    }
    maybeRefresh(fetch);
}

void HomePageContent::finishLine(const std::shared_ptr<Fetch>& fetch, QNetworkReply* reply)
{
    reply->deleteLater();
    const QByteArray body = answerBody(reply);
    if (!body.isEmpty()) {
        const QString line = readDailyLine(body);
        if (!line.isNull()) {
            fetch->line = line;
            UserDefaults::standard().setValue(kLineKey, fetch->line);
        }
    }
    maybeRefresh(fetch);
}

void HomePageContent::maybeRefresh(const std::shared_ptr<Fetch>& fetch)
{
    if (--fetch->pending > 0)
        return;
    if (!fetch->line.isEmpty() && !fetch->wiki.isEmpty() && !fetch->thumb.isEmpty())
        show(fetch->line, fetch->wiki, fetch->thumb);
}

QString HomePageContent::operationScript(const QString& text, const QString& link)
{
    const QString display = text.isEmpty() ? QStringLiteral("none") : QStringLiteral("inline");
    // The link travels in a data attribute, never inside the script source.
    return QStringLiteral("(function(){var a=document.getElementById('operation_href');"
                          "var s=document.getElementById('operation_spider');"
                          "if(a){a.style.display=%1;a.setAttribute('data-link',%2);"
                          "a.href=\"javascript:goOperation(document.getElementById('operation_href')"
                          ".getAttribute('data-link'));\";a.innerText=%3;}"
                          "if(s){s.style.display=%1;}})();")
        .arg(WebPageHost::jsString(display), WebPageHost::jsString(link), WebPageHost::jsString(text));
}

void HomePageContent::doUpdateOperationInfo()
{
    auto& d = UserDefaults::standard();
    const QString text = d.stringValue(operation_text);
    const QString link = d.stringValue(operation_link);
    if (host_)
        host_->runScript(operationScript(text, link));
}
