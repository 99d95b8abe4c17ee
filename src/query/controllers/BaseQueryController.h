#pragma once

#include "query/controllers/QueryController.h"

#include <QString>
#include <functional>

class QueryPage;
class RequestData;

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
    // Escaped words this long or longer ask for their entry with a POST.
    static constexpr int kPostThreshold = 800;

protected:
    using Deliver = std::function<void(const QVariant&)>;
    // The shipped dictionary's index file.
    static const QString kLocalDict;
    // Asks for the full entry of `word`: a POST to `url` when the escaped
    // word is long, a GET otherwise, or the shipped dictionary when the
    // service is known to be down. A service answer that `readable` rejects
    // falls back to the shipped dictionary before `deliver` sees it. Returns
    // false when nothing will come back (offline and not in the shipped
    // dictionary): `deliver` has then been handed an invalid answer.
    bool requestEntry(RequestData* online, RequestData* offline, const QString& url, const QString& word,
                      const std::function<bool(const QVariant&)>& readable, const Deliver& deliver);
    // The shipped dictionary answers inside this call, or not at all. With
    // `onlyEntries` its "not found" is kept back: it says nothing about what
    // the service would have answered.
    bool answerFromShippedDict(RequestData* offline, const QString& word, bool onlyEntries,
                               const Deliver& deliver);

    QueryPage* page_ = nullptr;
    bool internetActive_ = false;
    QString lastQueryWord_;
    QString dict_;
    QString anotherDict_;
    QString le_;
    qint64 dictType_ = 0;
    qint64 pageTabIndex_ = 0;
};
