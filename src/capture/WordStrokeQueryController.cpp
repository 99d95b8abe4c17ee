#include "capture/WordStrokeQueryController.h"

#include "capture/WordStrokeXMLResultParser.h"
#include "query/RequestData.h"
#include "platform/ServiceHost.h"

namespace {
const QString kLocalDict = QStringLiteral("mvdict.idx");
constexpr int kCapturePopup = 3;
}  // namespace

WordStrokeQueryController::WordStrokeQueryController(QObject* parent) : BaseQueryController(parent) {
    wordStrokeQueryRequestData_ = new RequestData(this);
}

QString WordStrokeQueryController::fsearchUrl(const QString& text, int pos, int type) {
    return serviceBaseUrl()
           + QStringLiteral("/fsearch?q=%1&pos=%2&keyfrom=mac.scrtrans.%3&id=%4&vendor=%5&client=vorlane")
                 .arg(RequestData::escapeURL(text))
                 .arg(pos)
                 .arg(type)
                 .arg(machineId(), vendorAndVersionParam());
}

void WordStrokeQueryController::doQuery(const QString& text, int pos, int type, QObject* target,
                                        Callback callback) {
    target_ = target;
    callback_ = std::move(callback);
    lastQueryWord_ = text;
    lastQueryPos_ = pos;
    if (!internetActive_) {
        wordStrokeQueryRequestData_->cancel();
        doLocalSearch();
        return;
    }
    wordStrokeQueryRequestData_->requestDataWithURL(
        fsearchUrl(text, pos, type), {}, {}, this, [this](const QVariant& answer) {
            // The service could not be reached: the shipped dictionary still knows
            // the common words.
            if (answer.isNull()) {
                doLocalSearch();
                return;
            }
            deliver(answer);
        });
}

std::pair<int, int> WordStrokeQueryController::wordAround(const QString& w, int p) {
    const int n = int(w.size());
    if (p < 0 || p > n || n == 0) return {-1, -1};
    // A position just past the end belongs to the last word, not to whatever
    // follows the text in memory.
    if (p == n) p = n - 1;
    int start = 0;
    for (int i = p; i >= 1; --i) {
        if (w.at(i) == u' ') {
            start = i + 1;
            break;
        }
    }
    int end = n;
    for (int i = p; i < n; ++i) {
        if (w.at(i) == u' ') {
            end = i;
            break;
        }
    }
    if (end - start <= 0) return {-1, -1};
    return {start, end};
}

void WordStrokeQueryController::doLocalSearch() {
    const auto [start, end] = wordAround(lastQueryWord_, lastQueryPos_);
    if (start < 0) return;
    // RequestData::cancel disconnects a superseded request, and the shipped
    // dictionary answers at once: no answer can arrive for an older query.
    const QString word = lastQueryWord_.mid(start, end - start);
    bool answered = false;
    wordStrokeQueryRequestData_->requestData(word, kLocalDict, kCapturePopup, 0, this,
                                             [this, &answered](const QVariant& answer) {
                                                 answered = true;
                                                 deliver(answer);
                                             });
    // A damaged dictionary is no plain miss: the user has to hear about it.
    if (answered) return;
    if (const WordStrokeXMLResultPtr notice = WordStrokeXMLResultParser::offlineUnavailable(word))
        deliver(QVariant::fromValue(notice));
}

void WordStrokeQueryController::deliver(const QVariant& answer) {
    if (!callback_) return;
    if (target_.isNull()) return;
    Callback cb = callback_;
    cb(answer);
}
