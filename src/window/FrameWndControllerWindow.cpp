#include "window/FrameWndController.h"

#include "platform/AccessibilityTrust.h"
#include "platform/ColorScheme.h"
#include "platform/BundleInfo.h"
#include "platform/FullScreenDetector.h"
#include "platform/UserDefaults.h"
#include "query/AppConstants.h"
#include "query/DictSettings.h"
#include "platform/ServiceHost.h"
#include "window/MVAlertWndController.h"
#include "window/ShellPages.h"
#include "window/ShellServices.h"
#include "window/views/HyperlinkTextField.h"
#include "window/views/SmallViews.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QUrl>

// Window behaviour (activation, resizing, showing) and the bottom bar with
// its capture toggles and links.

void FrameWndController::showWindow() {
    if (window_->isHidden()) {
        window_->show();
    }
    if (window_->windowState() & Qt::WindowMinimized) {
        window_->setWindowState(window_->windowState() & ~Qt::WindowMinimized);
        window_->showNormal();
    }
    window_->raise();
    window_->activateWindow();
    searchFieldBecomeFirstResponder();
}
void FrameWndController::windowDidBecomeMain() {
    if (m_viewTag_ == 0 && pages_.lookup) pages_.lookup->changeMVToolBarThemeActive(true);
    postCloseSuggest();
}

void FrameWndController::windowDidResignMain() {
    if (m_viewTag_ == 0 && pages_.lookup) pages_.lookup->changeMVToolBarThemeActive(false);
    // Only a window that really is full screen steps aside, hidden like the
    // application on the other desktop; a maximised one stays
    // (the hotkey, a second launch or the tray icon bring it back).
    if (FullScreenDetector::isWindowFullScreen(window_)) window_->hide();
    postCloseSuggest();
}

void FrameWndController::windowResized() {
    toolBar_->handleWindowResized();
    postCloseSuggest();
    ShellServices::logEvent(QStringLiteral("action"), QStringLiteral("adjust"));
}

void FrameWndController::checkFullScreenWindow() {
    fullScreenFrames_ = FullScreenDetector::fullScreenWindowFrames();
    haveFullScreenApp_ = !fullScreenFrames_.isEmpty();
}

void FrameWndController::defaultsChanged() {
    auto& d = UserDefaults::standard();
    for (auto [item, key] : {std::pair{getWordView_, QString(ScreenTrans)},
                             std::pair{strokeWordView_, QString(WordStroke)}}) {
        if (!item) continue;
        const bool on = d.boolValue(key);
        if (on == item->isSeleted()) continue;
        item->changeImageViewWithName(on ? item->imagePressedName() : item->imageNomalName(), 0.3);
        item->setIsSeleted(on);
    }
    if (d.contains(UserIdDefaultsKey) && feedBackTextField_)
        feedBackTextField_->setLinkText(
            QStringLiteral("满意度调查"),
            QUrl(surveyUrl(appShortVersion(), d.stringValue(UserIdDefaultsKey))));
}

void FrameWndController::didClickOnItemView(MVToolBarItemView* item) {
    if (item != getWordView_ && item != strokeWordView_) return;
    if (item->isSeleted()) {
        item->changeImageViewWithName(item->imageNomalName(), 0.3);
        item->setIsSeleted(false);
    } else {
        item->changeImageViewWithName(item->imagePressedName(), 0.3);
        item->setIsSeleted(true);
    }
    const QString key = item == getWordView_ ? QString(ScreenTrans) : QString(WordStroke);
    const QString value = item == getWordView_ ? QStringLiteral("quci") : QStringLiteral("huaci");
    auto& d = UserDefaults::standard();
    if (!item->isSeleted()) {
        d.setValue(key, false);
    } else if (isAccessibilityTrusted(true)) {
        d.setValue(key, true);
        d.sync();
    } else {
        d.setValue(key, false);
        item->changeImageViewWithName(item->imageNomalName(), 0.3);
        item->setIsSeleted(false);
    }
    if (item->isSeleted()) showWordStrokeNoiceAlert();
    ShellServices::logEvent(QStringLiteral("action"), value);
}

void FrameWndController::showWordStrokeNoiceAlert() {
    auto& d = UserDefaults::standard();
    if (d.boolValue(MVShowWordStrokeAlertKey)) return;
    auto& alert = MVAlertWndController::sharedInstance();
    alert.setCloseButtonHidden(false);
    alert.setTitle(QString());
    alert.setMessage(QStringLiteral("开启取词划词功能时，使用过程中会偶尔触发系统警示音，建议您在不使用时将该功能关闭。"));
    alert.setShowLeftButton(true);
    alert.setShowRightButton(false);
    alert.changeRightButtonTitle(QStringLiteral("确定"));
    alert.setRightButtonAction([&alert] { alert.hideWindow(); });
    alert.showWindow();
    d.setValue(MVShowWordStrokeAlertKey, true);
}

void FrameWndController::setUpBottomBar() {
    bottomView_ = new MVCustomView(window_);
    bottomView_->setObjectName(QStringLiteral("BottomBar"));
    bottomView_->setFixedHeight(30);
    auto* row = new QHBoxLayout(bottomView_);
    row->setContentsMargins(10, 0, 10, 0);
    row->setSpacing(6);
    auto makeToggle = [this, row](const QString& title) {
        auto* item = new MVToolBarItemView(bottomView_);
        item->setFixedSize(64, 24);
        auto* img = new QLabel(item);
        img->setGeometry(0, 4, 16, 16);
        img->setAttribute(Qt::WA_TransparentForMouseEvents);
        auto* label = new QLabel(title, item);
        label->setGeometry(20, 0, 44, 24);
        label->setAttribute(Qt::WA_TransparentForMouseEvents);
        item->setImageView(img);
        item->setTitleLabel(label);
        item->setImageNomalName(QStringLiteral("img_check_button_unselected_icon"));
        item->setImagePressedName(QStringLiteral("img_check_button_selected_icon"));
        item->setMvToolBarItemViewDelegate(this);
        row->addWidget(item);
        return item;
    };
    getWordView_ = makeToggle(QStringLiteral("取词"));
    strokeWordView_ = makeToggle(QStringLiteral("划词"));
    auto& d = UserDefaults::standard();
    for (auto [item, key] : {std::pair{getWordView_, QString(ScreenTrans)},
                             std::pair{strokeWordView_, QString(WordStroke)}}) {
        const bool on = d.boolValue(key);
        item->setIsSeleted(on);
        item->changeImageViewWithName(on ? item->imagePressedName() : item->imageNomalName(), 0);
    }
    row->addStretch();
    auto makeLink = [this, row]() {
        auto* f = new HyperlinkTextField(bottomView_);
        row->addWidget(f);
        return f;
    };
    auto makeSeparator = [this, row]() {
        auto* s = new QWidget(bottomView_);
        s->setFixedSize(1, 12);
        row->addWidget(s);
        return s;
    };
    const QColor linkColor = ColorScheme::shared().pick(QColor(0, 0, 0, 178), QColor(255, 255, 255, 178));
    scoreTextField_ = makeLink();
    scoreTextField_->setLinkText(QStringLiteral("给米沃词典评分"),
                                 QUrl(webSiteBaseUrl() + QStringLiteral("/index-mac.html")), linkColor);
    separators_[0] = makeSeparator();
    feedBackTextField_ = makeLink();
    feedBackTextField_->setLinkText(
        QStringLiteral("满意度调查"),
        QUrl(surveyUrl(appShortVersion(), DictSettings::sharedInstance().authUserId())),
        linkColor);
    separators_[1] = makeSeparator();
    noteTextField_ = makeLink();
    noteTextField_->setLinkText(QStringLiteral("意见反馈"),
                                QUrl(webSiteBaseUrl() + QStringLiteral("/feedback.html?")), linkColor);
    // The links and their separators in the desktop's light or dark scheme.
    auto recolor = [this] {
        const ColorScheme& scheme = ColorScheme::shared();
        for (HyperlinkTextField* f : {scoreTextField_, feedBackTextField_, noteTextField_}) {
            QPalette pal = f->palette();
            pal.setColor(QPalette::WindowText, scheme.pick(QColor(0, 0, 0, 178), QColor(255, 255, 255, 178)));
            f->setPalette(pal);
        }
        for (QWidget* s : separators_)
            s->setStyleSheet(scheme.pick(QStringLiteral("background: rgba(0,0,0,60);"),
                                         QStringLiteral("background: rgba(255,255,255,60);")));
    };
    recolor();
    connect(&ColorScheme::shared(), &ColorScheme::changed, this, recolor);
}
void FrameWndController::setBottomLinksVisible(bool visible) {
    for (QWidget* w : {static_cast<QWidget*>(scoreTextField_), static_cast<QWidget*>(feedBackTextField_),
                       static_cast<QWidget*>(noteTextField_), separators_[0], separators_[1]})
        if (w) w->setVisible(visible);
}
