#pragma once

#include "query/controllers/QueryController.h"

#include <QString>
#include <functional>

class QueryPage;

// Base of the query controllers that look words up in the dictionary
// service: whether the internet is reachable, the language pair and the last
// word typed.
class BaseQueryController : public QueryController {
    Q_OBJECT
public:
    explicit BaseQueryController(QObject* parent = nullptr);
    ~BaseQueryController() override;

    // Re-reads the internet probe (on every reachability change).
    void checkNetworkStatus();
    bool internetActive() const { return internetActive_; }
    void setInternetActive(bool active) { internetActive_ = active; }

    QString lastQueryWord() const { return lastQueryWord_; }
    QString dict() const { return dict_; }
    void setDict(const QString& v) { dict_ = v; }
    QString another_dict() const { return anotherDict_; }
    void setAnother_dict(const QString& v) { anotherDict_ = v; }
    QString le() const { return le_; }
    void setLe(const QString& v) { le_ = v; }
    qint64 dictType() const { return dictType_; }
    void setDictType(qint64 v) { dictType_ = v; }
    qint64 pageTabIndex() const { return pageTabIndex_; }
    void setPageTabIndex(qint64 v) { pageTabIndex_ = v; }

    // The lookup page's web view, shared by the controllers of its tabs.
    virtual void setPage(QueryPage* page) { page_ = page; }
    QueryPage* page() const { return page_; }

    void loadWelcomePage() override {}

protected:
    QueryPage* page_ = nullptr;
    bool internetActive_ = false;
    QString lastQueryWord_;
    QString dict_;
    QString anotherDict_;
    QString le_;
    qint64 dictType_ = 0;
    qint64 pageTabIndex_ = 0;
};
