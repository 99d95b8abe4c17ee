#include "window/PageAdapters.h"

#include "query/controllers/QueryController.h"
#include "window/FrameWndController.h"
#include "window/MVSearchField.h"
#include "window/MVToolBarController.h"
#include "window/SuggestWndController.h"
#include "window/views/MVTableView.h"
#include "window/pages/BackForwardList.h"
#include "window/pages/FanyiViewController.h"
#include "window/pages/MainViewController.h"
#include "window/pages/WebPageHost.h"

#include <QPlainTextEdit>
#include <QPushButton>
#include <QWebEngineView>

namespace {
QueryController* current(ManagingViewController* page) {
    return page ? qobject_cast<QueryController*>(page->currentQueryController()) : nullptr;
}
}  // namespace

QWidget* LookupPageAdapter::view() { return page_; }
void LookupPageAdapter::changeQueryController(int index) { page_->changeQueryController(index); }
int LookupPageAdapter::getQueryControllerTag() const { return page_->getQueryControllerTag(); }
void LookupPageAdapter::doQuery(const QString& text) { page_->doQuery(text); }
void LookupPageAdapter::doQueryAddHistory(const QString& text, bool addHistory) {
    page_->doQuery(text, addHistory);
}
void LookupPageAdapter::performQuery() { page_->performQuery(); }
void LookupPageAdapter::hideSuggestTableView() { page_->hideSuggestTableView(); }
void LookupPageAdapter::onSearchBoxChanged(const QString& text) {
    if (auto* qc = current(page_)) qc->onSearchBoxChanged(text);
}
void LookupPageAdapter::loadWelcomePage() {
    if (auto* qc = current(page_)) qc->loadWelcomePage();
}
QString LookupPageAdapter::mainFrameUrl() const { return page_->mainFrameUrl(); }
void LookupPageAdapter::loadResultPage() { page_->loadResourcePage(QStringLiteral("result.html")); }
void LookupPageAdapter::reloadWebView() {
    if (auto* host = page_->pageHost()) host->reload();
}
void LookupPageAdapter::evaluateScript(const QString& script) { page_->evaluateScript(script); }
bool LookupPageAdapter::isPasted() const { return page_->isPasted(); }
void LookupPageAdapter::setIsPasted(bool pasted) { page_->setIsPasted(pasted); }
bool LookupPageAdapter::isSelectedFromSuggestList() const { return page_->isSelectedFromSuggestList(); }
void LookupPageAdapter::setIsSelectedFromSuggestList(bool s) { page_->setIsSelectedFromSuggestList(s); }
QStringList LookupPageAdapter::suggestTitleList() const { return page_->suggestTitleList(); }
void LookupPageAdapter::suggestionSelectionChanged(int row) { page_->suggestionSelectionChanged(row); }
void LookupPageAdapter::languageButtonSelectionChanged(int tag) { page_->languageButtonSelectionChanged(tag); }
void LookupPageAdapter::updateOperationInfo() { page_->updateOperationInfo(); }
void LookupPageAdapter::changeMVToolBarThemeActive(bool a) { page_->changeMVToolBarThemeActive(a); }
void LookupPageAdapter::zoomWebViewWithFactor(float f) { page_->zoomWebViewWithFactor(f); }
bool LookupPageAdapter::goBack() {
    if (!BackForwardList::isPrevItem()) return false;
    page_->backClick();
    return true;
}
bool LookupPageAdapter::goForward() {
    if (!BackForwardList::isNextItem()) return false;
    page_->forwardClick();
    return true;
}
bool LookupPageAdapter::canGoBack() const { return BackForwardList::isPrevItem(); }
bool LookupPageAdapter::canGoForward() const { return BackForwardList::isNextItem(); }

QWidget* TranslationPageAdapter::view() { return page_; }
void TranslationPageAdapter::changeQueryController(int index) { page_->changeQueryController(index); }
QString TranslationPageAdapter::inputText() const { return page_->input()->toPlainText(); }
// Filling the field must not start a translation: the user asks for it.
void TranslationPageAdapter::setInputText(const QString& text) { page_->setInputText(text); }
void TranslationPageAdapter::focusInput() { page_->input()->setFocus(Qt::OtherFocusReason); }
void TranslationPageAdapter::showLanguageButton() {
    if (auto* b = page_->checkLanguageButton()) b->show();
}
void TranslationPageAdapter::doQuery(const QString& text) {
    if (auto* qc = current(page_)) qc->doQuery(text);
}
void TranslationPageAdapter::setInputEditable(bool e) { page_->input()->setReadOnly(!e); }
void TranslationPageAdapter::paste() { page_->input()->paste(); }

void ShellPageOwner::jumpToTab(int tab, const QString& text) { frame_->jumpToTab(tab, text); }
void ShellPageOwner::chaciClick() { frame_->chaciClick(QString()); }
bool ShellPageOwner::isShowingWordBookView() const { return frame_->isShowingWordBookView(); }
bool ShellPageOwner::isShowingFanyiView() const { return frame_->isShowingFanyiView(); }
ManagingViewController* ShellPageOwner::currentViewController() const {
    return frame_->currentViewController() == 0 ? lookup_ : translation_;
}
void ShellPageOwner::setToolbarBackEnabled(bool enabled) {
    auto& tb = frame_->toolBarController();
    enabled ? tb.enableButton(tb.backButton()) : tb.disEnableButton(tb.backButton());
}
void ShellPageOwner::setToolbarForwardEnabled(bool enabled) {
    auto& tb = frame_->toolBarController();
    enabled ? tb.enableButton(tb.forwardButton()) : tb.disEnableButton(tb.forwardButton());
}

namespace {
// Clicks and hover on the suggestion rows go to the lookup page.
class SuggestTableDelegate : public MVTableViewDelegate {
public:
    explicit SuggestTableDelegate(MainViewController* page) : page_(page) {}
    void tableViewDidClickTableRow(MVTableView*, qint64 row) override { page_->suggestionRowClicked(int(row)); }
    void tableViewMouseEnteredInTableRow(MVTableView*, qint64 row) override {
        if (row >= 0) page_->suggestionRowEntered(int(row));
    }
    void tableViewMouseExitedFromTableRow(MVTableView*, qint64 row) override {
        if (row >= 0) page_->suggestionRowExited(int(row));
    }
private:
    MainViewController* page_;
};
}  // namespace

FrameWndController* RealPages::createMainWindowController(bool pagesLater) {
    return new FrameWndController([](FrameWndController* frame) {
        auto* lookup = new MainViewController();
        auto* fanyi = new FanyiViewController();
        auto* owner = new ShellPageOwner(frame, lookup, fanyi);
        lookup->setOwner(owner);
        auto& toolbar = MVToolBarController::sharedInstance();
        lookup->setInput(toolbar.searchField());
        // The toolbar keeps its red whether the window is active or not, so
        // the lookup page gets no toolbar background to repaint grey.
        auto& suggest = SuggestWndController::sharedInstance();
        suggest.setModel(lookup->suggestionModel());
        suggest.suggestTableView()->setMVTableViewDelegate(new SuggestTableDelegate(lookup));
        QObject::connect(lookup, &MainViewController::suggestWindowShowRequested, &suggest,
                         [&suggest] { suggest.showSuggestWindow(); });
        QObject::connect(lookup, &MainViewController::suggestWindowHideRequested, &suggest,
                         [&suggest] { suggest.hideSuggestWindow(); });
        QObject::connect(lookup, &MainViewController::suggestTableHiddenChanged, &suggest,
                         [&suggest](bool hidden) { suggest.setTableHidden(hidden); });
        QObject::connect(lookup, &MainViewController::suggestionsReloaded, &suggest,
                         [&suggest] { suggest.reloadData(); });
        QObject::connect(lookup, &MainViewController::suggestionHighlightChanged, &suggest,
                         [&suggest](int row) { suggest.selectRow(row); });
        auto* lookupAdapter = new LookupPageAdapter(lookup);
        auto* translationAdapter = new TranslationPageAdapter(fanyi);
        // The pages go with the main window controller, and so before the
        // web engine's profile, which outliving pages would keep alive.
        QObject::connect(frame, &QObject::destroyed, [=] {
            delete lookupAdapter;
            delete translationAdapter;
            delete lookup;
            delete fanyi;
            delete owner;
        });
        return FrameWndController::Pages{lookupAdapter, translationAdapter};
    }, pagesLater);
}
