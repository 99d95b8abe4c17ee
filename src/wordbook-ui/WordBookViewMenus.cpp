// The screen's views and menus, built in code top to bottom.
#include "wordbook-ui/WordBookViewController.h"

#include "platform/ColorScheme.h"
#include "query/LogUtils.h"
#include "window/ImageLibrary.h"
#include "wordbook-ui/CreateGroupPanelController.h"
#include "wordbook-ui/MVWordBookCellView.h"
#include "wordbook-ui/RenameGroupPanelController.h"
#include "wordbook-ui/WBTransferController.h"
#include "wordbook-ui/WBEditPanelController.h"
#include "wordbook-ui/WBWordActionManager.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QMenu>
#include <QStackedWidget>
#include <QVBoxLayout>

namespace {
const QString kArrowNormal = QStringLiteral("img_wordbook_arrow_normal_icon");
const QString kArrowPressed = QStringLiteral("img_wordbook_arrow_pressed_icon");
const QString kSyncNormal = QStringLiteral("img_wordbook_sync_normal_icon");
const QString kSyncPressed = QStringLiteral("img_wordbook_sync_pressed_icon");
const QString kFavAllNormal = QStringLiteral("img_wordbook_favoriteAll_normal_icon");
const QString kFavAllPressed = QStringLiteral("img_wordbook_favoriteAll_pressed_icon");
const QString kDelAllNormal = QStringLiteral("img_wordbook_deleteAll_normal_icon");
const QString kDelAllPressed = QStringLiteral("img_wordbook_deleteAll_pressed_icon");

// A group name as a menu title: "&" would otherwise mark a shortcut.
QString menuTitle(const QString& name)
{
    return QString(name).replace(QLatin1Char('&'), QStringLiteral("&&"));
}

WBClickableLabel* optionLabel(const QString& text, QWidget* parent)
{
    auto* l = new WBClickableLabel(text, parent);
    l->setTextFormat(Qt::PlainText);
    l->setObjectName(QStringLiteral("wordBookOption"));  // coloured by recolorTabs()
    l->setCursor(Qt::PointingHandCursor);
    return l;
}
}  // namespace

MVClickableView* WordBookViewController::makeButton(const QString& image, QWidget* parent, int w, int h)
{
    auto* v = new MVClickableView(parent);
    v->setFixedSize(w, h);
    auto* img = new QLabel(v);
    img->setGeometry(0, 0, w, h);
    img->setAttribute(Qt::WA_TransparentForMouseEvents);
    v->setImageView(img);
    v->setDelegate(this);
    v->addTrackingAreaWithRect(QRect(0, 0, w, h));
    v->setCursor(Qt::PointingHandCursor);
    setButtonImage(v, image);
    return v;
}

void WordBookViewController::setButtonImage(MVClickableView* v, const QString& image)
{
    if (v && v->imageView())
        v->imageView()->setPixmap(ImageLibrary::pixmap(image, v->imageView()->size(), devicePixelRatioF()));
}

void WordBookViewController::setUpViews()
{
    setObjectName(QStringLiteral("WordBookViewController"));
    setMinimumWidth(200);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    QWidget* tabs = makeTabSwitch();
    tabs->setFixedHeight(46);
    layout->addWidget(tabs);
    options_ = new QStackedWidget(this);
    options_->setFixedHeight(36);
    options_->addWidget(makeFavoriteOptions());
    options_->addWidget(makeHistoryOptions());
    layout->addWidget(options_);
    busyNotice_ = new QLabel(QStringLiteral("单词本文件正忙，暂时无法读取。它可用后，列表会自动刷新。"), this);
    busyNotice_->setObjectName(QStringLiteral("wordBookBusyNotice"));
    busyNotice_->setWordWrap(true);
    busyNotice_->setAlignment(Qt::AlignCenter);
    busyNotice_->setContentsMargins(12, 8, 12, 8);
    busyNotice_->hide();
    layout->addWidget(busyNotice_);

    model_ = new WordListModel(this);
    table_ = new MVTableView(this);
    table_->setObjectName(QStringLiteral("wordListTableView"));
    table_->setModel(model_);
    table_->setItemDelegate(new MVWordBookCellView(model_, table_));
    table_->verticalHeader()->setDefaultSectionSize(WordListModel::kRowHeight);
    table_->setSelectionMode(QAbstractItemView::NoSelection);
    table_->setFocusPolicy(Qt::StrongFocus);
    table_->setMVTableViewDelegate(this);
    table_->viewport()->installEventFilter(this);
    layout->addWidget(table_, 1);
    recolorTabs();
}

QWidget* WordBookViewController::makeTabSwitch()
{
    auto* box = new QWidget(this);
    auto* row = new QHBoxLayout(box);
    row->setContentsMargins(14, 8, 14, 8);
    row->setSpacing(0);
    favoriteLabel_ = new WBClickableLabel(QStringLiteral("收藏"), box);
    historyLabel_ = new WBClickableLabel(QStringLiteral("历史"), box);
    for (WBClickableLabel* l : {favoriteLabel_, historyLabel_}) {
        l->setAlignment(Qt::AlignCenter);
        l->setCursor(Qt::PointingHandCursor);
        row->addWidget(l, 1);
    }
    connect(favoriteLabel_, &WBClickableLabel::pressed, this, &WordBookViewController::switchToFavorites);
    connect(historyLabel_, &WBClickableLabel::pressed, this, &WordBookViewController::switchToHistory);
    return box;
}

void WordBookViewController::recolorTabs()
{
    // Also the colours that follow the desktop's light or dark scheme.
    const ColorScheme& scheme = ColorScheme::shared();
    table_->setStyleSheet(scheme.pick(QStringLiteral("QTableView{background:white;border:none;}"),
                                      QStringLiteral("QTableView{background:#1e1e20;border:none;}")));
    const QString selected = scheme.pick(
        QStringLiteral("background:rgba(0,0,0,128); color:white; border:1px solid transparent; font-size:13px;"
                       "border-radius:4px;"),
        QStringLiteral("background:rgba(255,255,255,46); color:white; border:1px solid transparent; font-size:13px;"
                       "border-radius:4px;"));
    const QString plain = scheme.pick(
        QStringLiteral("background:white; color:black; border:1px solid rgba(0,0,0,38); font-size:13px; "
                       "border-radius:4px;"),
        QStringLiteral("background:#2b2b2d; color:#e6e6e6; border:1px solid rgba(255,255,255,38); font-size:13px; "
                       "border-radius:4px;"));
    for (WBClickableLabel* l : findChildren<WBClickableLabel*>(QStringLiteral("wordBookOption")))
        l->setStyleSheet(scheme.pick(QStringLiteral("color:#555; font-size:12px;"),
                                     QStringLiteral("color:#b4b4b8; font-size:12px;")));
    favoriteLabel_->setStyleSheet(isFavoriteButtonSelected_ ? selected : plain);
    historyLabel_->setStyleSheet(isFavoriteButtonSelected_ ? plain : selected);
}

QWidget* WordBookViewController::makeFavoriteOptions()
{
    auto* box = new QWidget(this);
    auto* row = new QHBoxLayout(box);
    row->setContentsMargins(14, 0, 10, 0);
    row->setSpacing(2);
    allWordsLabel_ = optionLabel(kAllWordsLabel, box);
    allWordsButton_ = makeButton(kArrowNormal, box, 12, 12);
    sortLabel_ = optionLabel(QStringLiteral("时间"), box);
    sortButton_ = makeButton(kArrowNormal, box, 12, 12);
    manageLabel_ = optionLabel(QStringLiteral("管理"), box);
    manageButton_ = makeButton(kArrowNormal, box, 12, 12);
    syncBtn_ = makeButton(kSyncNormal, box, 20, 20);
    syncBtn_->setObjectName(QStringLiteral("syncBtn"));
    syncBtn_->setToolTip(QStringLiteral("同步"));
    row->addWidget(allWordsLabel_);
    row->addWidget(allWordsButton_);
    row->addSpacing(10);
    row->addWidget(sortLabel_);
    row->addWidget(sortButton_);
    row->addSpacing(10);
    row->addWidget(manageLabel_);
    row->addWidget(manageButton_);
    row->addStretch(1);
    row->addWidget(syncBtn_);
    connect(allWordsLabel_, &WBClickableLabel::pressed, this, [this] {
        prepareGroupMenu();
        popUpAt(groupListMenu_, allWordsLabel_);
    });
    connect(sortLabel_, &WBClickableLabel::pressed, this,
            [this] { popUpAt(sortTypeMenu_, sortLabel_); });
    connect(manageLabel_, &WBClickableLabel::pressed, this, [this] {
        prepareManageMenu();
        popUpAt(manageMenu_, manageLabel_);
    });
    return box;
}

QWidget* WordBookViewController::makeHistoryOptions()
{
    auto* box = new QWidget(this);
    auto* row = new QHBoxLayout(box);
    row->setContentsMargins(14, 0, 10, 0);
    row->setSpacing(4);
    favoriteAllButton_ = makeButton(kFavAllNormal, box, 16, 16);
    auto* favAllLabel = optionLabel(QStringLiteral("全部收藏"), box);
    deleteAllButton_ = makeButton(kDelAllNormal, box, 16, 16);
    auto* delAllLabel = optionLabel(QStringLiteral("清空历史"), box);
    row->addWidget(favoriteAllButton_);
    row->addWidget(favAllLabel);
    row->addSpacing(16);
    row->addWidget(deleteAllButton_);
    row->addWidget(delAllLabel);
    row->addStretch(1);
    connect(favAllLabel, &WBClickableLabel::pressed, this, [this] {
        LogUtils::log(QStringLiteral("action"), QStringLiteral("history_collect_all"));
        favoriteAll();
    });
    connect(delAllLabel, &WBClickableLabel::pressed, this, [this] {
        LogUtils::log(QStringLiteral("action"), QStringLiteral("history_delete_all"));
        setButtonImage(deleteAllButton_, kDelAllNormal);
        showCleanHistoryAlert();
    });
    return box;
}

void WordBookViewController::popUpAt(QMenu* menu, QWidget* anchor)
{
    // popup(), not exec(): no nested event loop while the menu is open.
    menu->popup(anchor->mapToGlobal(QPoint(0, anchor->height() + 4)));
}

// ---------------------------------------------------------------- clickable views

void WordBookViewController::didClickOnView(MVClickableView* v)
{
    if (v == allWordsButton_) {
        setButtonImage(v, kArrowPressed);
        prepareGroupMenu();
        popUpAt(groupListMenu_, allWordsLabel_);
    } else if (v == sortButton_) {
        setButtonImage(v, kArrowPressed);
        popUpAt(sortTypeMenu_, sortLabel_);
    } else if (v == manageButton_) {
        setButtonImage(v, kArrowPressed);
        prepareManageMenu();
        popUpAt(manageMenu_, manageLabel_);
    } else if (v == syncBtn_) {
        setButtonImage(v, kSyncPressed);
        syncBtnClickAction();
    } else if (v == favoriteAllButton_) {
        setButtonImage(v, kFavAllPressed);
        LogUtils::log(QStringLiteral("action"), QStringLiteral("history_collect_all"));
    } else if (v == deleteAllButton_) {
        setButtonImage(v, kDelAllPressed);
        LogUtils::log(QStringLiteral("action"), QStringLiteral("history_delete_all"));
    }
}

bool WordBookViewController::didMouseUpFromView(MVClickableView* v)
{
    if (v == allWordsButton_) {
        setButtonImage(v, kArrowNormal);
        // A release that the open menu took is not the button's.
        if (!groupListMenu_->isVisible()) {
            curCategory_ = QString();
            setAllWordsLabelText(kAllWordsLabel);
            loadWordListWithCategory(curCategory_, isSortedByDate_);
        }
    } else if (v == sortButton_ || v == manageButton_) {
        setButtonImage(v, kArrowNormal);
    } else if (v == syncBtn_) {
        setButtonImage(v, kSyncNormal);
    } else if (v == favoriteAllButton_) {
        setButtonImage(v, kFavAllNormal);
        favoriteAll();
    } else if (v == deleteAllButton_) {
        setButtonImage(v, kDelAllNormal);
        showCleanHistoryAlert();
    } else {
        return false;
    }
    return true;
}

bool WordBookViewController::didMouseEnteredInView(MVClickableView* v)
{
    v->setFocus();
    return false;
}

// ---------------------------------------------------------------- menus

void WordBookViewController::setUpMenus()
{
    groupListMenu_ = new QMenu(this);
    groupListMenu_->addAction(kAllWordsLabel, this, [this] { changeSelectedGroupType(kAllWordsLabel); });
    connect(groupListMenu_, &QMenu::aboutToHide, this, [this] { setButtonImage(allWordsButton_, kArrowNormal); });

    sortTypeMenu_ = new QMenu(this);
    for (const QString& t : {QStringLiteral("按时间排序"), QStringLiteral("按字母排序")})
        sortTypeMenu_->addAction(t, this, [this, t] { changeSortType(t); });
    connect(sortTypeMenu_, &QMenu::aboutToHide, this, [this] { setButtonImage(sortButton_, kArrowNormal); });

    manageMenu_ = new QMenu(this);
    manageSubMenu_ = new QMenu(QStringLiteral("分组管理"), manageMenu_);
    manageSubMenu_->addSeparator();
    manageSubMenu_->addAction(QStringLiteral("新建分组"));
    manageMenu_->addMenu(manageSubMenu_);
    manageMenu_->addSeparator();
    manageMenu_->addAction(QStringLiteral("导出…"), transfer_, &WBTransferController::exportAction);
    manageMenu_->addAction(QStringLiteral("导入…"), transfer_, &WBTransferController::importAction);
    connect(manageMenu_, &QMenu::aboutToHide, this, [this] { setButtonImage(manageButton_, kArrowNormal); });

    favoriteMoreMenu_ = new QMenu(this);
    favoriteMoreMenu_->addAction(QStringLiteral("编辑释义"), this, [this] {
        LogUtils::log(QStringLiteral("action"), QStringLiteral("collect_edit"));
        if (!menuEntries_.isEmpty())
            editPanel_->showEditParaphasePanel(menuEntries_.first());
    });
    favoriteSubMenu_ = new QMenu(QStringLiteral("添加到分组"), favoriteMoreMenu_);
    favoriteSubMenu_->addAction(QStringLiteral("新建分组"), this, [this] {
        createPanel_->createNewGroupAndAddTagToWord(menuEntries_.value(0));
    });
    favoriteMoreMenu_->addMenu(favoriteSubMenu_);
    favoriteMoreMenu_->addAction(QStringLiteral("删除单词"), this,
                                 [this] { actions_->showDeleteActionAlertForEntries(menuEntries_, edittingWordIndex_); });

    historyMoreMenu_ = new QMenu(this);
    historySubMenu_ = new QMenu(QStringLiteral("添加到分组"), historyMoreMenu_);
    historySubMenu_->addAction(QStringLiteral("新建分组"), this, [this] {
        createPanel_->createNewGroupAndAddTagToWord(menuEntries_.value(0));
    });
    historyMoreMenu_->addMenu(historySubMenu_);
    historyMoreMenu_->addAction(QStringLiteral("删除"), this,
                                [this] { actions_->showDeleteActionAlertForEntries(menuEntries_, edittingWordIndex_); });

    multiSelectionMenu_ = new QMenu(this);
    multiSubSelectionMenu_ = new QMenu(QStringLiteral("添加到分组"), multiSelectionMenu_);
    multiSelectionMenu_->addMenu(multiSubSelectionMenu_);
    multiSelectionMenu_->addAction(QStringLiteral("删除"), this, [this] {
        actions_->showDeleteActionAlertForEntries(menuEntries_, menuFirstRow_);
    });
}

void WordBookViewController::addGroupItems(QMenu* menu, QAction* before,
                                           const std::function<void(const QString&)>& act)
{
    for (const QString& g : groupList()) {
        auto* a = new QAction(menuTitle(g), menu);
        a->setData(g);
        connect(a, &QAction::triggered, this, [a, act] { act(a->data().toString()); });
        menu->insertAction(before, a);
    }
}

void WordBookViewController::prepareGroupMenu()
{
    QList<QAction*> items = groupListMenu_->actions();
    while (items.size() > 1) {
        QAction* a = items.takeFirst();
        groupListMenu_->removeAction(a);
        a->deleteLater();
    }
    // Each inserted at the top: "未分组" first, then the groups in reverse order.
    for (const QString& g : groupList()) {
        auto* a = new QAction(menuTitle(g), groupListMenu_);
        a->setData(g);
        connect(a, &QAction::triggered, this, [this, a] { changeSelectedGroupType(a->data().toString()); });
        groupListMenu_->insertAction(groupListMenu_->actions().value(0), a);
    }
}

void WordBookViewController::prepareManageMenu()
{
    QList<QAction*> items = manageSubMenu_->actions();
    while (items.size() > 2) {
        QAction* a = items.takeFirst();
        manageSubMenu_->removeAction(a);
        a->deleteLater();
    }
    QAction* separator = items.value(0);
    const QStringList groups = groupList();
    for (int i = 0; i < groups.size(); ++i) {
        const QString name = groups.at(i);
        if (name == MVWordBook::kNoGroup)
            continue;
        auto* sub = new QMenu(menuTitle(name), manageSubMenu_);
        QAction* rename = sub->addAction(QStringLiteral("重命名"), this, [this, name] { renamePanel_->renameAction(name); });
        QAction* del = sub->addAction(QStringLiteral("删除"), this, [this, name] { renamePanel_->deleteAction(name); });
        rename->setData(i);
        del->setData(i);
        sub->menuAction()->setData(name);
        manageSubMenu_->insertMenu(separator, sub);
    }
    QAction* create = manageSubMenu_->actions().last();
    create->disconnect(this);
    connect(create, &QAction::triggered, this, [this] { createPanel_->createNewGroupAction(); });
}

QMenu* WordBookViewController::prepareMoreMenu(qint64 row)
{
    edittingWordIndex_ = row;
    menuEntries_ = {entryAt(row)};
    menuWords_ = {menuEntries_.first().word};
    QMenu* more = isFavoriteButtonSelected_ ? favoriteMoreMenu_ : historyMoreMenu_;
    QMenu* sub = isFavoriteButtonSelected_ ? favoriteSubMenu_ : historySubMenu_;
    QList<QAction*> items = sub->actions();
    while (items.size() > 1) {
        QAction* a = items.takeFirst();
        sub->removeAction(a);
        a->deleteLater();
    }
    addGroupItems(sub, items.value(0), [this](const QString& group) {
        actions_->addToGroupAction(group, menuEntries_.value(0));
    });
    return more;
}

void WordBookViewController::popUpMoreMenu(qint64 row)
{
    QMenu* menu = prepareMoreMenu(row);
    const QRect r = table_->visualRect(model_->index(int(row)));
    menu->popup(table_->viewport()->mapToGlobal(QPoint(r.right(), r.top() + r.height() / 2)));
}

QMenu* WordBookViewController::prepareMultiSelectionMenu()
{
    menuEntries_.clear();
    menuWords_.clear();
    for (qint64 r : std::as_const(selectedRows_)) {
        WordBookRowEntry e = entryAt(r);
        if (e.word.isNull())
            continue;
        // Several history rows leave the query history as it is.
        e.history = QString();
        e.historyKey = isFavoriteButtonSelected_ ? QString() : shownHistory_.value(r).orignWord;
        menuEntries_.append(e);
        menuWords_.append(e.word);
    }
    menuFirstRow_ = selectedRows_.value(0, 0);
    for (QAction* a : multiSubSelectionMenu_->actions()) {
        multiSubSelectionMenu_->removeAction(a);
        a->deleteLater();
    }
    addGroupItems(multiSubSelectionMenu_, nullptr, [this](const QString& group) {
        actions_->addWordsToGroupAction(group, menuEntries_, !isFavoriteButtonSelected_);
    });
    multiSubSelectionMenu_->addAction(QStringLiteral("新建分组"), this, [this] {
        createPanel_->createNewGroupAndAddTagToWords(menuEntries_);
    });
    return multiSelectionMenu_;
}
