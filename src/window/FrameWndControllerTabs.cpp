#include "window/FrameWndController.h"

#include "window/FrameSplitViewController.h"
#include "window/MVSearchField.h"
#include "window/PreferencePanelController.h"
#include "window/ShellPages.h"
#include "window/ShellServices.h"
#include "window/SideBarViewController.h"
#include "window/WindowLog.h"

// Tabs, jumps between them, and typing that reaches the search field.

namespace {
const char* kTabIdentifiers[4] = {"ChaciItem", "LijuItem", "FanyiItem", "BaikeItem"};
}  // namespace

void FrameWndController::hideSideBarShowSections() {
    split_->hideSideBar();
    split_->setCurrentSideBarType(FrameSplitViewController::SectionList);
    // Back from the word book, the ordinary side bar returns.
    split_->showSideBarWithType(FrameSplitViewController::SectionList);
}
void FrameWndController::changeViewController(int index) {
    for (QWidget* v : pageViews_)
        if (v) v->hide();
    if (index < 0 || index > 1 || !pageViews_[index]) return;
    m_viewTag_ = index;
    QWidget* v = pageViews_[index];
    v->setGeometry(split_->mainContentView()->rect());
    v->show();
    v->setFocus();
}

void FrameWndController::searchFieldBecomeFirstResponder() {
    if (m_viewTag_ == 1 && pages_.translation) {
        pages_.translation->focusInput();
        return;
    }
    MVSearchField* field = toolBar_->searchField();
    field->setFocus(Qt::OtherFocusReason);
    field->deselect();
    field->setCursorPosition(field->text().size());
}

QString FrameWndController::leaveTranslationPage(bool hideAndFocus) {
    if (m_viewTag_ == 1) {
        m_viewTag_ = 0;
        changeViewController(0);
        return toolBar_->searchField()->text();
    }
    const QString text = toolBar_->searchField()->text();
    if (hideAndFocus) {
        if (pages_.lookup) pages_.lookup->hideSuggestTableView();
        searchFieldBecomeFirstResponder();
    }
    return text;
}

void FrameWndController::chaciClick(const QString& typed) {
    split_->hideSideBar();
    split_->setCurrentSideBarType(FrameSplitViewController::SectionList);
    isShowingWordBookView_ = false;
    isShowingFanyiView_ = false;
    QString text = leaveTranslationPage(true);
    // Typing that switched tabs carries its own text.
    if (!typed.isNull()) {
        text = typed;
        if (toolBar_->searchField()->text() != typed) toolBar_->searchField()->setText(typed);
    }
    if (!pages_.lookup) return;
    pages_.lookup->changeQueryController(0);
    toolBar_->hideLanguageTypeButton(false);
    toolBar_->setSelectedItemViewWithTab(0);
    lastLabel_ = QString::fromLatin1(kTabIdentifiers[0]);
    pages_.lookup->doQuery(text);
    pages_.lookup->hideSuggestTableView();
    searchFieldBecomeFirstResponder();
}

void FrameWndController::lijuClick() {
    split_->hideSideBar();
    isShowingWordBookView_ = false;
    isShowingFanyiView_ = false;
    const QString text = leaveTranslationPage(true);
    if (m_viewTag_ != 0 || !pages_.lookup) return;
    if (!pages_.lookup->mainFrameUrl().endsWith(QLatin1String("result.html"))) pages_.lookup->loadResultPage();
    pages_.lookup->changeQueryController(1);
    toolBar_->setSelectedItemViewWithTab(1);
    toolBar_->hideLanguageTypeButton(false);
    pages_.lookup->hideSuggestTableView();
    searchFieldBecomeFirstResponder();
    lastLabel_ = QString::fromLatin1(kTabIdentifiers[1]);
    if (!text.isEmpty())
        pages_.lookup->doQuery(text);
    else
        pages_.lookup->loadWelcomePage();
}

void FrameWndController::fanyiClick() {
    split_->hideSideBar();
    isShowingWordBookView_ = false;
    isShowingFanyiView_ = true;
    if (m_viewTag_ != 0) return;
    if (pages_.lookup) {
        pages_.lookup->hideSuggestTableView();
        searchFieldBecomeFirstResponder();
        pages_.lookup->reloadWebView();
    }
    m_viewTag_ = 1;
    const QString text = toolBar_->searchField()->text();
    changeViewController(1);
    if (pages_.translation) {
        pages_.translation->focusInput();
        pages_.translation->setInputText(text);
        pages_.translation->showLanguageButton();
        pages_.translation->changeQueryController(2);
    }
    toolBar_->hideLanguageTypeButton(false);
    toolBar_->setSelectedItemViewWithTab(2);
    lastLabel_ = QString::fromLatin1(kTabIdentifiers[2]);
}

void FrameWndController::baikeClick() {
    split_->hideSideBar();
    isShowingWordBookView_ = false;
    isShowingFanyiView_ = false;
    const QString text = leaveTranslationPage(true);
    if (!pages_.lookup) return;
    pages_.lookup->changeQueryController(3);
    toolBar_->hideLanguageTypeButton(true);
    toolBar_->setSelectedItemViewWithTab(3);
    lastLabel_ = QString::fromLatin1(kTabIdentifiers[3]);
    if (m_viewTag_ != 0) return;
    pages_.lookup->hideSuggestTableView();
    searchFieldBecomeFirstResponder();
    if (pages_.lookup->mainFrameUrl().endsWith(QLatin1String("result.html")))
        pages_.lookup->reloadWebView();
    else
        pages_.lookup->loadResultPage();
    if (!text.isEmpty()) pages_.lookup->doQuery(text);
    if (text == QLatin1String("main_page")) toolBar_->searchField()->setText(QString());
}

void FrameWndController::wordBookClick() {
    split_->hideSideBar();
    split_->showSideBarWithType(FrameSplitViewController::WordBookScreen);
    isShowingWordBookView_ = true;
    isShowingFanyiView_ = false;
    leaveTranslationPage(false);
    if (pages_.lookup) pages_.lookup->changeQueryController(0);
    toolBar_->hideLanguageTypeButton(false);
    toolBar_->setSelectedItemViewWithTab(4);
    if (pages_.lookup) pages_.lookup->hideSuggestTableView();
    ShellServices::wordBook().showParaphaseForFirstWord();
    ShellServices::logEvent(QStringLiteral("action"), QStringLiteral("tab_wordbook"));
}

void FrameWndController::jumpToTab(int tab, const QString& text) {
    toolBar_->setSelectedItemViewWithTab(tab);
    auto leave = [this] {
        if (m_viewTag_ == 1) {
            m_viewTag_ = 0;
            changeViewController(0);
        }
    };
    switch (tab) {
    case 0:
        leave();
        if (!pages_.lookup) return;
        pages_.lookup->changeQueryController(0);
        toolBar_->hideLanguageTypeButton(false);
        pages_.lookup->doQueryAddHistory(text, false);
        break;
    case 1:
        leave();
        if (!pages_.lookup) return;
        pages_.lookup->changeQueryController(1);
        toolBar_->hideLanguageTypeButton(false);
        pages_.lookup->doQueryAddHistory(text, false);
        break;
    case 2:
        fanyiClick();
        if (pages_.translation) {
            pages_.translation->setInputText(text);
            pages_.translation->doQuery(text);
        }
        break;
    case 3:
        leave();
        if (!pages_.lookup) return;
        pages_.lookup->changeQueryController(3);
        toolBar_->hideLanguageTypeButton(true);
        pages_.lookup->loadWelcomePage();
        pages_.lookup->doQueryAddHistory(text, false);
        break;
    case 4:
        leave();
        ShellServices::wordBook().setClickFromBackOrForwardButton(true);
        if (pages_.lookup) pages_.lookup->changeQueryController(4);
        split_->showSideBarWithType(FrameSplitViewController::WordBookScreen);
        break;
    default:
        break;
    }
}

bool FrameWndController::legalCharToQuery(QChar c) {
    const ushort u = c.unicode();
    return (u >= '0' && u <= '9') || (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z');
}

void FrameWndController::keyDown(int qtKey, const QString& characters, Qt::KeyboardModifiers modifiers) {
    QString printable;
    if (!(modifiers & (Qt::AltModifier | Qt::ControlModifier | Qt::MetaModifier)))
        for (QChar c : characters)
            if (c.isPrint()) printable.append(c);
    if (!printable.isEmpty() && legalCharToQuery(printable.at(0))) {
        MVSearchField* field = toolBar_->searchField();
        field->setText(printable);
        searchFieldBecomeFirstResponder();
        if (pages_.lookup && !pages_.lookup->isPasted()) pages_.lookup->onSearchBoxChanged(printable);
        return;
    }
    // Navigation keys belong to the word list, and only while it shows.
    if (isShowingWordBookView_) ShellServices::wordBook().wordListKeyDown(qtKey, characters);
}

void FrameWndController::pasteToInput() {
    qCDebug(lcWindow, "paste to input");
    auto& capture = ShellServices::capture();
    if (capture.isShowingMiniWindow()) return;
    if (m_viewTag_ == 0 && pages_.lookup) {
        pages_.lookup->hideSuggestTableView();
        MVSearchField* field = toolBar_->searchField();
        const QString before = field->text();
        pages_.lookup->setIsPasted(true);
        field->paste();
        const QString after = field->text();
        if (after.isEmpty() || after == before) field->setText(capture.pasteText());
        pages_.lookup->performQuery();
        pages_.lookup->setIsPasted(false);
        return;
    }
    if (pages_.translation) pages_.translation->paste();
}

void FrameWndController::setInputEditable(bool editable) {
    if (m_viewTag_ == 0)
        toolBar_->searchField()->setReadOnly(!editable);
    else if (pages_.translation)
        pages_.translation->setInputEditable(editable);
}

void FrameWndController::showPreferencePanel() {
    preferences_->showWindow();
    ShellServices::logEvent(QStringLiteral("show"), QStringLiteral("tab_settings"));
}

void FrameWndController::showUserInfoPanel() {
    if (ShellServices::account().hasLogined()) {
        toolBar_->showLogoutMenu();
    } else {
        ShellServices::account().showLoginPanel();
        ShellServices::logEvent(QStringLiteral("action"), QStringLiteral("login"));
    }
}
