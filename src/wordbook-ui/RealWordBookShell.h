#pragma once

#include "wordbook-ui/WordBookShell.h"

class MainViewController;

#include <functional>

// The screen's view of the running main window (FrameWndController's shared
// instance and its lookup page), looked up at each call. A page given here
// stands in for the main window's (a page shown on its own, in tests).
class RealWordBookShell : public WordBookShell {
public:
    RealWordBookShell() = default;
    explicit RealWordBookShell(std::function<MainViewController*()> page) : page_(std::move(page)) {}

    bool lookupPageIsCurrent() const override;
    bool isShowingWordBookView() const override;
    void changeQueryController(int index) override;
    QObject* currentQueryController() const override;
    void doQuery(const QString& word) override;
    void doQueryAddHistory(const QString& word, bool addHistory) override;
    void loadDefaultPage() override;
    void showUserInfoPanel() override;
    QWidget* window() const override;

    MainViewController* lookupPage() const;

private:
    std::function<MainViewController*()> page_;
};
