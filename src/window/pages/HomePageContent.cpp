#include "window/pages/HomePageContent.h"

#include "platform/UserDefaults.h"
#include "query/AppConstants.h"
#include "query/LogUtils.h"
#include "platform/ServiceHost.h"
#include "window/pages/WebPageHost.h"

#include <QDate>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
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

// Shown until the service has answered once (and for good without it): in
// Chinese first, complete in itself, and with no picture that would have to
// come from the service.
QString HomePageContent::builtInDailyLine()
{
    return dailyLineJson(kDailyType, QStringLiteral("千里之行，始于足下。——老子"),
                         QStringLiteral("A journey of a thousand miles begins with a single step. -- Laozi"));
}

QString HomePageContent::builtInSummary()
{
    return QStringLiteral(
        "京杭大运河北起北京，南至杭州，纵贯华北平原与江南水乡，全长一千七百多公里，是世界上最长的人工河道。"
        "运河最早的河段开凿于春秋末年；隋朝把各段连成一线，把南方的粮食运往北方的都城；元代截弯取直，"
        "使运河直通大都；明清两代设官管理，漕船往来不绝。两岸因运河兴起了许多商业城镇，园林、石桥和会馆至今犹存，"
        "南北之间的人员、货物与文化也随之流动。十九世纪黄河改道，铁路与海运兴起，运河不再是南北交通的命脉，"
        "但南段至今仍有船只通航，部分河段还承担着向北方输水的任务。2014年，大运河被列入《世界遗产名录》。");
}

QString HomePageContent::builtInThumbnail()
{
    return QString();
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
        && reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).isNull())
        return {};
    return reply->readAll();
}

void HomePageContent::finishWiki(const std::shared_ptr<Fetch>& fetch, QNetworkReply* reply)
{
    reply->deleteLater();
    const QByteArray body = answerBody(reply);
    if (!body.isEmpty()) {
        const QJsonObject wikipedia = QJsonDocument::fromJson(body).object().value(QLatin1String("wikipedia")).toObject();
        const QJsonValue des = wikipedia.value(QLatin1String("share")).toObject().value(QLatin1String("des"));
        const QJsonValue thumb = wikipedia.value(QLatin1String("thumbnail"));
        fetch->wiki = des.isString() ? des.toString() : QString();
        fetch->thumb = thumb.isString() ? thumb.toString() + QStringLiteral("&w=280") : QString();
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
        const QJsonObject root = QJsonDocument::fromJson(body).object();
        // The answer is an object whose first value lists the entries.
        const QJsonArray entries = root.isEmpty() ? QJsonArray() : root.begin().value().toArray();
        for (const QJsonValue& e : entries) {
            const QJsonObject entry = e.toObject();
            if (entry.value(QLatin1String("type")).toString() != kDailyType)
                continue;
            fetch->line = dailyLineJson(entry.value(QLatin1String("type")).toString(),
                                        entry.value(QLatin1String("title")).toString(),
                                        entry.value(QLatin1String("summary")).toString());
            UserDefaults::standard().setValue(kLineKey, fetch->line);
            break;
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
