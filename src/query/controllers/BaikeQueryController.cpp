#include "query/controllers/BaikeQueryController.h"
#include "query/controllers/SuggestionPresenter.h"

#include "query/RequestData.h"
#include "platform/ServiceHost.h"
#include "query/controllers/BaikeJSONResultParser.h"
#include "query/controllers/MainQueryController.h"
#include "query/controllers/PageScripts.h"
#include "query/controllers/QueryReaders.h"
#include "query/LogUtils.h"

namespace {
QString bodyText(const QVariant& answer)
{
    QString text;
    if (answer.metaType().id() == QMetaType::QByteArray)
        readers::decodeUtf8(answer.toByteArray(), &text);
    return text;
}

bool showsResultPage(const QString& url)
{
    return url.endsWith(QLatin1String("result.html")) || url.endsWith(QLatin1String("result.html#"));
}
}  // namespace

BaikeQueryController::BaikeQueryController(QObject* parent) : QueryController(parent)
{
    baikeQueryRequestData_ = new RequestData(this);
    suggestRequestData_ = new RequestData(this);
    suggestions_ = std::make_shared<SuggestionLists>();
}

QString BaikeQueryController::articleUrl(const QString& title)
{
    return serviceBaseUrl()
           + QStringLiteral("/jsonapi?le=eng&q=bk:%1&keyfrom=mac.main&doctype=json&jsonversion=2&vendor=%2")
                 .arg(RequestData::escapeURL(title), vendorAndVersionParam());
}

QString BaikeQueryController::searchUrl(const QString& text)
{
    return serviceBaseUrl()
           + QStringLiteral("/jsonapi?le=eng&q=bksy:%1&keyfrom=mac.main&doctype=json&jsonversion=2&vendor=%2")
                 .arg(RequestData::escapeURL(text), vendorAndVersionParam());
}

QString BaikeQueryController::suggestUrl(const QString& text)
{
    return serviceBaseUrl()
           + QStringLiteral("/suggest?q=%1&keyfrom=mac.main&pro=baike&id=%2&vendor=%3&client=vorlane")
                 .arg(RequestData::escapeURL(text), machineId(), vendorAndVersionParam());
}

QString BaikeQueryController::welcomeHtml()
{
    return QStringLiteral(
        "<span id=blank><div class='bkbackgroundt'>欢迎来到米沃百科</div><div class='bkbackgroundp'></div></span>");
}

void BaikeQueryController::doQuery(const QString& text)
{
    // A late suggestion answer must not reopen the window over the article.
    suggestRequestData_->cancel();
    if (page_ && page_->isLoading()) {
        QPointer<BaikeQueryController> self(this);
        page_->afterLoading([self, text]() {
            if (self)
                self->startQuery(text);
        });
        return;
    }
    startQuery(text);
}

void BaikeQueryController::startQuery(const QString& text)
{
    if (text.isEmpty()) {
        if (page_)
            page_->evaluateScript(QStringLiteral("hideSuggest();"));
        setHTMLElementId(QStringLiteral("result"), welcomeHtml());
        return;
    }
    LogUtils::log(QStringLiteral("action"), QStringLiteral("wiki_wiki"));
    requestArticle(text, &BaikeQueryController::bkQueryHelper);
    if (page_)
        page_->showLoadingIndicator();
}

void BaikeQueryController::requestArticle(const QString& title,
                                          void (BaikeQueryController::*helper)(const QVariant&))
{
    baikeQueryRequestData_->requestDataWithURL(articleUrl(title), {}, {}, this,
                                               [this, helper](const QVariant& a) { (this->*helper)(a); });
}

void BaikeQueryController::bkQueryHelper(const QVariant& answer)
{
    loadResultPage();
    if (answer.metaType().id() != QMetaType::QByteArray) {
        // Say so instead of leaving the spinner on over the old content.
        if (page_) {
            page_->hideLoadingIndicator();
            setHTMLElementId(QStringLiteral("result"), MainQueryController::networkErrorHtml());
        }
        return;
    }
    const BaikeJSONResultParser parser;
    const BaikeJSONResult article = parser.parseJSON(bodyText(answer));
    if (article.noresult && !article.input.isEmpty()) {
        baikeQueryRequestData_->requestDataWithURL(searchUrl(article.input), {}, {}, this,
                                                   [this](const QVariant& a) { bkSearchHelper(a); });
        return;
    }
    results_.clear();
    if (!article.enword.isEmpty()) {
        results_.insert(QStringLiteral("zhword"), article.toMustache());
        requestArticle(article.enword, &BaikeQueryController::bkwikiQueryHelper);
        return;
    }
    if (!article.zhword.isEmpty()) {
        results_.insert(QStringLiteral("enword"), article.toMustache());
        requestArticle(article.zhword, &BaikeQueryController::bkwikiQueryHelper);
        return;
    }
    setHTMLElementId(QStringLiteral("result"), parser.genHTML(&article).value_or(QString()));
    if (!page_)
        return;
    page_->evaluateScript(QStringLiteral("wikipediaSetImgSrc();"));
    page_->evaluateScript(QStringLiteral("scroll(0,0);"));
    page_->hideLoadingIndicator();
    page_->evaluateScript(QStringLiteral("scroll(0,%1);").arg(scrollPos_));
    scrollPos_ = 0;
}

void BaikeQueryController::bkwikiQueryHelper(const QVariant& answer)
{
    const BaikeJSONResultParser parser;
    const BaikeJSONResult article = parser.parseJSON(bodyText(answer));
    int subTab = 0;
    if (!article.enword.isEmpty()) {
        results_.insert(QStringLiteral("zhword"), article.toMustache());
    } else if (!article.zhword.isEmpty()) {
        results_.insert(QStringLiteral("enword"), article.toMustache());
        subTab = 1;
    } else if (results_.contains(QStringLiteral("enword"))) {
        results_.insert(QStringLiteral("zhword"), article.toMustache());
    } else {
        results_.insert(QStringLiteral("enword"), article.toMustache());
        subTab = 1;
    }
    setHTMLElementId(QStringLiteral("result"), parser.genHTMLWithZhEn(&results_).value_or(QString()));
    if (!page_)
        return;
    page_->evaluateScript(QStringLiteral("wikipediaSetImgSrc();"));
    page_->evaluateScript(QStringLiteral("goPageTab(%1);").arg(subTab));
    page_->evaluateScript(QStringLiteral("scroll(0,0);"));
    page_->hideLoadingIndicator();
}

void BaikeQueryController::bkSearchHelper(const QVariant& answer)
{
    setHTMLElementId(QStringLiteral("result"),
                     BaikeJSONResultParser().htmlSearchResult(bodyText(answer)).value_or(QString()));
    if (!page_)
        return;
    page_->evaluateScript(QStringLiteral("scroll(0,0);"));
    page_->hideLoadingIndicator();
}

void BaikeQueryController::onSearchBoxChanged(const QString& text)
{
    if (text.isEmpty()) {
        if (page_)
            page_->evaluateScript(QStringLiteral("hideSuggest();"));
        loadWelcomePage();
        return;
    }
    loadResultPage();
    suggestRequestData_->requestDataWithURL(suggestUrl(text), {}, {}, this,
                                            [this](const QVariant& a) { suggestHelper(a); });
}

void BaikeQueryController::suggestHelper(const QVariant& answer)
{
    if (answer.metaType().id() != QMetaType::QByteArray)
        return;
    QString text;
    if (!readers::decodeUtf8(answer.toByteArray(), &text))
        return;
    suggestions::present(suggestionView_, suggestions_, readers::parseSuggestions(text), suggestions::RowText::TitleOnly);
}

void BaikeQueryController::showSuggestTableView()
{
    suggestions::setTableShown(suggestionView_, true);
}

void BaikeQueryController::hideSuggestTableView()
{
    suggestions::setTableShown(suggestionView_, false);
}

void BaikeQueryController::setHTMLElementId(const QString& elementId, const QString& content)
{
    if (!page_)
        return;
    page_->setInnerHtml(elementId, content);
    // The result page's load, finishing before this write lands, lays the
    // welcome picture over the page; what is written here must show.
    QPointer<BaikeQueryController> self(this);
    page_->afterLoading([self]() {
        if (self && self->page_)
            self->page_->removeWelcomeOverlay();
    });
}

void BaikeQueryController::loadResultPage()
{
    pagescripts::loadResultPage(page_, &showsResultPage);
}

void BaikeQueryController::loadWelcomePage()
{
    loadResultPage();
    if (page_)
        page_->showWelcomeOverlay(QStringLiteral("baike-"));
}
