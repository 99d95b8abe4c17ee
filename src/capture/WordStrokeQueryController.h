#pragma once

#include "query/controllers/BaseQueryController.h"

#include <QPointer>
#include <QVariant>
#include <functional>

class RequestData;

// Looks a captured text up: the service's quick result (GET /fsearch with
// the text's position and the capture type in keyfrom) while the network is
// reachable, the shipped dictionary otherwise or when the request cannot
// reach the service. One lookup at a time: a new one replaces the callback
// and drops the answer of the one under way.
//
// The callback receives the answer body (QByteArray, any HTTP status), a
// WordStrokeXMLResultPtr from the offline dictionary, or nothing at all when
// neither can answer.
class WordStrokeQueryController : public BaseQueryController {
    Q_OBJECT
public:
    using Callback = std::function<void(const QVariant& answer)>;
    static constexpr int kHover = 0;
    static constexpr int kSelection = 1;

    explicit WordStrokeQueryController(QObject* parent = nullptr);
    using BaseQueryController::doQuery;

    // type: kHover or kSelection; pos: the character offset of the pointer
    // in `text` (0 for a selection).
    void doQuery(const QString& text, int pos, int type, QObject* target, Callback callback);
    void doQuery(const QString& text, QObject* target, Callback callback) {
        doQuery(text, 0, kSelection, target, std::move(callback));
    }
    // The offline road for lastQueryWord()/lastQueryPos().
    void doLocalSearch();

    int lastQueryPos() const { return lastQueryPos_; }
    // The request address for a text (exposed for tests and the mini window).
    static QString fsearchUrl(const QString& text, int pos, int type);
    // The blank-delimited word of `text` around `pos`: {start, end}, or
    // {-1, -1} when there is none (pos outside the text, on a blank).
    static std::pair<int, int> wordAround(const QString& text, int pos);

    // The lookup page's entry points mean nothing here.
    void doQuery(const QString&) override {}
    void onSearchBoxChanged(const QString&) override {}
    void setScrollPosition(int) override {}

private:
    void deliver(const QVariant& answer);

    RequestData* wordStrokeQueryRequestData_ = nullptr;
    QPointer<QObject> target_;
    Callback callback_;
    int lastQueryPos_ = 0;
};
