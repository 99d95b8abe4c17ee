#include "wordbook-ui/RealWordBookShell.h"

#include "window/FrameWndController.h"
#include "window/PageAdapters.h"
#include "window/pages/MainViewController.h"

MainViewController* RealWordBookShell::lookupPage() const
{
    if (page_)
        return page_();
    FrameWndController* frame = FrameWndController::shared();
    if (!frame)
        return nullptr;
    auto* adapter = dynamic_cast<LookupPageAdapter*>(frame->lookupPage());
    return adapter ? adapter->page() : nullptr;
}

bool RealWordBookShell::lookupPageIsCurrent() const
{
    FrameWndController* frame = FrameWndController::shared();
    if (!frame)
        return page_ && lookupPage();
    return frame->currentViewController() == 0 && lookupPage();
}

bool RealWordBookShell::isShowingWordBookView() const
{
    FrameWndController* frame = FrameWndController::shared();
    if (!frame)
        return page_ && lookupPage();
    return frame->isShowingWordBookView();
}

void RealWordBookShell::changeQueryController(int index)
{
    if (MainViewController* page = lookupPage())
        page->changeQueryController(index);
}

QObject* RealWordBookShell::currentQueryController() const
{
    MainViewController* page = lookupPage();
    return page ? page->currentQueryController() : nullptr;
}

void RealWordBookShell::doQuery(const QString& word)
{
    if (MainViewController* page = lookupPage())
        page->doQuery(word);
}

void RealWordBookShell::doQueryAddHistory(const QString& word, bool addHistory)
{
    if (MainViewController* page = lookupPage())
        page->doQuery(word, addHistory);
}

void RealWordBookShell::loadDefaultPage()
{
    MainViewController* page = lookupPage();
    if (!page)
        return;
    page->setShouldLoadDefaultPage(true);
    page->loadResourcePage(QStringLiteral("result.html"));
}

void RealWordBookShell::showUserInfoPanel()
{
    if (FrameWndController* frame = FrameWndController::shared())
        frame->showUserInfoPanel();
}

QWidget* RealWordBookShell::window() const
{
    FrameWndController* frame = FrameWndController::shared();
    return frame ? frame->window() : nullptr;
}
