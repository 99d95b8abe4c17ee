#pragma once

#include <QString>

class QObject;
class QWidget;

// What the word book screen needs of the main window and its lookup page.
// RealWordBookShell answers over the running window; tests use a double.
class WordBookShell {
public:
    virtual ~WordBookShell() = default;

    // The main window shows the lookup page (not the translation page).
    virtual bool lookupPageIsCurrent() const = 0;
    virtual bool isShowingWordBookView() const = 0;
    // The lookup page's tabs and lookups.
    virtual void changeQueryController(int index) = 0;
    virtual QObject* currentQueryController() const = 0;
    // A lookup with a back/forward entry, the word shown in the search field.
    virtual void doQuery(const QString& word) = 0;
    virtual void doQueryAddHistory(const QString& word, bool addHistory) = 0;
    // The empty list's page: result.html with the word book's placeholder.
    virtual void loadDefaultPage() = 0;
    // The login panel when nobody is signed in, else the account menu.
    virtual void showUserInfoPanel() = 0;
    // The main window, for placing menus and panels (may be null).
    virtual QWidget* window() const = 0;
};
