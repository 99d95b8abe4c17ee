#pragma once

#include "window/pages/ManagingViewController.h"

#include <QPointer>
#include <QStringList>

class QAction;
class QLabel;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QTextEdit;
class FanyiQueryController;

// The sentence-translation page: an input, an output, translate / clear /
// paste buttons and a language menu. Translates as the user types.
class FanyiViewController : public ManagingViewController {
    Q_OBJECT
public:
    explicit FanyiViewController(QWidget* parent = nullptr);
    ~FanyiViewController() override;

    QPlainTextEdit* input() const { return input_; }
    QTextEdit* textView() const { return textView_; }
    QPushButton* checkLanguageButton() const { return checkLanguageButton_; }
    QMenu* languageMenu() const { return languageMenu_; }
    QAction* currentItem() const { return currentItem_; }
    FanyiQueryController* fyQueryController() const { return fyQueryController_; }
    static QStringList typeArray();

    // Replaces the input without translating it (the user asks for that).
    void setInputText(const QString& text);
    void query();
    void clear();
    void paste();
    void checkLanguageButtonAction(QAction* item);
    void rebuildPlaceHolderView();
    bool placeHolderShown() const;
    bool pasteButtonShown() const;

    // The page-translation address for a typed web address.
    static QString webPageTranslateUrl(const QString& address);

protected:
    void showEvent(QShowEvent* event) override;

private:
    void inputEdited();
    void translate(bool explicitRequest);

    QPlainTextEdit* input_ = nullptr;
    QTextEdit* textView_ = nullptr;
    QPushButton* queryButton_ = nullptr;
    QPushButton* clearButton_ = nullptr;
    QPushButton* pasteButton_ = nullptr;
    QPushButton* checkLanguageButton_ = nullptr;
    QMenu* languageMenu_ = nullptr;
    QAction* currentItem_ = nullptr;
    QWidget* placeHolderView_ = nullptr;
    QLabel* huoLabel_ = nullptr;
    FanyiQueryController* fyQueryController_ = nullptr;
    bool clearing_ = false;
    bool pasting_ = false;
};
