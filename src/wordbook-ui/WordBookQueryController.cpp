#include "wordbook-ui/WordBookQueryController.h"

#include "query/controllers/MainQueryController.h"

#include "models/FSearchResult.h"
#include "models/MainQueryResult.h"
#include "models/MustacheData.h"
#include "platform/NotificationCenter.h"
#include "query/AppConstants.h"
#include "query/MainQueryJSONResultParser.h"
#include "query/RequestData.h"
#include "platform/ServiceHost.h"
#include "query/WordPresence.h"
#include "query/controllers/PageScripts.h"
#include "query/controllers/QueryPage.h"
#include "query/controllers/QueryReaders.h"
#include "query/offline/OfflineDict.h"

#include <QTimer>

namespace {
const QString kSeparator = QStringLiteral("\\n");

bool isBytes(const QVariant& v)
{
    return v.metaType().id() == QMetaType::QByteArray;
}
}  // namespace

WordBookQueryController::WordBookQueryController(QObject* parent) : BaseQueryController(parent)
{
    fsearchRequestData_ = new RequestData(this);
    mainQueryRequestData_ = new RequestData(this);
    offlineRequestData_ = new RequestData(this);
    auto& nc = NotificationCenter::defaultCenter();
    nc.addObserver(MVDidFinishLoadResultWebViewNotification, this,
                   [this](const Notification&) { reloadResponseData(); });
    nc.addObserver(MVDidFinishLoadFirstWebViewNotification, this,
                   [this](const Notification&) { didFinishLoadFirstPage(); });
}

WordBookQueryController::~WordBookQueryController()
{
    NotificationCenter::defaultCenter().removeObserver(this);
}

QString WordBookQueryController::queryUrl(const QString& escapedWord, const QString& le)
{
    QString url = serviceBaseUrl()
                  + QStringLiteral("/jsonapi?q=%1&doctype=json&keyfrom=mac.main&id=%2&vendor=%3&client=vorlane&jsonversion=2")
                        .arg(escapedWord, machineId(), vendorAndVersionParam());
    if (!le.isEmpty() && le != QLatin1String("eng"))
        url += QStringLiteral("&le=") + le;
    return url;
}

QStringList WordBookQueryController::doQueryInDB(const QString& word, const QString& intp)
{
    loadResultPage();
    QString copy = intp;
    // Only a phonetic that opens the entry is in the offline code.
    OfflineDict::ConvertPhonetic(copy);
    auto result = std::make_shared<FSearchResult>();
    result->title = word;
    if (copy.startsWith(QLatin1Char('['))) {
        const int close = copy.indexOf(QLatin1Char(']'));
        if (close > 0)
            result->phone = copy.left(close + 1);
    }
    const QStringList lines = copy.split(kSeparator);
    result->trans = lines;
    fsearchHelper(QVariant::fromValue(FSearchResultPtr(result)));
    return lines;
}

void WordBookQueryController::doQuery(const QString& word)
{
    if (page_ && page_->isLoading()) {
        QPointer<WordBookQueryController> self(this);
        page_->afterLoading([self, word] {
            if (self)
                self->doQuery(word);
        });
        return;
    }
    if (word.isEmpty()) {
        loadFirstPage();
        return;
    }
    loadResultPage();
    // Offline answers are judged against this word too (the star).
    lastQueryWord_ = word;
    const bool pending = requestEntry(
        mainQueryRequestData_, offlineRequestData_, queryUrl(RequestData::escapeURL(word), le_), word,
        [](const QVariant& a) { return a.isValid(); }, [this](const QVariant& a) { wordBookQueryHelper(a); });
    if (pending && page_)
        page_->showLoadingIndicator();
}

void WordBookQueryController::doLocalSearch()
{
    fsearchRequestData_->requestData(lastQueryWord_, kLocalDict, 2, int(dictType_), this,
                                     [this](const QVariant& a) { fsearchHelper(a); });
}

void WordBookQueryController::fsearchHelper(const QVariant& answer)
{
    if (!hasLoadedResultWebView_) {
        tempResponseObj_ = answer;  // a later one replaces it
        return;
    }
    if (answer.metaType() == QMetaType::fromType<FSearchResultPtr>()) {
        const FSearchResultPtr r = answer.value<FSearchResultPtr>();
        if (r)
            setResultHtml(mustachedata::render(QStringLiteral("fsearchtemplate"), r->toMustache()).value_or(QString()));
        return;
    }
    if (!isBytes(answer))
        return;
    QString text;
    if (!readers::decodeUtf8(answer.toByteArray(), &text))
        return;
    const std::optional<QString> html = readers::quickResultHtml(text);
    if (!html)
        return;
    if (page_)
        page_->evaluateScript(QStringLiteral("showSuggest();"));
    setResultHtml(*html);
}

void WordBookQueryController::hideSuggestAfter(int ms)
{
    QPointer<WordBookQueryController> self(this);
    QTimer::singleShot(ms, this, [self] {
        if (self)
            self->hideSuggest();
    });
}

void WordBookQueryController::wordBookQueryHelper(const QVariant& answer)
{
    if (answer.metaType() == QMetaType::fromType<MainQueryResultPtr>()) {
        const MainQueryResultPtr r = answer.value<MainQueryResultPtr>();
        if (r) {
            WordPresence* presence = WordPresence::shared();
            r->favorited = presence && presence->hasWord(lastQueryWord_) ? QStringLiteral("YES") : QString();
            if (!localTrans_.isEmpty()) {
                r->hasSimpleTrans = QStringLiteral(" ");
                r->simpleTrans = localTrans_;
                r->phone = localPhonetic_;
                r->hasNoAnyTrans = QString();
            }
            setResultHtml(mustachedata::render(QStringLiteral("wbquerytemplate"), r->toMustache()).value_or(QString()));
        }
        NotificationCenter::defaultCenter().post(MVDidCallLoadResultPageMethodNotification);
        hideSuggestAfter(500);
    } else if (isBytes(answer)) {
        QString text;
        if (readers::decodeUtf8(answer.toByteArray(), &text)) {
            hideSuggestAfter(500);
            MainQueryJSONResultParser parser;
            parser.shouldSwizzleLocalParaphase = shouldSwizzleLocalTrans_;
            parser.localWordParaphase = localTrans_;
            parser.phonetic = localPhonetic_;
            parser.word = lastQueryWord_;
            parser.dict = dict_;
            parser.another_dict = anotherDict_;
            // An answer that cannot be read leaves the stored entry in view.
            setResultHtml(parser.genHTML(text).value_or(QString()));
            NotificationCenter::defaultCenter().post(MVDidCallLoadResultPageMethodNotification);
            hideSuggestAfter(1000);
            if (page_) {
                page_->evaluateScript(QStringLiteral("scroll(0,0);"));
                page_->evaluateScript(QStringLiteral("$('.wt-container').first().removeClass('wt-collapse')"));
            }
            return;
        }
        loadNoResultPage(lastQueryWord_);
    } else {
        loadNoResultPage(lastQueryWord_);
    }
    if (page_)
        page_->evaluateScript(QStringLiteral("scroll(0,0);"));
}

void WordBookQueryController::setResultHtml(const QString& html)
{
    if (html.isEmpty() || !page_)
        return;
    page_->setInnerHtml(QStringLiteral("result"), html);
}

void WordBookQueryController::loadFirstPage()
{
    if (page_)
        page_->loadResourcePage(QStringLiteral("firstpage.html"));
    hasLoadedResultWebView_ = false;
}

void WordBookQueryController::loadResultPage()
{
    if (!page_)
        return;
    page_->removeWelcomeOverlay();
    NotificationCenter::defaultCenter().post(MVDidCallLoadResultPageMethodNotification);
    page_->evaluateScript(pagescripts::zoomScript());
    if (!page_->mainFrameUrl().endsWith(QLatin1String("result.html"))) {
        hasLoadedResultWebView_ = false;
        page_->loadResourcePage(QStringLiteral("result.html"));
    }
}

void WordBookQueryController::loadNoResultPage(const QString&)
{
    if (!page_)
        return;
    page_->hideLoadingIndicator();
    setResultHtml(MainQueryController::lookupFailedHtml());
}

void WordBookQueryController::hideSuggest()
{
    if (!page_)
        return;
    page_->hideLoadingIndicator();
    page_->evaluateScript(QStringLiteral("hideSuggest();"));
    page_->evaluateScript(QStringLiteral("initCollapse();"));
}

void WordBookQueryController::didFinishLoadFirstPage()
{
    hasLoadedResultWebView_ = false;
}

void WordBookQueryController::reloadResponseData()
{
    hasLoadedResultWebView_ = true;
    if (tempResponseObj_) {
        const QVariant parked = *tempResponseObj_;
        tempResponseObj_.reset();
        fsearchHelper(parked);
    }
}
