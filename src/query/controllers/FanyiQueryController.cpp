#include "query/controllers/FanyiQueryController.h"

#include "query/RequestData.h"
#include "platform/ServiceHost.h"
#include "query/controllers/FanyiSearchJSONResultParser.h"
#include "query/controllers/MainQueryController.h"
#include "query/controllers/QueryReaders.h"

#include <QDebug>
#include <QLoggingCategory>

namespace {
Q_LOGGING_CATEGORY(lcFanyi, "mirvok.query.translation", QtInfoMsg)
}

FanyiQueryController::FanyiQueryController(QObject* parent) : QueryController(parent)
{
    fanyiQueryRequestData_ = new RequestData(this);
}

QString FanyiQueryController::typeForTag(int tag)
{
    static const char* const types[] = {"EN2ZH_CN", "FR2ZH_CN", "JA2ZH_CN", "KR2ZH_CN", "RU2ZH_CN", "SP2ZH_CN",
                                        "ZH_CN2EN", "ZH_CN2FR", "ZH_CN2JA", "ZH_CN2KR", "ZH_CN2RU", "ZH_CN2SP"};
    if (tag >= 1 && tag <= 12)
        return QString::fromLatin1(types[tag - 1]);
    return QStringLiteral("AUTO");
}

QString FanyiQueryController::sorryText()
{
    return QStringLiteral("抱歉，实在太长啦，让我喘口气");
}

void FanyiQueryController::doQuery(const QString& text)
{
    const QString type = typeForTag(currentItemTag_);
    auto cb = [this](const QVariant& a) { tranQueryHelper(a); };
    if (text.size() < kPostThreshold) {
        const QString url =
            serviceBaseUrl()
            + QStringLiteral("/translate?i=%1&type=%2&doctype=json&id=%3&vendor=%4&xmlVersion=1.6&keyfrom=mac.fanyi")
                  .arg(RequestData::escapeURL(text), type, machineId(), vendorAndVersionParam());
        qCDebug(lcFanyi).noquote() << QStringLiteral("url=%1").arg(url);
        fanyiQueryRequestData_->requestDataWithURL(url, {}, {}, this, cb);
        return;
    }
    const QString url = serviceBaseUrl()
                        + QStringLiteral("/translate?id=%1&vendor=%2").arg(machineId(), vendorAndVersionParam());
    fanyiQueryRequestData_->requestDataWithURL(
        url,
        {QStringLiteral("i"), QStringLiteral("type"), QStringLiteral("doctype"), QStringLiteral("keyfrom"),
         QStringLiteral("ue"), QStringLiteral("xmlVersion")},
        {text, type, QStringLiteral("json"), QStringLiteral("mac.fanyi"), QStringLiteral("UTF-8"),
         QStringLiteral("1.6")},
        this, cb);
}

void FanyiQueryController::tranQueryHelper(const QVariant& answer)
{
    // No answer at all: the service could not be reached (the offline
    // dictionary translates no sentences), which is not the text's fault.
    if (answer.metaType().id() != QMetaType::QByteArray) {
        if (output_)
            output_(MainQueryController::networkErrorText());
        return;
    }
    std::optional<QString> translation;
    {
        QString text;
        if (readers::decodeUtf8(answer.toByteArray(), &text))
            translation = FanyiSearchJSONResultParser().genHTML(text);
    }
    if (output_)
        output_(translation.value_or(sorryText()));
}
