#include "window/UpdateCheck.h"

#include "platform/BundleInfo.h"
#include "platform/UserDefaults.h"
#include "query/AppConstants.h"
#include "query/RequestData.h"
#include "platform/ServiceHost.h"

#include <QXmlStreamReader>

qint64 UpdateCheck::buildNumber(const QString& text) {
    const QString t = text.trimmed();
    int i = 0;
    if (i < t.size() && (t[i] == QLatin1Char('-') || t[i] == QLatin1Char('+'))) ++i;
    int digitsStart = i;
    while (i < t.size() && t[i].isDigit() && t[i].unicode() < 128) ++i;
    if (i == digitsStart) return 0;
    bool ok = false;
    const qint64 v = t.left(i).toLongLong(&ok);
    return ok ? v : 0;
}

bool UpdateCheck::parseFeed(const QByteArray& xml, Feed* out) {
    QXmlStreamReader r(xml);
    bool found = false;
    QString build, des, text, link;
    while (!r.atEnd()) {
        r.readNext();
        if (found || !r.isStartElement() || r.name() != QLatin1String("updater")) continue;
        found = true;  // only the first updater counts
        while (r.readNextStartElement()) {
            const QString name = r.name().toString();
            const QString value = r.readElementText(QXmlStreamReader::IncludeChildElements);
            if (name == QLatin1String("build") && build.isNull()) build = value;
            else if (name == QLatin1String("des") && des.isNull()) des = value;
            else if (name == QLatin1String("operation_text") && text.isNull()) text = value;
            else if (name == QLatin1String("operation_link") && link.isNull()) link = value;
        }
    }
    // A document that is not well-formed counts as no feed at all.
    if (r.hasError() || !found) return false;
    if (out) {
        out->build = buildNumber(build.isEmpty() ? QStringLiteral("0") : build);
        out->des = des;
        out->operationText = text.isNull() ? QStringLiteral("") : text;
        out->operationLink = link.isNull() ? QStringLiteral("") : link;
    }
    return true;
}

QString UpdateCheck::feedUrl() { return webSiteBaseUrl() + QStringLiteral("/mac-update/vorlane_update.xml"); }

UpdateCheck::UpdateCheck(QObject* parent) : QObject(parent), request_(new RequestData(this)) {}

UpdateCheck::~UpdateCheck() = default;

void UpdateCheck::checkUpdate(bool automatic) {
    isAutoCheckUpdate_ = automatic;
    request_->requestDataWithURL(feedUrl(), {}, {}, this,
                                 [this](const QVariant& answer) { updateHelper(answer); });
}

void UpdateCheck::updateHelper(const QVariant& answer) {
    auto& defaults = UserDefaults::standard();
    const qint64 ignored = defaults.integerValue(UpdateIgnored);
    if (answer.typeId() != QMetaType::QByteArray) {
        emit finished();
        return;
    }
    const QByteArray body = answer.toByteArray();
    Feed feed;
    if (!parseFeed(body, &feed)) {
        emit finished();
        return;
    }
    defaults.setValue(operation_text, feed.operationText);
    defaults.setValue(operation_link, feed.operationLink);
    if (ui_.operationInfoChanged) ui_.operationInfoChanged();
    const qint64 local = buildNumber(BundleInfo::buildVersion());
    remoteBuildNumber_ = feed.build;
    defaults.setValue(LocalBuildNumber, local);
    defaults.setValue(RemoteBuildNumber, feed.build);
    defaults.sync();
    if (local < feed.build && feed.build != ignored) {
        if (ui_.offerUpdate)
            ui_.offerUpdate(feed.des, [this] { goDownloadDMG(); }, [this] { ignoreUpdate(); });
    } else if (!isAutoCheckUpdate_) {
        if (ui_.upToDate) ui_.upToDate();
    }
    emit finished();
}

void UpdateCheck::goDownloadDMG() {
    if (ui_.openUrl) ui_.openUrl(webSiteBaseUrl() + QLatin1Char('/'));
}

void UpdateCheck::ignoreUpdate() {
    auto& defaults = UserDefaults::standard();
    defaults.setValue(UpdateIgnored, remoteBuildNumber_);
    defaults.sync();
}
