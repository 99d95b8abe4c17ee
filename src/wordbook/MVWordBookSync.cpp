#include "wordbook/MVWordBookSync.h"

#include "platform/CookieJar.h"
#include "platform/UrlEscaping.h"
#include "wordbook/WordBookClock.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>

namespace {
bool allowedInXml(char32_t c)
{
    return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) || (c >= 0xE000 && c <= 0xFFFD) ||
           (c >= 0x10000 && c <= 0x10FFFF);
}

QString wordInfo(const MVWordBookItem& item)
{
    return QStringLiteral("<wordInfo><phonetic><![CDATA[%1]]></phonetic><trans><![CDATA[%2]]></trans>"
                          "<tags><![CDATA[%3]]></tags><addtime>%4</addtime><flag>1</flag></wordInfo>")
        .arg(MVWordBookSync::cdata(item.phonetic), MVWordBookSync::cdata(item.definition),
             MVWordBookSync::cdata(item.tags), MVWordBookSync::cdata(item.time));
}

QString remInfo(const MVWordBookRemItem& rem)
{
    const QDateTime mod = wbclock::dateFromTime(rem.remModTime);
    qint64 age = mod.isValid() ? mod.secsTo(wbclock::now()) : 0;
    if (age < 0)
        age = 0;  // a clock set back must not send a huge unsigned age
    return QStringLiteral("<remInfo><progress><![CDATA[%1]]></progress><remModifyTime>%2</remModifyTime></remInfo>")
        .arg(MVWordBookSync::cdata(rem.progress))
        .arg(age);
}

QString action(const QString& type, const QString& word, const QString& body)
{
    return QStringLiteral("<action type=\"%1\"><word><![CDATA[%2]]></word>%3</action>")
        .arg(type, MVWordBookSync::cdata(word), body);
}
}  // namespace

MVWordBookSync::MVWordBookSync(QObject* parent)
    : QObject(parent), nam_(new QNetworkAccessManager(this)), timer_(new QTimer(this))
{
    timer_->setSingleShot(true);
    connect(timer_, &QTimer::timeout, this, [this] {
        if (reply_) {
            timedOut_ = true;
            reply_->abort();
        }
    });
}

MVWordBookSync::~MVWordBookSync()
{
    if (reply_) {
        reply_->disconnect(this);
        reply_->abort();
    }
}

QString MVWordBookSync::cdata(const QString& text)
{
    QString clean;
    clean.reserve(text.size());
    for (char32_t c : text.toUcs4()) {
        if (allowedInXml(c))
            clean.append(QString::fromUcs4(&c, 1));
    }
    return clean.replace(QStringLiteral("]]>"), QStringLiteral("]]]]><![CDATA[>"));
}

QString MVWordBookSync::requestDocument(const QList<MVSyncActionPtr>& addList, const QList<MVSyncActionPtr>& delList,
                                        const QString& ts, const QString& remTs)
{
    const bool commit = !addList.isEmpty() || !delList.isEmpty();
    QString doc = QStringLiteral("<?xml version=\"1.0\" encoding=\"utf-8\" ?><request><type>words</type>");
    doc += QStringLiteral("<operation>%1</operation>").arg(commit ? QStringLiteral("commit") : QStringLiteral("update"));
    doc += QStringLiteral("<maxLocalTimestamp>%1</maxLocalTimestamp>").arg(cdata(ts).toHtmlEscaped());
    doc += QStringLiteral("<maxRemLocalTimestamp>%1</maxRemLocalTimestamp>").arg(cdata(remTs).toHtmlEscaped());
    if (commit) {
        doc += QStringLiteral("<actionlist>");
        for (const auto& a : addList) {
            if (!a)
                continue;
            const bool words = a->withWordInfo && a->item;
            const bool rems = a->withRemInfo && a->remItem;
            const QString word = rems ? a->remItem->word : (a->item ? a->item->word : QString());
            doc += action(QStringLiteral("add"), word,
                          (words ? wordInfo(*a->item) : QString()) + (rems ? remInfo(*a->remItem) : QString()));
        }
        for (const auto& a : delList) {
            if (a && a->item)
                doc += action(QStringLiteral("del"), a->item->word, QString());
        }
        doc += QStringLiteral("</actionlist>");
    }
    doc += QStringLiteral("</request>");
    return doc;
}

QByteArray MVWordBookSync::formBody(const QString& document)
{
    // Everything but letters, digits and -_.*'():;, is escaped: the document
    // decodes to itself and no form separator survives inside it.
    const QByteArray escaped = document.toUtf8().toPercentEncoding("*'():;,", "~", '%');
    return "data=" + escaped + "&version=2";
}

QString MVWordBookSync::serviceAddress(const QString& base, const QString& macId, const QString& model,
                                      const QString& serialNumber, const QString& systemVersion)
{
    const auto value = [](const QString& v) {
        return legacyEscape(v).replace(QLatin1Char('&'), QStringLiteral("%26")).replace(QLatin1Char('='), QStringLiteral("%3D"));
    };
    return legacyEscape(base) +
           QStringLiteral("/wordbook/api?keyfrom=mac.main&id=%1&model=%2&deviceid=%3&mid=%4&requestNum=2000")
               .arg(value(macId), value(model), value(serialNumber), value(systemVersion));
}

QUrl MVWordBookSync::serviceUrl(const QString& host, const QString& macId, const QString& model,
                                const QString& serialNumber, const QString& systemVersion)
{
    return QUrl::fromEncoded(
        serviceAddress(QStringLiteral("http://") + host, macId, model, serialNumber, systemVersion).toLatin1());
}

void MVWordBookSync::startSyncWithAddList(const QList<MVSyncActionPtr>& addList,
                                          const QList<MVSyncActionPtr>& delList, const QString& ts,
                                          const QString& remTs, const QUrl& url, MVSyncDelegate* delegate)
{
    delegate_ = delegate;
    requestUrl_ = url;
    const QByteArray body = formBody(requestDocument(addList, delList, ts, remTs));

    if (reply_) {
        // The replaced exchange must never call back.
        QNetworkReply* old = reply_;
        old->disconnect(this);
        old->abort();
        old->deleteLater();
    }
    timer_->stop();
    timedOut_ = false;

    QNetworkRequest req(url);
    req.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    req.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    // Only the shared jar's cookies for this host go out, never those of
    // other sites; the answer's cookies are not taken in.
    req.setAttribute(QNetworkRequest::CookieLoadControlAttribute, QNetworkRequest::Manual);
    req.setAttribute(QNetworkRequest::CookieSaveControlAttribute, QNetworkRequest::Manual);
    const QByteArray cookies = CookieJar::shared().cookieHeaderForUrl(url);
    if (!cookies.isEmpty())
        req.setRawHeader("Cookie", cookies);
    req.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/x-www-form-urlencoded"));

    QNetworkReply* reply = nam_->post(req, body);
    reply_ = reply;
    connect(reply, &QNetworkReply::finished, this, [this, reply] { finished(reply); });
    timer_->start(timeoutMs_);
    if (delegate_)
        delegate_->syncDidStart();
}

void MVWordBookSync::finished(QNetworkReply* reply)
{
    if (reply != reply_)
        return;
    reply_ = nullptr;
    timer_->stop();
    reply->deleteLater();
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (!status.isValid()) {
        // No answer at all: a transport failure.
        const bool timeout = timedOut_ || reply->error() == QNetworkReply::TimeoutError;
        fail(timeout ? wbsync::kTimeout : wbsync::kConnectionError);
        return;
    }
    const QByteArray data = reply->readAll();
    MVWordBookXmlParser parser;
    parser.parseXml(data, this);
}

void MVWordBookSync::fail(int code)
{
    if (delegate_)
        delegate_->syncDidError(WordBookError{wbsync::kDomain, code});
}

void MVWordBookSync::parseFailed()
{
    fail(wbsync::kXmlError);
}

void MVWordBookSync::parseDone(MVWordBookXmlParser* p)
{
    MVSyncDelegate* d = delegate_;
    if (!d)
        return;
    if (p->errCode == 8) {
        fail(wbsync::kLoginError);
        return;
    }
    if (!p->operation) {
        fail(wbsync::kServerError);
        return;
    }
    auto sendTimestamps = [&] {
        if (!p->timestamp.isEmpty() && !p->remTimestamp.isEmpty())
            d->syncUpdateTimestamp(p->timestamp, p->remTimestamp);
    };
    switch (p->errCode) {
    case 0:
    case 3: {
        const QList<MVSyncActionPtr> adds = p->addList.value_or(QList<MVSyncActionPtr>());
        const QList<MVSyncActionPtr> dels = p->delList.value_or(QList<MVSyncActionPtr>());
        d->syncTotalActionCount(static_cast<quint64>(adds.size() + dels.size()));
        for (const auto& a : adds)
            if (a)
                d->syncRecievedAction(a);
        for (const auto& a : dels)
            if (a)
                d->syncRecievedAction(a);
        sendTimestamps();
        if (p->errCode == 0)
            d->syncDidFinish();
        else
            d->syncNeedAgain();
        break;
    }
    case 1:
        sendTimestamps();
        d->syncDidFinish();
        break;
    case 2:
        fail(wbsync::kXmlError);
        break;
    case 4:
        fail(wbsync::kServerFull);
        break;
    case 5:
        d->syncNeedUpdateFirst();
        break;
    default:
        // An answer this client cannot act on must still end the
        // synchronisation that waits for it.
        fail(wbsync::kServerError);
        break;
    }
}
