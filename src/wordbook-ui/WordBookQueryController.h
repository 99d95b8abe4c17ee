#pragma once

#include "query/controllers/BaseQueryController.h"

#include <QPointer>
#include <QStringList>
#include <QVariant>
#include <QVariantList>
#include <optional>

class RequestData;

// The lookup controller of the word book tab (slot 4 of the lookup page):
// shows the stored entry of the selected word at once, then the dictionary's
// entry, with the stored paraphrase and phonetic in place of the service's
// when the screen asks for it. Writes no usage log.
class WordBookQueryController : public BaseQueryController {
    Q_OBJECT
public:
    explicit WordBookQueryController(QObject* parent = nullptr);
    ~WordBookQueryController() override;

    // The stored entry: "word" and "intp" (the paraphrase as stored, a
    // leading phonetic first). Shown at once; answers its lines.
    QStringList doQueryInDB(const QString& word, const QString& intp);

    using QueryController::doQuery;
    void doQuery(const QString& word) override;
    void onSearchBoxChanged(const QString&) override {}
    void setScrollPosition(int) override {}
    void loadWelcomePage() override {}

    void setShouldSwizzleLocalTrans(bool v) { shouldSwizzleLocalTrans_ = v; }
    bool shouldSwizzleLocalTrans() const { return shouldSwizzleLocalTrans_; }
    // {"item": {"trans": line}} elements, or empty.
    void setLocalTrans(const QVariantList& v) { localTrans_ = v; }
    QVariantList localTrans() const { return localTrans_; }
    void setLocalPhonetic(const QString& v) { localPhonetic_ = v; }
    QString localPhonetic() const { return localPhonetic_; }

    void doLocalSearch();
    void fsearchHelper(const QVariant& answer);
    void wordBookQueryHelper(const QVariant& answer);
    void loadFirstPage();
    void loadResultPage();
    void loadNoResultPage(const QString& word = QString());
    void hideSuggest();
    void didFinishLoadFirstPage();
    void reloadResponseData();

    bool hasLoadedResultWebView() const { return hasLoadedResultWebView_; }
    bool hasParkedResult() const { return tempResponseObj_.has_value(); }
    RequestData* mainQueryRequestData() const { return mainQueryRequestData_; }

    // The full-entry address of a word (GET form).
    static QString queryUrl(const QString& escapedWord, const QString& le);
    static constexpr int kPostThreshold = 800;

private:
    bool answerOffline(const QString& word, bool onlyEntries);
    void setResultHtml(const QString& html);
    void hideSuggestAfter(int ms);

    RequestData* fsearchRequestData_ = nullptr;
    RequestData* mainQueryRequestData_ = nullptr;
    RequestData* offlineRequestData_ = nullptr;
    bool shouldSwizzleLocalTrans_ = false;
    QVariantList localTrans_;
    QString localPhonetic_;
    bool hasLoadedResultWebView_ = false;
    std::optional<QVariant> tempResponseObj_;
};
