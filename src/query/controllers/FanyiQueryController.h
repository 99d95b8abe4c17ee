#pragma once

#include "query/controllers/QueryController.h"

#include <QString>
#include <functional>

class RequestData;

// Sends the text of the translation page to the translation service and
// hands the translated text (plain text) to the page's output.
// It takes the page's calls like the other tabs' controllers; typing and
// scroll positions mean nothing to it.
class FanyiQueryController : public QueryController {
    Q_OBJECT
public:
    explicit FanyiQueryController(QObject* parent = nullptr);

    using QueryController::doQuery;
    void doQuery(const QString& text) override;
    void onSearchBoxChanged(const QString&) override {}
    void setScrollPosition(int) override {}
    void tranQueryHelper(const QVariant& answer);

    // The page's output view: replaces its whole content.
    void setTextView(std::function<void(const QString&)> output) { output_ = std::move(output); }
    // The tag of the chosen language entry; 0 (none) translates automatically.
    void setCurrentItemTag(int tag) { currentItemTag_ = tag; }
    int currentItemTag() const { return currentItemTag_; }

    RequestData* fanyiQueryRequestData() const { return fanyiQueryRequestData_; }

    static QString typeForTag(int tag);
    // Texts this long (UTF-16 units, before escaping) or longer go as a POST.
    static constexpr int kPostThreshold = 900;
    static QString sorryText();

private:
    RequestData* fanyiQueryRequestData_ = nullptr;
    std::function<void(const QString&)> output_;
    int currentItemTag_ = 0;
};
