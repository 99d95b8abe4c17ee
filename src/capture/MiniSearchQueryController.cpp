#include "capture/MiniSearchQueryController.h"

#include "capture/WordStrokeXMLResultParser.h"
#include "models/MustacheData.h"
#include "models/WordStrokeXMLResult.h"
#include "platform/ServiceHost.h"
#include "query/RequestData.h"
#include "query/SuggestXMLResultParser.h"
#include "window/ShellServices.h"
#include "window/pages/WebPageHost.h"

#include <QLoggingCategory>
#include <QStringDecoder>
#include <cmath>

namespace {
Q_LOGGING_CATEGORY(lcMini, "mirvok.capture.mini")
const QString kLocalDict = QStringLiteral("mvdict.idx");
constexpr int kCaptureResult = 3;
}  // namespace

// ------------------------------------------------------------- the parser

std::optional<QString> MiniSearchXMLParseParser::genHTML(const QString& xml) {
    WordStrokeXMLResultParser parser;
    const WordStrokeXMLResultPtr r = parser.parseXML(xml);
    if (!r) return std::nullopt;
    if (r->trans.isEmpty() && r->webTrans.isEmpty()) return QString(QLatin1String(""));
    return render(r.get());
}

QString MiniSearchXMLParseParser::render(const WordStrokeXMLResult* result) {
    QString error;
    const std::optional<QString> html =
        mustachedata::render(QStringLiteral("minisearchtemplate"), result ? result->toMustache() : QVariantMap(), &error);
    if (!html) qCWarning(lcMini).noquote() << error;
    return html.value_or(QString());
}

// ------------------------------------------------------------ the queries

MiniSearchQueryController::MiniSearchQueryController(QObject* parent) : BaseQueryController(parent) {
    requestData_ = new RequestData(this);
    suggestRequstData_ = new RequestData(this);
}

MiniSearchQueryController::~MiniSearchQueryController() = default;

QString MiniSearchQueryController::suggestUrl(const QString& word) {
    return serviceBaseUrl()
           + QStringLiteral("/suggest/minisuggest?q=%1&keyfrom=mac.main&id=%2&vendor=%3&client=vorlane&le=%4")
                 .arg(RequestData::escapeURL(word), machineId(), vendorAndVersionParam(), QStringLiteral("eng"));
}

QString MiniSearchQueryController::fsearchUrl(const QString& word) {
    return serviceBaseUrl()
           + QStringLiteral("/fsearch?q=%1&keyfrom=mac.miniWindow&id=%2&vendor=%3&client=vorlane")
                 .arg(RequestData::escapeURL(word), machineId(), vendorAndVersionParam());
}

QString MiniSearchQueryController::rowText(const QString& title, const QString& explain) {
    if (explain.isEmpty()) return title;
    return title + QStringLiteral("  ") + explain;
}

void MiniSearchQueryController::doQueryWithType(const QString& word, int type, SuggestCompletion suggest,
                                                ResultCompletion result) {
    if (type == 1) {
        doQueryInMainView(word, std::move(suggest));
    } else if (type == 0) {
        doQueryInMiniWindow(word, std::move(result));
        ShellServices::logEvent(QStringLiteral("action"), QStringLiteral("mini_lookup"));
    }
}

void MiniSearchQueryController::doQueryInMiniWindow(const QString& word, ResultCompletion completion) {
    resultCompletion_ = std::move(completion);
    lastQueryWord_ = word;
    const quint64 generation = ++resultGeneration_;
    if (!internetActive_) {
        requestData_->cancel();
        answerOffline(word, generation);
        return;
    }
    requestData_->requestDataWithURL(fsearchUrl(word), {}, {}, this, [this, word, generation](const QVariant& a) {
        if (generation != resultGeneration_) return;
        // The service could not be reached: the shipped dictionary still
        // knows the common words.
        if (a.isNull()) {
            answerOffline(word, generation);
            return;
        }
        invokeCompletionInMiniWindow(a);
    });
}

void MiniSearchQueryController::dropResultQuery() {
    ++resultGeneration_;
    resultCompletion_ = nullptr;
    requestData_->cancel();
}

void MiniSearchQueryController::answerOffline(const QString& word, quint64 generation) {
    bool answered = false;
    requestData_->requestData(word.trimmed(), kLocalDict, kCaptureResult, 0, this,
                              [this, generation, &answered](const QVariant& a) {
                                  answered = true;
                                  if (generation == resultGeneration_) invokeCompletionInMiniWindow(a);
                              });
    // Not in the shipped dictionary, or the dictionary could not be read: the
    // page says which instead of staying blank.
    if (!answered)
        invokeCompletionInMiniWindow(QVariant::fromValue(WordStrokeXMLResultParser::offlineUnavailable(word.trimmed())));
}

void MiniSearchQueryController::doQueryInMainView(const QString& word, SuggestCompletion completion) {
    suggestCompletion_ = std::move(completion);
    const quint64 generation = ++suggestGeneration_;
    suggestRequstData_->requestDataWithURL(suggestUrl(word), {}, {}, this, [this, generation](const QVariant& a) {
        if (generation == suggestGeneration_) invokeCompletionInMainView(a);
    });
}

void MiniSearchQueryController::invokeCompletionInMiniWindow(const QVariant& answer) {
    QString html;
    if (answer.metaType() == QMetaType::fromType<QByteArray>()) {
        MiniSearchXMLParseParser parser;
        html = parser.genHTML(QString::fromUtf8(answer.toByteArray())).value_or(QString());
    } else if (answer.metaType() == QMetaType::fromType<WordStrokeXMLResultPtr>()) {
        html = MiniSearchXMLParseParser::render(answer.value<WordStrokeXMLResultPtr>().get());
    } else {
        html = MiniSearchXMLParseParser::render(nullptr);
    }
    loadResultPage(html);
}

void MiniSearchQueryController::invokeCompletionInMainView(const QVariant& answer) {
    if (answer.metaType() != QMetaType::fromType<QByteArray>()) return;
    const QByteArray body = answer.toByteArray();
    QStringDecoder utf8(QStringDecoder::Utf8);
    const QString text = utf8.decode(body);
    if (!utf8.hasError()) {
        resultTitles_.clear();
        resultArray_.clear();
        if (const std::optional<SuggestResult> r = SuggestXMLResultParser().parseXML(text)) {
            for (const SuggestResult::Item& item : r->items) {
                resultTitles_.append(item.title);
                resultArray_.append(rowText(item.title, item.explain));
            }
        }
    }
    if (SuggestCompletion cb = std::exchange(suggestCompletion_, nullptr)) cb(resultTitles_, resultArray_);
}

void MiniSearchQueryController::loadResultPage(const QString& html) {
    if (!host_) return;
    host_->setInnerHtml(QStringLiteral("result"), html);
    host_->runScript(QStringLiteral("getValue();"));
}

void MiniSearchQueryController::resizeWnd(double height) {
    // Page script may say anything: NaN, infinities, negatives, huge values.
    if (!std::isfinite(height)) return;
    resultHeight_ = int(qBound(1.0, height, double(qMax(1, maxResultHeight_))));
    emit resultResized(resultHeight_);
    if (ResultCompletion cb = std::exchange(resultCompletion_, nullptr)) cb();
}
