#pragma once

#include "query/controllers/BaseQueryController.h"

#include <QPointer>

class RequestData;

// The example-sentence tab: asks the service for a word's example sentences
// and shows them in the result page; a welcome picture when the text is empty.
class LijuQueryController : public BaseQueryController {
    Q_OBJECT
public:
    explicit LijuQueryController(QObject* parent = nullptr);

    using QueryController::doQuery;
    void doQuery(const QString& text) override;
    void onSearchBoxChanged(const QString& text) override;
    void setScrollPosition(int) override {}
    void loadWelcomePage() override;
    void loadResultPage();
    void setHTMLElementId(const QString& elementId, const QString& content);
    void ljQueryHelper(const QVariant& answer);

    void setParentViewController(QObject* page) { parentViewController_ = page; }
    RequestData* ljQueryRequestData() const { return ljQueryRequestData_; }

    static QString ljQueryUrl(const QString& text, const QString& le);

private:
    void startQuery(const QString& text);

    RequestData* ljQueryRequestData_ = nullptr;
    QPointer<QObject> parentViewController_;
};
