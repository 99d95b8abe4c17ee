#pragma once

#include "query/controllers/QueryPage.h"

#include <QStringList>
#include <functional>
#include <vector>

// A lookup page without a browser: records what the controllers write and
// lets a test decide when a load finishes, as the real page host does.
class FakePage : public QueryPage, public SuggestionView {
public:
    QString url;
    bool loading = false;
    QStringList loads;      // resource pages asked for, in order
    QStringList scripts;    // every script that reached the page
    QStringList html;       // "id=html" of every inner-HTML write
    QString resultHtml;     // what "result" holds now
    bool spinner = false;
    int spinnerShows = 0;
    QString overlay;        // welcome picture shown, empty when none
    int tableHidden = -1;   // last setTableHidden, -1 never called
    int windowShows = 0;
    int windowHides = 0;
    std::vector<std::function<void()>> pending;

    // Completes a pending load: queued writes run in order.
    void finishLoad()
    {
        loading = false;
        auto tasks = std::move(pending);
        pending.clear();
        for (auto& t : tasks)
            t();
    }

    bool isLoading() const override { return loading; }
    QString mainFrameUrl() const override { return url; }
    void loadResourcePage(const QString& fileName) override
    {
        loads << fileName;
        url = QStringLiteral("file:///res/pages/") + fileName;
        loading = true;
    }
    void evaluateScript(const QString& script, std::function<void(const QVariant&)> done) override
    {
        afterLoading([this, script, done]() {
            scripts << script;
            if (done)
                done(QVariant());
        });
    }
    void setInnerHtml(const QString& elementId, const QString& content) override
    {
        afterLoading([this, elementId, content]() {
            html << elementId + QLatin1Char('=') + content;
            if (elementId == QLatin1String("result"))
                resultHtml = content;
        });
    }
    void afterLoading(std::function<void()> task) override
    {
        if (loading)
            pending.push_back(std::move(task));
        else
            task();
    }
    void showLoadingIndicator() override
    {
        spinner = true;
        ++spinnerShows;
    }
    void hideLoadingIndicator() override { spinner = false; }
    void showWelcomeOverlay(const QString& name) override { overlay = name; }
    void removeWelcomeOverlay() override { overlay.clear(); }

    void setTableHidden(bool hidden) override { tableHidden = hidden ? 1 : 0; }
    void reloadData() override {}
    void showSuggestWindow() override { ++windowShows; }
    void hideSuggestWindow() override { ++windowHides; }
};
