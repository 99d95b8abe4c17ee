#include "window/FrameSplitViewController.h"

#include "platform/NotificationCenter.h"
#include "query/AppConstants.h"
#include "window/ShellServices.h"
#include "window/SideBarViewController.h"

#include <QEvent>

FrameSplitViewController& FrameSplitViewController::sharedInstance() {
    static FrameSplitViewController* instance = new FrameSplitViewController();
    return *instance;
}

FrameSplitViewController::FrameSplitViewController() {
    view_ = new QWidget();
    view_->setObjectName(QStringLiteral("FrameSplitView"));
    sideBarView_ = new QWidget(view_);
    mainContentView_ = new QWidget(view_);
    sideBarView_->hide();
    view_->installEventFilter(this);
    auto& center = NotificationCenter::defaultCenter();
    center.addObserver(MVDidCallLoadResultPageMethodNotification, this,
                       [this](const Notification&) { showSideBarForWebResult(); });
    center.addObserver(MVDidFinishLoadFirstWebViewNotification, this,
                       [this](const Notification&) { hideSideBar(); });
}

FrameSplitViewController::~FrameSplitViewController() { delete view_; }

SideBarViewController& FrameSplitViewController::sideBarController() {
    static SideBarViewController* c = new SideBarViewController();
    return *c;
}

QPair<int, int> FrameSplitViewController::dividerLimits() const {
    if (hideSideBarFlag_) return {currentSideBarType_ == WordBookScreen ? 228 : 1, 0};
    if (currentSideBarType_ == WordBookScreen) return {228, 228};
    return {1, 150};
}

void FrameSplitViewController::showSideBarWithType(qint64 type) {
    hideSideBarFlag_ = false;
    currentSideBarType_ = type;
    QWidget* content = nullptr;
    if (type == SectionList) {
        sideBarController().resetSideBarView();
        content = sideBarController().view();
        sideBarWidth_ = SideBarViewController::kWidth;
    } else if (type == WordBookScreen) {
        content = ShellServices::wordBook().wordBookView();
        sideBarWidth_ = 228;
    }
    if (type == SectionList || type == WordBookScreen) {
        if (hosted_ && hosted_ != content) {
            hosted_->hide();
            hosted_->setParent(nullptr);
        }
        hosted_ = content;
        if (content) {
            content->setParent(sideBarView_);
            content->setGeometry(0, 0, sideBarWidth_, sideBarView_->height());
            content->show();
        }
    }
    sideBarView_->show();
    layoutPanes();
}

void FrameSplitViewController::hideSideBar() {
    if (hosted_) {
        hosted_->hide();
        hosted_->setParent(nullptr);
        hosted_ = nullptr;
    }
    if (currentSideBarType_ == SectionList) sideBarController().resetSideBarView();
    sideBarView_->hide();
    hideSideBarFlag_ = true;
    layoutPanes();
}

void FrameSplitViewController::showSideBarForWebResult() {
    if (currentSideBarType_ == WordBookScreen) return;
    const qint64 tab = currentTab_ ? currentTab_() : 0;
    if (tab != 0) {
        hideSideBar();
    } else if (!sideBarController().optionTitles().isEmpty()) {
        showSideBarWithType(SectionList);
    }
}

void FrameSplitViewController::layoutPanes() {
    const int w = view_->width(), h = view_->height();
    if (hideSideBarFlag_ || sideBarView_->isHidden()) {
        mainContentView_->setGeometry(0, 0, w, h);
    } else {
        const auto limits = dividerLimits();
        const int side = qBound(limits.first, sideBarWidth_, qMax(limits.first, limits.second));
        sideBarView_->setGeometry(0, 0, side, h);
        if (hosted_) hosted_->setGeometry(0, 0, side, h);
        mainContentView_->setGeometry(side, 0, qMax(0, w - side), h);
    }
    for (QObject* child : mainContentView_->children())
        if (auto* page = qobject_cast<QWidget*>(child)) page->setGeometry(mainContentView_->rect());
}

bool FrameSplitViewController::eventFilter(QObject* watched, QEvent* event) {
    if (watched == view_ && event->type() == QEvent::Resize) layoutPanes();
    return QObject::eventFilter(watched, event);
}
