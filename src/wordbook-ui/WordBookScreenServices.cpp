#include "wordbook-ui/WordBookScreenServices.h"

#include "query/HistoryRecordingFlags.h"
#include "window/pages/ManagingViewController.h"
#include "window/pages/PageWordBook.h"
#include "wordbook-ui/RealWordBookShell.h"
#include "wordbook-ui/WordBookQueryController.h"
#include "wordbook-ui/WordBookViewController.h"
#include "wordbook/MVWordBook.h"

#include <QUrl>

WordBookScreenServices::WordBookScreenServices(MVWordBook& book, std::unique_ptr<WordBookShell> shell)
    : book_(book), shell_(std::move(shell))
{
}

WordBookScreenServices::~WordBookScreenServices() = default;

void WordBookScreenServices::configure(const QString& dbFileName, const QString& syncUrl)
{
    book_.configureWithDbFileName(dbFileName, QUrl(syncUrl));
    if (screen_)
        screen_->loadWordListWithCategory(screen_->curCategory(), screen_->isSortedByDate());
}

bool WordBookScreenServices::isSyncing() const
{
    return book_.isSyncing();
}

WordBookViewController* WordBookScreenServices::screen()
{
    if (!screen_)
        screen_ = new WordBookViewController(book_, shell_.get());
    return screen_;
}

QWidget* WordBookScreenServices::wordBookView()
{
    return screen();
}

void WordBookScreenServices::showParaphaseForFirstWord()
{
    screen()->showParaphaseForFirstWord();
}

void WordBookScreenServices::setClickFromBackOrForwardButton(bool v)
{
    screen()->setClickFromBackOrForwardButton(v);
}

void WordBookScreenServices::setHistoryRecording(bool needToRecord, bool shouldRecord)
{
    HistoryRecordingFlags& flags = HistoryRecordingFlags::sharedInstance();
    flags.setNeedToRecordHistory(needToRecord);
    flags.setShouldRecordHistory(shouldRecord);
}

void WordBookScreenServices::setShouldResetCurCategory(bool v)
{
    screen()->setShouldResetCurCategory(v);
}

void WordBookScreenServices::startSync(bool needMerge)
{
    screen()->startSync(needMerge);
}

void WordBookScreenServices::wordListKeyDown(int qtKey, const QString& text)
{
    screen()->keyDown(qtKey, text);
}

void installWordBookScreens()
{
    static WordBookScreenServices services(MVWordBook::sharedInstance(), std::make_unique<RealWordBookShell>());
    ShellServices::setWordBook(&services);
    ManagingViewController::setWordBookControllerFactory(
        [](QObject* parent) -> QueryController* { return new WordBookQueryController(parent); });
    pagewordbook::Actions actions;
    actions.addWord = [](const QString& word, const QString& phonetic, const QString& definition,
                         std::function<void(bool)> stored) {
        MVWordBook& book = MVWordBook::sharedInstance();
        book.addWord(word, phonetic, definition, nullptr, std::move(stored));
        services.startSync(false);
    };
    actions.delWord = [](const QString& word, std::function<void(bool)> removed) {
        MVWordBook& book = MVWordBook::sharedInstance();
        book.delWord(word, nullptr, std::move(removed));
        services.startSync(false);
    };
    pagewordbook::setActions(std::move(actions));
}
