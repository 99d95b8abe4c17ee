#include "query/controllers/LijuQueryController.h"

#include "query/RequestData.h"
#include "platform/ServiceHost.h"
#include "query/controllers/LjSearchJSONResultParser.h"
#include "query/controllers/MainQueryController.h"
#include "query/controllers/PageScripts.h"
#include "query/controllers/QueryPage.h"
#include "query/controllers/QueryReaders.h"
#include "query/LogUtils.h"

LijuQueryController::LijuQueryController(QObject* parent) : BaseQueryController(parent)
{
    ljQueryRequestData_ = new RequestData(this);
    le_ = QStringLiteral("eng");
}

QString LijuQueryController::ljQueryUrl(const QString& text, const QString& le)
{
    return serviceBaseUrl()
           + QStringLiteral("/jsonapi?q=lj:%1&doctype=json&keyfrom=mac.main&id=%2&vendor=%3&client=vorlane&le=%4")
                 .arg(RequestData::escapeURL(text), machineId(), vendorAndVersionParam(), le);
}

void LijuQueryController::onSearchBoxChanged(const QString& text)
{
    if (!text.isEmpty())
        return;
    if (page_)
        page_->evaluateScript(QStringLiteral("hideSuggest();"));
    loadWelcomePage();
}

void LijuQueryController::doQuery(const QString& text)
{
    if (page_ && page_->isLoading()) {
        QPointer<LijuQueryController> self(this);
        page_->afterLoading([self, text]() {
            if (self)
                self->startQuery(text);
        });
        return;
    }
    startQuery(text);
}

void LijuQueryController::startQuery(const QString& text)
{
    if (text.isEmpty()) {
        if (page_)
            page_->evaluateScript(QStringLiteral("hideSuggest();"));
        loadWelcomePage();
        return;
    }
    LogUtils::log(QStringLiteral("action"), QStringLiteral("sentence_sentence"));
    if (page_)
        page_->showLoadingIndicator();
    ljQueryRequestData_->requestDataWithURL(ljQueryUrl(text, le_), {}, {}, this,
                                            [this](const QVariant& a) { ljQueryHelper(a); });
}

void LijuQueryController::ljQueryHelper(const QVariant& answer)
{
    loadResultPage();
    if (!page_)
        return;
    if (answer.metaType().id() != QMetaType::QByteArray) {
        // A failed request must not leave the spinner turning with nothing said.
        page_->hideLoadingIndicator();
        setHTMLElementId(QStringLiteral("result"), MainQueryController::networkErrorHtml());
        return;
    }
    QString text;
    readers::decodeUtf8(answer.toByteArray(), &text);
    setHTMLElementId(QStringLiteral("result"), LjSearchJSONResultParser().genHTML(text).value_or(QString()));
    page_->evaluateScript(QStringLiteral("scroll(0,0);"));
    page_->evaluateScript(QStringLiteral("goPageTab(%1);").arg(pageTabIndex_));
    page_->hideLoadingIndicator();
}

void LijuQueryController::setHTMLElementId(const QString& elementId, const QString& content)
{
    if (!page_)
        return;
    page_->setInnerHtml(elementId, content);
    // The result page's load, finishing before this write lands, lays the
    // welcome picture over the page; what is written here must show.
    QPointer<LijuQueryController> self(this);
    page_->afterLoading([self]() {
        if (self && self->page_)
            self->page_->removeWelcomeOverlay();
    });
}

void LijuQueryController::loadResultPage()
{
    pagescripts::loadResultPage(page_, &pagescripts::urlContainsResultPage);
}

void LijuQueryController::loadWelcomePage()
{
    loadResultPage();
    if (page_)
        page_->showWelcomeOverlay(QStringLiteral("liju-"));
}
