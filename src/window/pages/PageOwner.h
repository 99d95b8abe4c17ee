#pragma once

#include <QString>

class ManagingViewController;

// What the pages need of the main window controller that owns them. The
// main window controller implements it and hands itself to each page.
class PageOwner {
public:
    virtual ~PageOwner() = default;

    // Switches to a tab (0 lookup, 1 example sentences, 2 translation,
    // 3 encyclopedia, 4 word book) and looks the text up there without a
    // back/forward entry.
    virtual void jumpToTab(int tab, const QString& text) = 0;
    // The lookup tab, as a click on its toolbar item.
    virtual void chaciClick() = 0;
    virtual bool isShowingWordBookView() const = 0;
    virtual bool isShowingFanyiView() const = 0;
    virtual ManagingViewController* currentViewController() const = 0;
    // The toolbar's back and forward buttons.
    virtual void setToolbarBackEnabled(bool enabled) = 0;
    virtual void setToolbarForwardEnabled(bool enabled) = 0;
};
