#pragma once

#include "window/ShellServices.h"

#include <QPointer>
#include <memory>

class MVWordBook;
class WordBookShell;
class WordBookViewController;

// The word book as the main window sees it once its screens exist: the
// screen in the side bar, its flags and key handling, and synchronisations
// reported to the screen. The screen is made on first need.
class WordBookScreenServices : public WordBookServices {
public:
    WordBookScreenServices(MVWordBook& book, std::unique_ptr<WordBookShell> shell);
    ~WordBookScreenServices() override;

    void configure(const QString& dbFileName, const QString& syncUrl) override;
    bool isSyncing() const override;
    QWidget* wordBookView() override;
    void showParaphaseForFirstWord() override;
    void setClickFromBackOrForwardButton(bool v) override;
    void setHistoryRecording(bool needToRecord, bool shouldRecord) override;
    void setShouldResetCurCategory(bool v) override;
    void startSync(bool needMerge) override;
    void wordListKeyDown(int qtKey, const QString& text) override;

    WordBookViewController* screen();
    WordBookShell* shell() const { return shell_.get(); }

private:
    MVWordBook& book_;
    std::unique_ptr<WordBookShell> shell_;
    QPointer<WordBookViewController> screen_;
};

// Installs the word book's screens into the application before the main
// window exists: the shell's word-book services, the lookup page's word-book
// controller, and the result page's add/remove (synchronising with the
// screen as listener). Call once from main.
void installWordBookScreens();
