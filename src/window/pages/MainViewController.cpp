#include "window/pages/MainViewController.h"

#include "platform/NotificationCenter.h"
#include "platform/Resources.h"
#include "platform/UserDefaults.h"
#include "query/AppConstants.h"
#include "query/LogUtils.h"
#include "query/controllers/BaikeQueryController.h"
#include "query/controllers/BaseQueryController.h"
#include "query/controllers/LijuQueryController.h"
#include "query/controllers/MainQueryController.h"
#include "query/WordPresence.h"
#include "query/offline/OfflineDict.h"
#include "window/pages/BackForwardList.h"
#include "window/pages/HomePageContent.h"
#include "window/pages/PageOwner.h"
#include "window/pages/PageWordBook.h"
#include "window/pages/PronunciationPlayer.h"
#include "window/pages/ScriptBridge.h"
#include "window/pages/SuggestionListModel.h"
#include "window/pages/WebPageHost.h"
#include "window/WindowLog.h"
#include "wordbook/MVWordBook.h"

#include <QComboBox>
#include <QDebug>
#include <QDesktopServices>
#include <QEvent>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPointer>
#include <QProgressBar>
#include <QSet>
#include <QTextBoundaryFinder>
#include <QTimer>
#include <QVBoxLayout>
#include <QWebEnginePage>
#include <QWebEngineView>

namespace {

struct LanguagePair {
    const char* dict;
    const char* anotherDict;
    const char* le;
};
const LanguagePair kLanguages[] = {
    {"ce", "ec", "eng"},
    {"cj", "jc", "jap"},
    {"ck", "kc", "ko"},
    {"cf", "fc", "fr"},
};

// Pages of the partner encyclopedia never open inside the result page.
const QString kPartnerEncyclopediaSite = QStringLiteral("https://baike.mirvok.example");

const QString kWordBookPlaceholder = QStringLiteral(
    "<span id=blank><div class='wbbackgroundp'></div><div class='wbbackgroundt'>查询单词<br>将单词"
    "<font color='#f83030'>添加</font>至单词本</div></span>");

// The page's star for `word` shows whether it is in the book.
QString starScript(const QString& word, bool inBook)
{
    return QStringLiteral("window.wordBookChanged && wordBookChanged(%1, %2)")
        .arg(WebPageHost::jsString(word), inBook ? QStringLiteral("true") : QStringLiteral("false"));
}

QString welcomeImagePath(const QString& name)
{
    if (name == QLatin1String("liju-"))
        return Resources::path(QStringLiteral("images/welcome-liju.svg"));
    if (name == QLatin1String("baike-"))
        return Resources::path(QStringLiteral("images/welcome-baike.svg"));
    return {};
}

// Fills its parent and follows its size.
class WelcomeOverlay : public QLabel {
public:
    WelcomeOverlay(QWidget* over, const QString& imagePath) : QLabel(over->parentWidget()), over_(over)
    {
        setAlignment(Qt::AlignCenter);
        setAutoFillBackground(true);
        QPalette p = palette();
        p.setColor(QPalette::Window, QColor(250, 250, 250));
        setPalette(p);
        pixmap_ = QPixmap(imagePath);
        over->installEventFilter(this);
        follow();
    }

protected:
    bool eventFilter(QObject* o, QEvent* e) override
    {
        if (o == over_ && (e->type() == QEvent::Resize || e->type() == QEvent::Move))
            follow();
        return false;
    }

private:
    void follow()
    {
        setGeometry(over_->geometry());
        if (!pixmap_.isNull())
            setPixmap(pixmap_.scaled(size() * 0.6, Qt::KeepAspectRatio, Qt::SmoothTransformation));
        raise();
    }
    QWidget* over_;
    QPixmap pixmap_;
};

}  // namespace

MainViewController::MainViewController(QWidget* parent) : ManagingViewController(parent)
{
    // Without the service the lookup answers from the shipped dictionary.
    OfflineDict::install();
    suggestions_ = std::make_shared<SuggestionLists>();
    suggestions_->rows = QStringList{QStringLiteral(" ")};
    suggestionModel_ = new SuggestionListModel(suggestions_, this);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    host_ = new WebPageHost(this);
    layout->addWidget(host_->view());

    typePopUpButton_ = new QComboBox(this);
    typePopUpButton_->addItems({QStringLiteral("英汉"), QStringLiteral("日汉"), QStringLiteral("韩汉"),
                                QStringLiteral("法汉")});
    typePopUpButton_->hide();

    auto* spinner = new QProgressBar(this);
    spinner->setRange(0, 0);
    spinner->setTextVisible(false);
    spinner->setFixedSize(80, 6);
    spinner->hide();
    progressIndicator_ = spinner;

    player_ = new PronunciationPlayer(this);
    home_ = new HomePageContent(host_, this);
    host_->setBridgeObject(new ScriptBridge(this, host_, this));
    host_->setNavigationFilter([this](const QUrl& url) {
        const QString address = url.toString();
        if (address.startsWith(kPartnerEncyclopediaSite))
            return false;
        if (address.contains(QLatin1String("baike://mainPage"), Qt::CaseInsensitive)) {
            if (owner_)
                owner_->jumpToTab(BaikeIndex, QStringLiteral("main_page"));
            LogUtils::log(QStringLiteral("action"), QStringLiteral("mainpage_wiki_click"));
            return false;
        }
        return true;
    });
    connect(host_, &WebPageHost::loadFinished, this, [this](const QUrl& url, bool ok) {
        if (ok)
            pageFinishedLoading(url.toString());
    });
    host_->view()->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(host_->view(), &QWidget::customContextMenuRequested, this, &MainViewController::showContextMenu);
    // Stars drawn while the word book could not be read (another program's
    // lock, or a large write of our own) show empty: asked again once it
    // answers.
    connect(&MVWordBook::sharedInstance(), &MVWordBook::storeAvailable, this, &MainViewController::refreshStars);

    awakeFromNib();
}

MainViewController::~MainViewController()
{
    NotificationCenter::defaultCenter().removeObserver(this);
}

void MainViewController::awakeFromNib()
{
    if (hasAwakedFromNib_)
        return;
    auto* mainQc = qobject_cast<MainQueryController*>(queryControllers_.at(LookupIndex));
    auto* lijuQc = qobject_cast<LijuQueryController*>(queryControllers_.at(LijuIndex));
    auto* baikeQc = qobject_cast<BaikeQueryController*>(queryControllers_.at(BaikeIndex));
    if (auto* wb = qobject_cast<BaseQueryController*>(queryControllers_.at(WordBookIndex)))
        wb->setPage(this);
    baikeQc->setPage(this);
    baikeQc->setMainVC(this);
    baikeQc->setSuggestionView(this);
    baikeQc->setSuggestionLists(suggestions_);
    lijuQc->setPage(this);
    lijuQc->setParentViewController(this);
    mainQc->setPage(this);
    mainQc->setParentViewController(this);
    mainQc->setSuggestionView(this);
    mainQc->setSuggestionLists(suggestions_);

    currentQueryController_ = mainQc;
    queryControllerTag_ = LookupIndex;
    mainQc->setDict(QStringLiteral("ce"));
    mainQc->setLe(QStringLiteral("eng"));
    mainQc->loadFirstPage();

    connect(typePopUpButton_, qOverload<int>(&QComboBox::activated), this,
            &MainViewController::popUpSelectionChanged);
    isSelectedFromSuggestList_ = false;
    hideSuggestTableView();
    hasAwakedFromNib_ = true;
    shouldLoadDefaultPage_ = false;
}

QWebEngineView* MainViewController::webView() const
{
    return host_->view();
}

bool MainViewController::typePopUpButtonHidden() const
{
    return typePopUpButton_->isHidden();
}

void MainViewController::setInput(QLineEdit* input)
{
    input_ = input;
}

// ---------------------------------------------------------------- tabs

void MainViewController::changeQueryController(int index)
{
    ManagingViewController::changeQueryController(index);
    mapIndexToValue(int(selectedLanguageItemIndex_));
}

void MainViewController::performQuery()
{
    const QString text = input_ ? input_->text() : QString();
    BackForwardList::appendQuery(text, queryControllerTag_);
    if (input_)
        input_->setFocus();
    if (owner_ && (owner_->isShowingWordBookView() || owner_->isShowingFanyiView())) {
        owner_->chaciClick();
        return;
    }
    if (queryControllerTag_ != BaikeIndex)
        mapIndexToValue(int(selectedLanguageItemIndex_));
    if (auto* qc = qobject_cast<QueryController*>(currentQueryController_))
        qc->doQuery(text);
}

void MainViewController::doQuery(const QString& word)
{
    doQuery(word, true);
    if (input_)
        input_->setText(word == QLatin1String("main_page") ? QString() : word);
}

void MainViewController::doQuery(const QString& word, bool addHistory)
{
    if (addHistory)
        saveScrollPosition();
    if (auto* base = qobject_cast<BaseQueryController*>(currentQueryController_))
        base->setPageTabIndex(pageTabIndex_);
    if (input_)
        input_->setText(word == QLatin1String("main_page") ? QString() : word);
    if (auto* qc = qobject_cast<QueryController*>(currentQueryController_))
        qc->doQuery(word);
    if (addHistory) {
        BackForwardList::appendQuery(word, queryControllerTag_);
        setBackEnabled(true);
        if (!BackForwardList::isNextItem())
            setForwardEnabled(false);
    }
}

void MainViewController::query()
{
    doQuery(input_ ? input_->text() : QString());
}

void MainViewController::saveScrollPosition()
{
    BackForwardList::setScrollPosition(int(host_->view()->page()->scrollPosition().y()));
}

// Back and forward show a remembered lookup on its own tab, where it was scrolled to.
void MainViewController::showHistoryItem(const BackForwardList::Item& item)
{
    if (item.tab == queryControllerTag_)
        doQuery(item.query, false);
    else if (owner_)
        owner_->jumpToTab(item.tab, item.query);
    if (auto* qc = qobject_cast<QueryController*>(currentQueryController_))
        qc->setScrollPosition(item.scrollPosition);
}

void MainViewController::backClick()
{
    LogUtils::log(QStringLiteral("action"), QStringLiteral("back"));
    saveScrollPosition();
    const auto item = BackForwardList::getPrevItem();
    if (!item)
        return;
    showHistoryItem(*item);
    setForwardEnabled(true);
    if (!BackForwardList::isPrevItem())
        setBackEnabled(false);
}

void MainViewController::forwardClick()
{
    LogUtils::log(QStringLiteral("action"), QStringLiteral("forth"));
    saveScrollPosition();
    const auto item = BackForwardList::getNextItem();
    if (!item)
        return;
    if (input_)
        input_->setText(item->query);
    showHistoryItem(*item);
    setBackEnabled(true);
    if (!BackForwardList::isNextItem())
        setForwardEnabled(false);
}

void MainViewController::setBackEnabled(bool enabled)
{
    emit backEnabledChanged(enabled);
    if (owner_)
        owner_->setToolbarBackEnabled(enabled);
}

void MainViewController::setForwardEnabled(bool enabled)
{
    emit forwardEnabledChanged(enabled);
    if (owner_)
        owner_->setToolbarForwardEnabled(enabled);
}

void MainViewController::mapIndexToValue(int index)
{
    for (QObject* o : std::as_const(queryControllers_)) {
        auto* base = qobject_cast<BaseQueryController*>(o);
        if (!base)
            continue;
        if (index >= 0 && index <= 3) {
            base->setDict(QString::fromLatin1(kLanguages[index].dict));
            base->setAnother_dict(QString::fromLatin1(kLanguages[index].anotherDict));
            base->setLe(QString::fromLatin1(kLanguages[index].le));
        }
        base->setDictType(index);
    }
}

void MainViewController::languageButtonSelectionChanged(int index)
{
    auto* base = qobject_cast<BaseQueryController*>(currentQueryController_);
    if (!base)
        return;
    selectedLanguageItemIndex_ = index;
    mapIndexToValue(index);
    base->doQuery(input_ ? input_->text() : QString());
}

void MainViewController::popUpSelectionChanged(int index)
{
    auto* base = qobject_cast<BaseQueryController*>(currentQueryController_);
    if (!base)
        return;
    mapIndexToValue(index);
    base->doQuery(input_ ? input_->text() : QString());
}

void MainViewController::zoomWebViewWithFactor(float factor)
{
    QPointer<MainViewController> self(this);
    host_->runScript(QStringLiteral("document.body.style.zoom"), [self, factor](const QVariant& value) {
        if (!self)
            return;
        const float z = value.toString().toFloat();
        if (factor >= 1.0f && z >= 1.8f)
            return;
        if (factor < 1.0f && z <= 1.0f)
            return;
        const float next = (z == 0.0f ? 1.0f : z) * factor;
        self->host_->runScript(QString::asprintf("%s='%1.2f';", "document.body.style.zoom", double(next)));
        UserDefaults::standard().setValue(MVWebViewZoomFactorKey, double(next));
    });
}

void MainViewController::changeMVToolBarThemeActive(bool active)
{
    if (!mvToolBarView_)
        return;
    const int grey = active ? 210 : 244;
    QPalette p = mvToolBarView_->palette();
    p.setColor(QPalette::Window, QColor(grey, grey, grey));
    mvToolBarView_->setAutoFillBackground(true);
    mvToolBarView_->setPalette(p);
}

void MainViewController::activateInput()
{
    if (input_)
        input_->setFocus();
}

// ---------------------------------------------------------------- page loads

void MainViewController::pageFinishedLoading(const QString& url)
{
    const QString last = QFileInfo(QUrl(url).path()).fileName();
    if (last == QLatin1String("firstpage.html")) {
        home_->updateContent();
        home_->doUpdateOperationInfo();
        NotificationCenter::defaultCenter().post(MVDidFinishLoadFirstWebViewNotification);
    }
    if (last == QLatin1String("result.html"))
        NotificationCenter::defaultCenter().post(MVDidFinishLoadResultWebViewNotification);
    const int tag = queryControllerTag_;
    if (tag == LookupIndex || tag == LijuIndex || tag == BaikeIndex || tag == WordBookIndex) {
        if (auto* qc = qobject_cast<QueryController*>(currentQueryController_))
            qc->loadWelcomePage();
    }
    if (shouldLoadDefaultPage_) {
        qCDebug(lcWindowPages).noquote() << "load default page!";
        host_->setInnerHtml(QStringLiteral("result"), kWordBookPlaceholder);
        shouldLoadDefaultPage_ = false;
    }
}

// ---------------------------------------------------------------- QueryPage

bool MainViewController::isLoading() const
{
    return host_->isLoading();
}

QString MainViewController::mainFrameUrl() const
{
    return host_->url().toString();
}

void MainViewController::loadResourcePage(const QString& fileName)
{
    host_->loadResourcePage(fileName);
}

void MainViewController::evaluateScript(const QString& script, std::function<void(const QVariant&)> done)
{
    host_->runScript(script, std::move(done));
}

void MainViewController::setInnerHtml(const QString& elementId, const QString& html)
{
    host_->setInnerHtml(elementId, html);
}

void MainViewController::afterLoading(std::function<void()> task)
{
    host_->afterLoading(std::move(task));
}

void MainViewController::showLoadingIndicator()
{
    progressIndicator_->move(width() - progressIndicator_->width() - 12, 8);
    progressIndicator_->show();
    progressIndicator_->raise();
    emit loadingIndicatorChanged(true);
}

void MainViewController::hideLoadingIndicator()
{
    progressIndicator_->hide();
    emit loadingIndicatorChanged(false);
}

void MainViewController::showWelcomeOverlay(const QString& imageName)
{
    delete visualContainerView_;
    visualContainerView_ = new WelcomeOverlay(host_->view(), welcomeImagePath(imageName));
    visualContainerView_->show();
}

void MainViewController::removeWelcomeOverlay()
{
    if (owner_ && owner_->currentViewController() != this)
        return;
    delete visualContainerView_;
}

// ---------------------------------------------------------------- suggestions

QAbstractListModel* MainViewController::suggestionModel() const
{
    return suggestionModel_;
}

void MainViewController::setTableHidden(bool hidden)
{
    emit suggestTableHiddenChanged(hidden);
}

void MainViewController::reloadData()
{
    suggestionModel_->reload();
    previousSelectedRow_ = -1;
    emit suggestionsReloaded();
}

void MainViewController::showSuggestWindow()
{
    if (suggestionModel_->rowCount() > 0)
        emit suggestWindowShowRequested();
}

void MainViewController::hideSuggestWindow()
{
    emit suggestWindowHideRequested();
}

void MainViewController::suggestionSelectionChanged(int row)
{
    previousSelectedRow_ = row;
    suggestionModel_->setHighlightedRow(row);
    emit suggestionHighlightChanged(row);
}

void MainViewController::suggestionRowEntered(int row)
{
    suggestionSelectionChanged(row);
}

void MainViewController::suggestionRowExited(int row)
{
    if (row == -1)
        return;
    if (suggestionModel_->highlightedRow() == row)
        suggestionSelectionChanged(-1);
}

void MainViewController::suggestionRowClicked(int row)
{
    if (row < 0 || row >= suggestions_->titles.size())
        return;
    if (input_)
        input_->setText(suggestions_->titles.at(row));
    performQuery();
    hideSuggestTableView();
}

void MainViewController::hideSuggestTableView()
{
    suggestions_->rows.clear();
    suggestions_->titles.clear();
    reloadData();
    hideSuggestWindow();
    isSelectedFromSuggestList_ = false;
}

void MainViewController::showSuggestTableView()
{
    setTableHidden(false);
    isSelectedFromSuggestList_ = false;
    showSuggestWindow();
}

// ---------------------------------------------------------------- page script

void MainViewController::playAudio(const QString& url)
{
    player_->playAudio(url);
}

void MainViewController::goURL(const QString& address)
{
    const QUrl url(address, QUrl::TolerantMode);
    const QString scheme = url.scheme().toLower();
    // Page links may only lead to web pages, never to local files or programs.
    if (!url.isValid() || url.host().isEmpty()
        || (scheme != QLatin1String("http") && scheme != QLatin1String("https")))
        return;
    QDesktopServices::openUrl(url);
}

void MainViewController::goTab(const QString& tabName, const QVariant& word, int index)
{
    if (owner_ && owner_->currentViewController())
        owner_->currentViewController()->setPageTabIndex(index);
    int tab = LookupIndex;
    if (tabName == QLatin1String("liju"))
        tab = LijuIndex;
    else if (tabName == QLatin1String("baike"))
        tab = BaikeIndex;
    const int type = word.metaType().id();
    const bool isNumber = type == QMetaType::Double || type == QMetaType::Int || type == QMetaType::LongLong
                          || type == QMetaType::UInt || type == QMetaType::ULongLong || type == QMetaType::Float;
    const QString text = isNumber ? QString::number(qint64(word.toDouble())) : word.toString();
    if (owner_)
        owner_->jumpToTab(tab, text);
}

void MainViewController::doLog(const QString& key, const QString& value, const QVariant& extras)
{
    LogUtils::log(key, value, extras);
}

void MainViewController::addWordToWordBook(const QString& word, const QString& definition, const QString& phone)
{
    // The page passes the definition second and the phonetic third. Its
    // star fills only when the row is in the file; a failure leaves it
    // empty (the word book tells the user why).
    if (!pagewordbook::actions().addWord)
        return;
    pagewordbook::actions().addWord(word, phone, definition, [self = QPointer<MainViewController>(this), word](bool stored) {
        if (self && stored)
            self->evaluateScript(starScript(word, true));
    });
}

void MainViewController::refreshStars()
{
    // The page's own stars name their words; a page shows a few at most.
    evaluateScript(QStringLiteral("Array.prototype.slice.call(document.querySelectorAll("
                                  "'[data-wordbook-add], [data-wordbook-remove]'), 0, 20).map("
                                  "function (el) { return el.dataset.word || ''; })"),
                   [self = QPointer<MainViewController>(this)](const QVariant& words) {
                       const WordPresence* book = WordPresence::shared();
                       if (!self || !book)
                           return;
                       QSet<QString> seen;
                       for (const QVariant& w : words.toList()) {
                           const QString word = w.toString();
                           if (word.isEmpty() || seen.contains(word))
                               continue;
                           seen.insert(word);
                           self->evaluateScript(starScript(word, book->hasWord(word)));
                       }
                   });
}

void MainViewController::removeWordFromWordBook(const QString& word)
{
    // The star empties only once the word is out of the file; a failed
    // delete leaves it filled (the word book tells the user why).
    if (!pagewordbook::actions().delWord)
        return;
    pagewordbook::actions().delWord(word, [self = QPointer<MainViewController>(this), word](bool removed) {
        if (self)
            self->evaluateScript(starScript(word, !removed));
    });
}

// ---------------------------------------------------------------- home page

void MainViewController::updateOperationInfo()
{
    QTimer::singleShot(500, this, &MainViewController::doUpdateOperationInfo);
}

void MainViewController::doUpdateOperationInfo()
{
    home_->doUpdateOperationInfo();
}

// ---------------------------------------------------------------- context menu

QString MainViewController::menuSelectionText(const QString& selected)
{
    // Count what the user sees as characters, so a cut never splits a
    // surrogate pair or a combining sequence.
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, selected);
    int count = 0;
    int cutAt = -1;
    while (finder.toNextBoundary() != -1) {
        ++count;
        if (count == 20)
            cutAt = finder.position();
    }
    QString text = selected;
    if (count >= 21)
        text = selected.left(cutAt) + QStringLiteral("...");
    return text.trimmed();
}

void MainViewController::showContextMenu(const QPoint& pos)
{
    selectedText_ = host_->view()->page()->selectedText();
    const QString shown = menuSelectionText(selectedText_);
    auto* menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    if (!shown.isEmpty()) {
        menu->addAction(QStringLiteral("查词 \"%1\"").arg(shown), this, &MainViewController::lookupSelected);
        menu->addAction(QStringLiteral("百科 \"%1\"").arg(shown), this, &MainViewController::baikeSelected);
    }
    if (!selectedText_.isEmpty())
        menu->addAction(host_->view()->pageAction(QWebEnginePage::Copy));
    if (menu->isEmpty()) {
        delete menu;
        return;
    }
    // popup, not exec: the page keeps running while the menu is open.
    menu->popup(host_->view()->mapToGlobal(pos));
}

void MainViewController::lookupSelectionOnTab(int tab, const char* kind)
{
    const QString text = selectedText_;
    if (currentQueryController_ && currentQueryController_->inherits(kind)) {
        doQuery(text);
        return;
    }
    saveScrollPosition();
    BackForwardList::appendQuery(text, tab);
    if (owner_)
        owner_->jumpToTab(tab, text);
}

void MainViewController::lookupSelected()
{
    lookupSelectionOnTab(LookupIndex, "MainQueryController");
}

void MainViewController::baikeSelected()
{
    lookupSelectionOnTab(BaikeIndex, "BaikeQueryController");
}
