#include "window/MVToolBarController.h"

#include "query/DictSettings.h"
#include "window/ImageLibrary.h"
#include "window/MVSearchField.h"
#include "window/ShellPages.h"
#include "window/ShellServices.h"
#include "window/SuggestWndController.h"
#include "window/views/MVTableView.h"
#include "window/views/SmallViews.h"

#include <QEvent>
#include <QGraphicsOpacityEffect>
#include <QGuiApplication>
#include <QLabel>
#include <QMenu>
#include <QResizeEvent>

namespace {
const QColor kSelectedBackground(164, 51, 50);
const QColor kPressedButton(198, 29, 28);

QLabel* imageLabel(QWidget* parent, const QString& name, const QSize& size) {
    auto* l = new QLabel(parent);
    l->setFixedSize(size);
    l->setPixmap(ImageLibrary::pixmap(name, size));
    l->setAttribute(Qt::WA_TransparentForMouseEvents);
    return l;
}

void setImage(QLabel* l, const QString& name) {
    if (l) l->setPixmap(ImageLibrary::pixmap(name, l->size()));
}

const char* kTabTitles[5] = {"查词", "例句", "翻译", "百科", "单词本"};
const char* kTabImages[5] = {"img_tab_chaci_icon", "img_tab_liju_icon", "img_tab_fanyi_icon",
                             "img_tab_baike_icon", "img_tab_wordbook_icon"};
// Left-to-right order on the strip: dictionary, sentences, encyclopedia, translation, word book.
const int kStripOrder[5] = {MVToolBarController::Chaci, MVToolBarController::Liju,
                            MVToolBarController::Baike, MVToolBarController::Fanyi,
                            MVToolBarController::WordBook};
}  // namespace

MVToolBarController& MVToolBarController::sharedInstance() {
    static MVToolBarController* instance = new MVToolBarController();
    return *instance;
}

MVToolBarController::MVToolBarController() {
    view_ = new QWidget();
    view_->setObjectName(QStringLiteral("MVToolBarView"));
    view_->setFixedHeight(kHeight);
    view_->setMinimumWidth(0);
    view_->installEventFilter(this);
    setUpUI();
}

MVToolBarController::~MVToolBarController() { delete view_; }

MVToolBarItemView* MVToolBarController::makeTabItem(const QString& title, const QString& image) {
    auto* item = new MVToolBarItemView(view_);
    item->resize(56, 44);
    auto* img = imageLabel(item, image, QSize(20, 20));
    img->move(18, 3);
    auto* label = new QLabel(title, item);
    label->setAlignment(Qt::AlignCenter);
    label->setGeometry(0, 25, 56, 16);
    label->setAttribute(Qt::WA_TransparentForMouseEvents);
    item->setImageView(img);
    item->setTitleLabel(label);
    item->setMvToolBarItemViewDelegate(this);
    return item;
}

void MVToolBarController::styleItem(MVToolBarItemView* item, bool selected) {
    item->setCornerRadius(2);
    item->setBackgroundColor(selected ? kSelectedBackground : QColor(Qt::transparent));
    if (auto* img = item->imageView()) {
        auto* effect = qobject_cast<QGraphicsOpacityEffect*>(img->graphicsEffect());
        if (!effect) {
            effect = new QGraphicsOpacityEffect(img);
            img->setGraphicsEffect(effect);
        }
        effect->setOpacity(selected ? 1.0 : 0.8);
    }
    if (auto* l = item->titleLabel())
        l->setStyleSheet(selected ? QStringLiteral("color: rgba(255,255,255,255); font-size:11px;")
                                  : QStringLiteral("color: rgba(255,255,255,204); font-size:11px;"));
}

void MVToolBarController::setUpUI() {
    // Segment with back and forward.
    segmentView_ = new MVSegmentView(view_);
    segmentView_->setGeometry(12, 16, 56, 28);
    backButton_ = new MVClickableView(segmentView_);
    backButton_->setGeometry(0, 0, 28, 28);
    backImageView_ = imageLabel(backButton_, QStringLiteral("img_back_button_forbid_icon"), QSize(16, 16));
    backImageView_->move(6, 6);
    backButton_->setImageView(backImageView_);
    forwardButton_ = new MVClickableView(segmentView_);
    forwardButton_->setGeometry(28, 0, 28, 28);
    forwardImageView_ = imageLabel(forwardButton_, QStringLiteral("img_forward_button_forbid_icon"), QSize(16, 16));
    forwardImageView_->move(6, 6);
    forwardButton_->setImageView(forwardImageView_);
    for (auto* b : {backButton_, forwardButton_}) {
        b->addTrackingAreaWithRect(QRect(QPoint(0, 0), b->size()));
        b->setDelegate(this);
    }
    disEnableButton(backButton_);
    disEnableButton(forwardButton_);

    // Tab items, avatar, settings, overflow arrow.
    for (int tab = 0; tab < 5; ++tab)
        items_[tab] = makeTabItem(QString::fromUtf8(kTabTitles[tab]), QString::fromLatin1(kTabImages[tab]));
    avatarItem_ = new MVToolBarItemView(view_);
    avatarItem_->resize(25, 25);
    avatarImage_ = imageLabel(avatarItem_, QStringLiteral("img_default_avatar_icon"), QSize(25, 25));
    avatarItem_->setImageView(avatarImage_);
    avatarItem_->setCornerRadius(12.5);
    avatarItem_->setMvToolBarItemViewDelegate(this);
    settingsItem_ = new MVToolBarItemView(view_);
    settingsItem_->resize(24, 24);
    settingsImage_ = imageLabel(settingsItem_, QStringLiteral("img_settings_normal_icon"), QSize(24, 24));
    settingsItem_->setImageView(settingsImage_);
    settingsItem_->setMvToolBarItemViewDelegate(this);
    rightArrowItem_ = new MVToolBarItemView(view_);
    rightArrowItem_->resize(24, 24);
    rightArrowItem_->setImageView(imageLabel(rightArrowItem_, QStringLiteral("img_right_arrow_icon"), QSize(24, 24)));
    rightArrowItem_->setMvToolBarItemViewDelegate(this);
    rightArrowItem_->hide();
    for (auto* item : items_) styleItem(item, false);
    changeSelectedItem(items_[Chaci]);

    // Search box.
    searchFieldView_ = new MVSearchFieldView(view_);
    searchFieldView_->setGeometry(80, 16, kWideSearchBox, 28);
    searchTypeButton_ = new MVToolBarItemView(searchFieldView_);
    searchTypeButton_->setGeometry(6, 0, 52, 28);
    searchTypeButton_->setMvToolBarItemViewDelegate(this);
    searchTypeLabel_ = new QLabel(searchTypeButton_);
    searchTypeLabel_->setGeometry(0, 0, 52, 28);
    searchTypeLabel_->setAlignment(Qt::AlignCenter);
    searchTypeLabel_->setAttribute(Qt::WA_TransparentForMouseEvents);
    middleLine_ = new QWidget(searchFieldView_);
    middleLine_->setStyleSheet(QStringLiteral("background: rgba(179,179,179,178);"));
    searchField_ = new MVSearchField(searchFieldView_);
    searchField_->setStyleSheet(QStringLiteral("background: transparent;"));
    languageMenu_ = new QMenu(view_);
    const char* pairs[4] = {"英汉", "日汉", "韩汉", "法汉"};
    for (int tag = 0; tag < 4; ++tag) {
        QAction* a = languageMenu_->addAction(QString::fromUtf8(pairs[tag]));
        a->setData(tag);
        a->setCheckable(true);
        connect(a, &QAction::triggered, this, [this, a] { langButtonMenuItemAction(a); });
    }
    currentLanguageSelectedItem_ = languageMenu_->actions().first();
    currentLanguageSelectedItem_->setChecked(true);
    searchTypeLabel_->setText(currentLanguageSelectedItem_->text());
    languageButtonHidden_ = false;

    searchField_->setCommandHandler([this](MVSearchField::Command c) { return doCommand(static_cast<int>(c)); });
    connect(searchField_, &MVSearchField::didBeginEditing, this, [this] { controlTextDidBeginEditing(); });
    connect(searchField_, &MVSearchField::didChange, this, [this](const QString& t) { controlTextDidChange(t); });

    minWndMenu_ = new QMenu(view_);
    logoutMenu_ = new QMenu(view_);
    setUpMinWndMenu();
    layoutView(720);
}

void MVToolBarController::layoutView(int width) {
    int x = 320;
    for (int i : kStripOrder) {
        items_[i]->move(x, 8);
        x += 60;
    }
    avatarItem_->move(width - 86, 17);
    settingsItem_->move(width - 46, 18);
    if (!rightArrowItem_->isHidden()) rightArrowItem_->setGeometry(settingsItem_->geometry());
    const int boxWidth = searchFieldView_->width();
    const int fieldX = languageButtonHidden_ ? 10 : 66;
    middleLine_->setGeometry(62, 6, 1, 16);
    middleLine_->setVisible(!languageButtonHidden_);
    searchField_->setGeometry(fieldX, 2, boxWidth - fieldX - 8, 24);
}

bool MVToolBarController::eventFilter(QObject* watched, QEvent* event) {
    if (watched == view_ && event->type() == QEvent::Resize) {
        layoutView(static_cast<QResizeEvent*>(event)->size().width());
        handleWindowResized();
    }
    return QObject::eventFilter(watched, event);
}

MVToolBarItemView* MVToolBarController::itemForTab(int tab) const {
    return (tab >= 0 && tab < 5) ? items_[tab] : nullptr;
}

void MVToolBarController::setUpMinWndMenu() {
    minWndMenu_->clear();
    minWndMenu_->addAction(QStringLiteral("例句"), this, [this] { if (owner_) owner_->lijuClick(); });
    minWndMenu_->addAction(QStringLiteral("翻译"), this, [this] { if (owner_) owner_->fanyiClick(); });
    minWndMenu_->addAction(QStringLiteral("百科"), this, [this] { if (owner_) owner_->baikeClick(); });
    minWndMenu_->addAction(QStringLiteral("单词本"), this, [this] { if (owner_) owner_->wordBookClick(); });
    minWndMenu_->addSeparator();
    if (ShellServices::account().hasLogined()) {
        QMenu* sub = minWndMenu_->addMenu(QStringLiteral("个人信息"));
        sub->addAction(DictSettings::sharedInstance().authUserName());
        sub->addAction(QStringLiteral("退出登录"), this, [this] {
            ShellServices::account().logout();
            setImage(avatarImage_, QStringLiteral("img_default_avatar_icon"));
            ShellServices::logEvent(QStringLiteral("action"), QStringLiteral("logout"));
        });
    } else {
        minWndMenu_->addAction(QStringLiteral("登录"), this, [this] { if (owner_) owner_->showUserInfoPanel(); });
    }
    minWndMenu_->addAction(QStringLiteral("设置"), this, [this] { if (owner_) owner_->showPreferencePanel(); });
}

void MVToolBarController::showLogoutMenu() {
    logoutMenu_->clear();
    logoutMenu_->addAction(DictSettings::sharedInstance().authUserName());
    logoutMenu_->addSeparator();
    logoutMenu_->addAction(QStringLiteral("退出登录"), this, [this] {
        ShellServices::account().logout();
        setImage(avatarImage_, QStringLiteral("img_default_avatar_icon"));
        ShellServices::logEvent(QStringLiteral("action"), QStringLiteral("logout"));
    });
    const QRect a = avatarItem_->geometry();
    logoutMenu_->popup(view_->mapToGlobal(QPoint(a.x() + a.width() + 5, a.y())));
}

void MVToolBarController::changeSelectedItem(MVToolBarItemView* item) {
    if (!item || item == avatarItem_) return;
    if (item == items_[WordBook]) ShellServices::wordBook().showParaphaseForFirstWord();
    if (currentSelectedItem_) styleItem(currentSelectedItem_, false);
    currentSelectedItem_ = item;
    styleItem(item, true);
}

void MVToolBarController::setSelectedItemViewWithTab(qint64 tab) {
    if (currentSelectedTab_ == WordBook && tab != Fanyi && tab != WordBook && owner_)
        owner_->hideSideBarShowSections();
    if (tab >= 0 && tab < 5) changeSelectedItem(items_[tab]);
    currentSelectedTab_ = tab;
}

void MVToolBarController::hideLanguageTypeButton(bool hide) {
    if (hide == languageButtonHidden_) return;
    languageButtonHidden_ = hide;
    searchTypeButton_->setVisible(!hide);
    layoutView(view_->width());
}

MVToolBarController::WidthLayout MVToolBarController::widthRules(const QList<QRect>& tabFrames,
                                                                 int avatarX, int searchBoxX) {
    WidthLayout out{};
    auto rightEdge = [](const QRect& r) { return r.x() + r.width() - 5; };
    // tabFrames are in strip order: dictionary, sentences, encyclopedia, translation, word book.
    const int wordBook = 4;
    if (tabFrames.size() > wordBook && rightEdge(tabFrames[wordBook]) >= avatarX) {
        out.tabVisible[wordBook] = false;
        out.arrowShown = true;
        out.settingsShown = false;
    } else {
        out.tabVisible[wordBook] = true;
        out.arrowShown = false;
        out.settingsShown = true;
    }
    for (int i = 3; i >= 0; --i)
        out.tabVisible[i] = i < tabFrames.size() && rightEdge(tabFrames[i]) < avatarX;
    if (searchBoxX + kWideSearchBox < avatarX) {
        out.searchBoxWidth = kWideSearchBox;
        out.avatarAndLinksShown = true;
    } else {
        out.searchBoxWidth = kNarrowSearchBox;
        out.avatarAndLinksShown = false;
    }
    return out;
}

void MVToolBarController::handleWindowResized() {
    QList<QRect> frames;
    for (int i : kStripOrder) frames << items_[i]->geometry();
    const WidthLayout l = widthRules(frames, avatarItem_->x(), searchFieldView_->x());
    for (int k = 0; k < 5; ++k) items_[kStripOrder[k]]->setVisible(l.tabVisible[k]);
    rightArrowItem_->setVisible(l.arrowShown);
    if (l.arrowShown) rightArrowItem_->setGeometry(settingsItem_->geometry());
    settingsItem_->setVisible(l.settingsShown);
    QRect box = searchFieldView_->geometry();
    box.setWidth(l.searchBoxWidth);
    searchFieldView_->setGeometry(box);
    avatarItem_->setVisible(l.avatarAndLinksShown);
    if (owner_) owner_->setBottomLinksVisible(l.avatarAndLinksShown);
    layoutView(view_->width());
}

void MVToolBarController::enableButton(MVClickableView* button) {
    if (button == backButton_) {
        setImage(backImageView_, QStringLiteral("img_back_button_normal_icon"));
        canGoBack_ = true;
    } else if (button == forwardButton_) {
        setImage(forwardImageView_, QStringLiteral("img_forward_button_normal_icon"));
        canGoForward_ = true;
    }
}

void MVToolBarController::disEnableButton(MVClickableView* button) {
    if (button == backButton_) {
        setImage(backImageView_, QStringLiteral("img_back_button_forbid_icon"));
        canGoBack_ = false;
    } else if (button == forwardButton_) {
        setImage(forwardImageView_, QStringLiteral("img_forward_button_forbid_icon"));
        canGoForward_ = false;
    }
}

void MVToolBarController::didClickOnView(MVClickableView* view) {
    if (view == backButton_ && canGoBack_) {
        setImage(backImageView_, QStringLiteral("img_back_button_pressed_icon"));
        backButton_->setBackgroundColor(kPressedButton);
    } else if (view == forwardButton_ && canGoForward_) {
        setImage(forwardImageView_, QStringLiteral("img_forward_button_pressed_icon"));
        forwardButton_->setBackgroundColor(kPressedButton);
    }
}

bool MVToolBarController::didMouseUpFromView(MVClickableView* view) {
    if (view == backButton_ && canGoBack_) {
        setImage(backImageView_, QStringLiteral("img_back_button_normal_icon"));
        backButton_->setBackgroundColor(Qt::transparent);
        backButtonAction();
    } else if (view == forwardButton_ && canGoForward_) {
        setImage(forwardImageView_, QStringLiteral("img_forward_button_normal_icon"));
        forwardButton_->setBackgroundColor(Qt::transparent);
        forwardButtonAction();
    }
    return true;
}

void MVToolBarController::backButtonAction() {
    // The page's walk logs the step itself.
    if (!mainVC_ || !mainVC_->goBack()) return;
    enableButton(forwardButton_);
    if (!mainVC_->canGoBack()) disEnableButton(backButton_);
}

void MVToolBarController::forwardButtonAction() {
    if (!mainVC_ || !mainVC_->goForward()) return;
    enableButton(backButton_);
    if (!mainVC_->canGoForward()) disEnableButton(forwardButton_);
}

void MVToolBarController::langButtonMenuItemAction(QAction* item) {
    if (!item) return;
    if (currentLanguageSelectedItem_) currentLanguageSelectedItem_->setChecked(false);
    currentLanguageSelectedItem_ = item;
    item->setChecked(true);
    searchTypeLabel_->setText(item->text());
    if (mainVC_) mainVC_->languageButtonSelectionChanged(item->data().toInt());
}

void MVToolBarController::didClickOnItemView(MVToolBarItemView* item) {
    if (item == searchTypeButton_) {
        languageMenu_->popup(searchTypeButton_->mapToGlobal(QPoint(0, searchTypeButton_->height())));
        return;
    }
    if (item == currentSelectedItem_) return;
    if (item == settingsItem_) {
        setImage(settingsImage_, QStringLiteral("img_settings_pressed_icon"));
        if (owner_) owner_->showPreferencePanel();
        return;
    }
    if (item == rightArrowItem_) {
        setUpMinWndMenu();
        minWndMenu_->popup(view_->mapToGlobal(QPoint(view_->width(), settingsItem_->y())));
        return;
    }
    changeSelectedItem(item);
    if (!owner_) return;
    if (item == items_[Chaci]) owner_->chaciClick(searchField_->text());
    else if (item == items_[Liju]) owner_->lijuClick();
    else if (item == items_[Fanyi]) owner_->fanyiClick();
    else if (item == items_[Baike]) owner_->baikeClick();
    else if (item == items_[WordBook]) owner_->wordBookClick();
    else if (item == avatarItem_) owner_->showUserInfoPanel();
}

bool MVToolBarController::didMouseUpFromItemView(MVToolBarItemView* item) {
    if (item != settingsItem_) return false;
    setImage(settingsImage_, QStringLiteral("img_settings_normal_icon"));
    return true;
}

void MVToolBarController::controlTextDidBeginEditing() {
    if (owner_ && (owner_->isShowingWordBookView() || owner_->isShowingFanyiView()))
        owner_->chaciClick(QString());
}

void MVToolBarController::controlTextDidChange(const QString& text) {
    if (owner_ && (owner_->isShowingWordBookView() || owner_->isShowingFanyiView())) {
        owner_->chaciClick(text);
    } else if (mainVC_ && !mainVC_->isPasted()) {
        mainVC_->onSearchBoxChanged(text);
    }
    if (text.isEmpty() && mainVC_) mainVC_->hideSuggestTableView();
}

bool MVToolBarController::doCommand(int command) {
    const auto cmd = static_cast<MVSearchField::Command>(command);
    const int selected = suggest_ ? suggest_->selectedRow() : -1;
    const int rows = suggest_ ? suggest_->suggestTableView()->numberOfRows() : 0;
    switch (cmd) {
    case MVSearchField::Command::InsertNewline:
    case MVSearchField::Command::Paste: {
        if (!mainVC_) return true;
        if (mainVC_->isSelectedFromSuggestList() && selected >= 0) {
            const QStringList titles = mainVC_->suggestTitleList();
            if (selected < titles.size()) searchField_->setText(titles.at(selected));
            mainVC_->setIsSelectedFromSuggestList(false);
        }
        mainVC_->performQuery();
        enableButton(backButton_);
        disEnableButton(forwardButton_);
        mainVC_->hideSuggestTableView();
        return true;
    }
    case MVSearchField::Command::MoveDown: {
        if (rows == 0) return true;
        // The selection stays within the list at its last row.
        const int next = selected < 0 ? 0 : qMin(selected + 1, rows - 1);
        if (suggest_) suggest_->selectRow(next);
        if (mainVC_) {
            mainVC_->suggestionSelectionChanged(next);
            mainVC_->setIsSelectedFromSuggestList(true);
        }
        return true;
    }
    case MVSearchField::Command::MoveUp: {
        if (rows == 0) return true;
        if (selected < 0) {
            if (suggest_) suggest_->selectRow(0);
            if (mainVC_) mainVC_->suggestionSelectionChanged(0);
            return true;
        }
        const int prev = qMax(selected - 1, 0);
        if (suggest_) suggest_->selectRow(prev);
        if (mainVC_) {
            mainVC_->suggestionSelectionChanged(prev);
            mainVC_->setIsSelectedFromSuggestList(true);
        }
        return true;
    }
    case MVSearchField::Command::CancelOperation:
        if (searchField_->text().isEmpty()) {
            searchField_->clearFocus();
            return true;
        }
        // Escape with text: the suggestions close, the text stays.
        if (suggest_) suggest_->hideSuggestWindow();
        return false;
    }
    return false;
}
