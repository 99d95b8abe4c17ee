#include "query/controllers/MainQueryController.h"
#include "query/controllers/SuggestionPresenter.h"

#include "models/FSearchResult.h"
#include "models/MainQueryResult.h"
#include "models/MustacheData.h"
#include "platform/HeapTrim.h"
#include "platform/NotificationCenter.h"
#include "platform/UserDefaults.h"
#include "query/AppConstants.h"
#include "query/RequestData.h"
#include "platform/ServiceHost.h"
#include "query/controllers/PageScripts.h"
#include "query/MainQueryJSONResultParser.h"
#include "query/controllers/QueryReaders.h"
#include "query/offline/OfflineDict.h"
#include "query/LogUtils.h"

#include <QTimer>

namespace {

QString commonTail()
{
    return QStringLiteral("&id=%1&vendor=%2&client=vorlane").arg(machineId(), vendorAndVersionParam());
}

bool isBytes(const QVariant& v)
{
    return v.metaType().id() == QMetaType::QByteArray;
}
}  // namespace

QString MainQueryController::networkErrorText()
{
    return QStringLiteral("很抱歉，目前无法连接服务器，请检查您的网络连接。");
}

QString MainQueryController::networkErrorHtml()
{
    return QStringLiteral("<br><div id='networkerr'>%1</div>").arg(networkErrorText());
}

QString MainQueryController::lookupFailedHtml()
{
    // The shipped dictionary is what answers when the service cannot: if it
    // is what failed, blaming the network sends the user the wrong way.
    if (OfflineDict::unavailable())
        return QStringLiteral("<br><div id='networkerr'>%1</div>").arg(OfflineDict::unavailableText().toHtmlEscaped());
    return networkErrorHtml();
}

QString MainQueryController::suggestUrl(const QString& text, const QString& le)
{
    return serviceBaseUrl() + QStringLiteral("/suggest/minisuggest?q=%1&keyfrom=mac.main").arg(RequestData::escapeURL(text))
           + commonTail() + QStringLiteral("&le=") + le;
}

QString MainQueryController::fsearchUrl(const QString& text, const QString& le)
{
    return serviceBaseUrl() + QStringLiteral("/fsearch?q=%1&keyfrom=mac.main").arg(RequestData::escapeURL(text))
           + commonTail() + QStringLiteral("&le=") + le;
}

QString MainQueryController::mainQueryUrl(const QString& text, const QString& le)
{
    QString url = serviceBaseUrl()
                  + QStringLiteral("/jsonapi?q=%1&doctype=json&keyfrom=mac.main").arg(RequestData::escapeURL(text))
                  + commonTail() + QStringLiteral("&jsonversion=2");
    if (!le.isEmpty() && le != QLatin1String("eng"))
        url += QStringLiteral("&le=") + le;
    return url;
}

MainQueryController::MainQueryController(QObject* parent) : BaseQueryController(parent)
{
    suggestRequestData_ = new RequestData(this);
    fsearchRequestData_ = new RequestData(this);
    mainQueryRequestData_ = new RequestData(this);
    offlineRequestData_ = new RequestData(this);
    suggestions_ = std::make_shared<SuggestionLists>();
    auto& nc = NotificationCenter::defaultCenter();
    nc.addObserver(MVDidFinishLoadResultWebViewNotification, this,
                   [this](const Notification&) { reloadResponseData(); });
    nc.addObserver(MVDidFinishLoadFirstWebViewNotification, this,
                   [this](const Notification&) { didFinishLoadFirstPage(); });
}

MainQueryController::~MainQueryController()
{
    NotificationCenter::defaultCenter().removeObserver(this);
}

void MainQueryController::onSearchBoxChanged(const QString& text)
{
    if (text.isEmpty()) {
        if (page_)
            page_->evaluateScript(QStringLiteral("hideSuggest();"));
        loadFirstPage();
        return;
    }
    loadResultPage();
    lastQueryWord_ = text;
    if (internetActive_) {
        suggestRequestData_->requestDataWithURL(suggestUrl(text, le_), {}, {}, this,
                                                [this](const QVariant& a) { suggestHelper(a); });
        fsearchRequestData_->requestDataWithURL(fsearchUrl(text, le_), {}, {}, this,
                                                [this, text](const QVariant& a) {
            // A service that fails or answers what cannot be read is treated
            // like one that cannot be reached, rather than leaving a blank page.
            if (!fsearchHelper(a))
                answerQuickResultOffline(text);
        });
    } else {
        // Each keystroke searches, when its timer fires, the word current
        // then; a full lookup started since makes the search moot.
        const quint64 lookup = lookupSerial_;
        QTimer::singleShot(100, this, [this, lookup]() {
            if (lookup == lookupSerial_)
                doLocalSearch();
        });
    }
}

void MainQueryController::doLocalSearch()
{
    fsearchRequestData_->requestData(lastQueryWord_, kLocalDict, 2, int(dictType_), this,
                                     [this](const QVariant& a) { fsearchHelper(a); });
}

void MainQueryController::answerQuickResultOffline(const QString& text)
{
    bool answered = false;
    offlineRequestData_->requestData(text, kLocalDict, 2, int(dictType_), this,
                                     [this, &answered](const QVariant& a) { answered = fsearchHelper(a); });
    if (!answered)
        setHTMLElementId(QStringLiteral("result"), lookupFailedHtml());
}

void MainQueryController::suggestHelper(const QVariant& answer)
{
    if (!isBytes(answer))
        return;
    QString text;
    if (!readers::decodeUtf8(answer.toByteArray(), &text))
        return;
    suggestions::present(suggestionView_, suggestions_, readers::parseSuggestions(text), suggestions::RowText::TitleAndExplanation);
}

void MainQueryController::showSuggestTableView()
{
    suggestions::setTableShown(suggestionView_, true);
}

void MainQueryController::hideSuggestTableView()
{
    suggestions::setTableShown(suggestionView_, false);
}

bool MainQueryController::fsearchHelper(const QVariant& answer)
{
    if (answer.metaType() == QMetaType::fromType<FSearchResultPtr>()) {
        const FSearchResultPtr r = answer.value<FSearchResultPtr>();
        if (!r)
            return false;
        setHTMLElementId(QStringLiteral("result"),
                         mustachedata::render(QStringLiteral("fsearchtemplate"), r->toMustache()).value_or(QString()));
        return true;
    }
    if (!isBytes(answer))
        return false;
    QString text;
    if (!readers::decodeUtf8(answer.toByteArray(), &text))
        return false;
    const std::optional<QString> html = readers::quickResultHtml(text);
    if (!html)
        return false;
    if (page_)
        page_->evaluateScript(QStringLiteral("showSuggest();"));
    setHTMLElementId(QStringLiteral("result"), *html);
    return true;
}

void MainQueryController::doQuery(const QString& text)
{
    // Answers to typing that this lookup overtakes must not land on top of
    // it: neither suggestions reopening their window nor a quick result.
    ++lookupSerial_;
    suggestRequestData_->cancel();
    fsearchRequestData_->cancel();
    if (page_ && page_->isLoading()) {
        QPointer<MainQueryController> self(this);
        page_->afterLoading([self, text]() {
            if (self)
                self->startQuery(text);
        });
        return;
    }
    startQuery(text);
}

void MainQueryController::startQuery(const QString& text)
{
    if (text.isEmpty()) {
        loadFirstPage();
        return;
    }
    // The usage event leads the entry's request, the order the services have
    // always received a lookup in; offline lookups are logged the same way.
    LogUtils::log(QStringLiteral("action"), QStringLiteral("lookup_lookup"));
    loadResultPage();
    if (internetActive_)
        lastQueryWord_ = text;
    const bool pending = requestEntry(
        mainQueryRequestData_, offlineRequestData_, mainQueryUrl(text, le_), text,
        [this](const QVariant& a) { return answerIsReadable(a); }, [this](const QVariant& a) { mainQueryHelper(a); });
    // When nothing will come back the page has said so: no spinner then.
    if (pending && page_)
        page_->showLoadingIndicator();
}

void MainQueryController::mainQueryHelper(const QVariant& answer)
{
    if (!hasLoadedResultWebView_) {
        // Held until the result page reports it has loaded; only the latest
        // answer counts. A failure must not leave the spinner turning.
        tempResponseObj_ = answer;
        if (!answer.isValid() && page_)
            page_->hideLoadingIndicator();
        return;
    }
    showAnswer(answer);
}

bool MainQueryController::answerIsReadable(const QVariant& answer) const
{
    if (!isBytes(answer))
        return false;
    QString text;
    return readers::decodeUtf8(answer.toByteArray(), &text) && MainQueryJSONResultParser::isReadable(text);
}

void MainQueryController::showAnswer(const QVariant& answer)
{
    heaptrim::soon();
    QPointer<MainQueryController> self(this);
    // The clean-up hides the loading indicator: one left from an earlier
    // answer must not hide the indicator of a lookup started since.
    const quint64 lookup = lookupSerial_;
    auto later = [self, lookup](int ms) {
        QTimer::singleShot(ms, self, [self, lookup]() {
            if (self && lookup == self->lookupSerial_)
                self->hideSuggest();
        });
    };
    if (answer.metaType() == QMetaType::fromType<MainQueryResultPtr>()) {
        const MainQueryResultPtr r = answer.value<MainQueryResultPtr>();
        // The offline dictionary's entry stays out of the history: a history
        // row carries the service's answer, which an offline lookup has not.
        if (r)
            setHTMLElementId(QStringLiteral("result"),
                             mustachedata::render(QStringLiteral("mainquerytemplate"), r->toMustache())
                                 .value_or(QString()));
        later(500);
        return;
    }
    if (isBytes(answer)) {
        QString text;
        std::optional<QString> html;
        if (readers::decodeUtf8(answer.toByteArray(), &text))
            html = readers::fullEntryHtml(text, lastQueryWord_, dict_, anotherDict_);
        if (html) {
            later(500);
            setHTMLElementId(QStringLiteral("result"), *html);
            later(1000);
            if (page_) {
                page_->evaluateScript(QStringLiteral("scroll(0,0);"));
                page_->evaluateScript(QStringLiteral("$('.wt-container').first().removeClass('wt-collapse')"));
            }
        } else {
            // An error page or a damaged answer says no more than no answer.
            loadNoResultPage(lastQueryWord_);
        }
    } else {
        loadNoResultPage(lastQueryWord_);
    }
    if (page_)
        page_->evaluateScript(QStringLiteral("scroll(0,0);"));
}

void MainQueryController::hideSuggest()
{
    if (!page_)
        return;
    page_->hideLoadingIndicator();
    page_->evaluateScript(QStringLiteral("hideSuggest();"));
    page_->evaluateScript(QStringLiteral("initCollapse();"));
}

void MainQueryController::setHTMLElementId(const QString& elementId, const QString& content)
{
    if (content.isEmpty() || !page_)
        return;
    page_->setInnerHtml(elementId, content);
}

void MainQueryController::loadNoResultPage(const QString&)
{
    if (!page_)
        return;
    page_->hideLoadingIndicator();
    setHTMLElementId(QStringLiteral("result"), lookupFailedHtml());
    // The result page is still the one shown, so later answers go straight in.
}

void MainQueryController::loadFirstPage()
{
    if (page_) {
        page_->removeWelcomeOverlay();
        page_->loadResourcePage(QStringLiteral("firstpage.html"));
    }
    hasLoadedResultWebView_ = false;
}

void MainQueryController::loadWelcomePage()
{
    if (page_)
        page_->removeWelcomeOverlay();
}

void MainQueryController::loadResultPage()
{
    if (!page_)
        return;
    page_->removeWelcomeOverlay();
    if (!page_->mainFrameUrl().contains(QLatin1String("result.html"))) {
        hasLoadedResultWebView_ = false;
        page_->loadResourcePage(QStringLiteral("result.html"));
    }
    // Queued behind a pending load, so the zoom applies to the result page.
    page_->evaluateScript(pagescripts::zoomScript());
}

void MainQueryController::didFinishLoadFirstPage()
{
    hasLoadedResultWebView_ = false;
}

void MainQueryController::reloadResponseData()
{
    hasLoadedResultWebView_ = true;
    if (tempResponseObj_) {
        const QVariant held = *tempResponseObj_;
        tempResponseObj_.reset();
        showAnswer(held);
    }
}
