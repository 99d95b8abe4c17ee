#pragma once

#include "wordbook-ui/WordBookShell.h"

class MainViewController;

// The screen's view of the running main window (FrameWndController's shared
// instance and its lookup page), looked up at each call.
class RealWordBookShell : public WordBookShell {
public:
    bool lookupPageIsCurrent() const override;
    bool isShowingWordBookView() const override;
    void changeQueryController(int index) override;
    QObject* currentQueryController() const override;
    void doQuery(const QString& word) override;
    void doQueryAddHistory(const QString& word, bool addHistory) override;
    void loadDefaultPage() override;
    void showUserInfoPanel() override;
    QWidget* window() const override;

    static MainViewController* lookupPage();
};
