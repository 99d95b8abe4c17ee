#pragma once

#include "query/controllers/BaseQueryController.h"
#include "window/pages/WebPageHost.h"

#include <QPointer>
#include <QStringList>
#include <QVariant>
#include <functional>
#include <optional>

class RequestData;
class WordStrokeXMLResultParser;

// The mini window's result page: the quick-result answer rendered with
// minisearchtemplate.
class MiniSearchXMLParseParser {
public:
    // Nothing when the text is not XML, "" when the answer has neither
    // translations nor web translations, else the rendered page.
    std::optional<QString> genHTML(const QString& xml);
    // The page for a result already read (offline), or the template's empty
    // form for none.
    static QString render(const class WordStrokeXMLResult* result);
};

// The mini window's two requests: suggestions while the user types (type 1)
// and the short result of one word (type 0), shown in the window's page,
// which reports its height through resizeWnd. Each kind keeps its own
// completion, and an answer for a word the user has since replaced is
// dropped. Main thread only.
class MiniSearchQueryController : public BaseQueryController {
    Q_OBJECT
public:
    using SuggestCompletion = std::function<void(const QStringList& titles, const QStringList& rows)>;
    using ResultCompletion = std::function<void()>;

    explicit MiniSearchQueryController(QObject* parent = nullptr);
    ~MiniSearchQueryController() override;

    // The page the short results go to (its framewnd calls resizeWnd here).
    void setPageHost(WebPageHost* host) { host_ = host; }

    void doQueryWithType(const QString& word, int type, SuggestCompletion suggest, ResultCompletion result);
    void doQueryInMiniWindow(const QString& word, ResultCompletion completion);
    void doQueryInMainView(const QString& word, SuggestCompletion completion);
    // The user moved on (typed): the short result under way is not shown.
    void dropResultQuery();

    // Answers (public for tests, which hand them bodies directly).
    void invokeCompletionInMiniWindow(const QVariant& answer);
    void invokeCompletionInMainView(const QVariant& answer);
    void loadResultPage(const QString& html);
    // From the page: the content's height. Sizes the result view (within
    // the screen) and completes the waiting short-result query, once.
    void resizeWnd(double height);

    QStringList resultTitles() const { return resultTitles_; }
    QStringList resultArray() const { return resultArray_; }
    int resultHeight() const { return resultHeight_; }
    // Caps resizeWnd (the available height of the window's screen).
    void setMaxResultHeight(int h) { maxResultHeight_ = h; }

    static QString suggestUrl(const QString& word);
    static QString fsearchUrl(const QString& word);
    // One suggestion row: the title, two blanks, the explanation; the title
    // alone when there is no explanation.
    static QString rowText(const QString& title, const QString& explain);

    // The base class's page entry points mean nothing here.
    void doQuery(const QString&) override {}
    void onSearchBoxChanged(const QString&) override {}
    void setScrollPosition(int) override {}

signals:
    // The page reported its height (benchmarks and tests wait on it).
    void resultResized(int height);

private:
    void answerOffline(const QString& word, quint64 generation);

    QPointer<WebPageHost> host_;
    RequestData* requestData_ = nullptr;
    RequestData* suggestRequstData_ = nullptr;
    QStringList resultTitles_;
    QStringList resultArray_;
    SuggestCompletion suggestCompletion_;
    ResultCompletion resultCompletion_;
    quint64 suggestGeneration_ = 0;
    quint64 resultGeneration_ = 0;
    int resultHeight_ = 0;
    int maxResultHeight_ = 600;
};
