#include "capture/ScrTransController.h"

#include "capture/CaptureRoad.h"
#include "capture/ScrTransBridge.h"
#include "capture/ScrTransViews.h"
#include "platform/NotificationCenter.h"
#include "query/AppConstants.h"
#include "query/DictUtils.h"
#include "window/FrameWndController.h"
#include "window/ImageLibrary.h"
#include "window/ShellServices.h"
#include "window/pages/WebPageHost.h"
#include "wordbook/MVWordBook.h"

#include <QCursor>
#include <QEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QLoggingCategory>
#include <QScreen>
#include <QTimer>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <QWindow>
#include <cmath>

namespace {
Q_LOGGING_CATEGORY(lcPopup, "mirvok.capture.popup", QtInfoMsg)
constexpr int kCorner = 30;
constexpr int kStar = 16;
const QColor kInBook(228, 55, 54);
const QColor kNotInBook(251, 133, 139);
ScrTransController* g_instance = nullptr;
}  // namespace

ScrTransController* ScrTransController::getInstance() {
    if (!g_instance) {
        g_instance = new ScrTransController();
        // Goes with the application, before the widgets' last chance.
        if (auto* app = QCoreApplication::instance())
            QObject::connect(app, &QCoreApplication::aboutToQuit, [] { delete g_instance; });
    }
    return g_instance;
}

bool ScrTransController::isShown() { return g_instance && g_instance->bShow(); }

ScrTransController::ScrTransController() {
    setUp();
    // A star read while another program held the word book came back empty.
    connect(&MVWordBook::sharedInstance(), &MVWordBook::storeAvailable, this, [this] {
        if (!title_.isEmpty()) changeFavoriteButtonState(MVWordBook::sharedInstance().hasWord(title_));
    });
}

ScrTransController::~ScrTransController() {
    if (g_instance == this) g_instance = nullptr;
    CaptureRoad::current().setPopupWindow(0);
    delete noLayeredView_;
}

QWidget* ScrTransController::window() const { return noLayeredView_; }

void ScrTransController::setUp() {
    noLayeredView_ = new MVScrTranRoundWndView();
    QWidget* w = noLayeredView_;
    // A Wayland tooltip is a popup of one of our own surfaces that had the
    // user's input; the main window is usually hidden, so there the popup is
    // a top-level of its own. Its fixed size lets tiling compositors float it;
    // where it goes is theirs to decide (move() reaches no compositor).
    wayland_ = QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
    w->setWindowFlags((wayland_ ? Qt::Tool : Qt::ToolTip) | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint
                      | Qt::WindowDoesNotAcceptFocus);
    w->setAttribute(Qt::WA_ShowWithoutActivating);
    if (CaptureRoad::current().translucentWindows()) w->setAttribute(Qt::WA_TranslucentBackground);
    w->setFocusPolicy(Qt::NoFocus);
    w->resize(kWidth, 1);
    w->installEventFilter(this);

    host_ = new WebPageHost(w);
    host_->setBridgeMethods({{QStringLiteral("resizeWnd"), 1}, {QStringLiteral("doQueryFullWord"), 0}});
    bridge_ = new ScrTransBridge(this, {[this](double h) { resizeWnd(h); }, [this] { doQueryFullWord(); }}, this);
    host_->setBridgeObject(bridge_);
    // The page never navigates anywhere itself.
    host_->setNavigationFilter([](const QUrl&) { return false; });
    host_->view()->page()->setBackgroundColor(Qt::transparent);
    host_->view()->setFocusPolicy(Qt::NoFocus);
    host_->view()->setContextMenuPolicy(Qt::NoContextMenu);
    host_->view()->setGeometry(w->rect());
    host_->loadResourcePage(QStringLiteral("wordstroke.html"));

    favoriteBackView_ = new MVScrTransTriangleVIew(w);
    favoriteBackView_->resize(kCorner, kCorner);
    favoriteButton_ = new MVClickableView(favoriteBackView_);
    favoriteButton_->setGeometry(kCorner - kStar - 2, 2, kStar, kStar);
    auto* image = new QLabel(favoriteButton_);
    image->setGeometry(favoriteButton_->rect());
    image->setAttribute(Qt::WA_TransparentForMouseEvents);
    favoriteButton_->setImageView(image);
    favoriteButton_->setDelegate(this);
    favoriteButton_->setCursor(Qt::PointingHandCursor);
    changeFavoriteButtonState(false);
    favoriteBackView_->setColor(QColor(189, 65, 64));
}

QPointF ScrTransController::pointerPos() const { return pointer_ ? pointer_() : QPointF(QCursor::pos()); }

QRect ScrTransController::availableAt(const QPointF& p) const {
    QScreen* s = QGuiApplication::screenAt(p.toPoint());
    if (!s) s = QGuiApplication::primaryScreen();
    return s ? s->availableGeometry() : QRect(0, 0, 1280, 1024);
}

QPoint ScrTransController::setLocation(const QPointF& pointer, const QSize& size, const QRect& available) {
    const int x = int(pointer.x());
    const int y = int(pointer.y());
    const int right = available.x() + available.width();
    const int bottom = available.y() + available.height();
    int left = x + 5 < right ? x + 5 : x;
    if (left + size.width() > right) left = left - size.width() - 25;
    int top = y + 15;
    if (top + size.height() > bottom) top = y + 15 - size.height();
    // Whatever the arithmetic, the popup stays on the pointer's screen.
    left = qBound(available.x(), left, qMax(available.x(), right - size.width()));
    top = qBound(available.y(), top, qMax(available.y(), bottom - size.height()));
    return {left, top};
}

bool ScrTransController::showWindow(const QString& html, const WordStrokeXMLResultPtr& result,
                                    std::optional<QPointF> at) {
    if (result) {
        trans_ = result->trans;
        phonetic_ = result->phone;
    }
    if (html.isEmpty() || !result || result->title.isEmpty()) return false;
    changeFavoriteButtonState(MVWordBook::sharedInstance().hasWord(result->title));
    title_ = result->title;
    if (bShow_) hideWindow();
    showPoint_ = at ? *at : pointerPos();
    QWidget* w = noLayeredView_;
    w->setWindowTitle(title_);
    // Shown at once, a line high, so the page lays out at the popup's width;
    // the page's height then sizes it.
    height_ = 1;
    const QRect avail = availableAt(showPoint_);
    place(QRect(setLocation(showPoint_, QSize(kWidth, height_), avail), QSize(kWidth, height_)));
    host_->setInnerHtml(QStringLiteral("result"), html);
    host_->runScript(QStringLiteral("getValue();"));
    pendingShow_ = true;
    exposed_ = false;
    w->show();
    w->raise();
    favoriteBackView_->raise();
    if (w->winId()) CaptureRoad::current().setPopupWindow(quint64(w->winId()));
    if (QWindow* handle = w->windowHandle()) handle->installEventFilter(this);
    if (wayland_)
        if (QWidget* page = host_->view()->focusProxy()) page->installEventFilter(this);
    bShow_ = true;
    return true;
}

void ScrTransController::hideWindow() {
    if (bShow_) qCDebug(lcPopup) << "popup hidden";
    noLayeredView_->hide();
    bShow_ = false;
    pendingShow_ = false;
}

void ScrTransController::dismiss() {
    hideWindow();
    // The user is done with this word: selected again, it is looked up again.
    CaptureRoad::current().popupDismissed();
}

void ScrTransController::place(const QRect& frame) {
    QWidget* w = noLayeredView_;
    // A fixed size is what a Wayland compositor sees of the page's height.
    if (wayland_) w->setFixedSize(frame.size());
    w->setGeometry(frame);
    host_->view()->setGeometry(w->rect());
    favoriteBackView_->move(w->width() - kCorner, 0);
}

void ScrTransController::resizeWnd(double value) {
    if (!bShow_) return;
    const QRect avail = availableAt(showPoint_);
    // Page script may say anything: NaN, infinities, negatives, huge values.
    if (!std::isfinite(value)) return;
    const int h = int(qBound(1.0, value - 3, double(qMax(1, avail.height()))));
    height_ = h;
    const QSize size(kWidth, h);
    place(QRect(setLocation(showPoint_, size, avail), size));
    favoriteBackView_->raise();
    if (pendingShow_) {
        pendingShow_ = false;
        emit shown();
    }
}

void ScrTransController::doQueryFullWord() {
    qCDebug(lcPopup) << "doQueryFullWord";
    chaciClick();
}

void ScrTransController::chaciClick() {
    const QString word = title_;
    if (auto* frame = qobject_cast<FrameWndController*>(DictUtils::appDelegate())) {
        frame->showWindow();
        frame->jumpToTab(0, word);
    }
    hideWindow();
}

QString ScrTransController::convertArrayToString(const QStringList& trans) {
    if (trans.isEmpty()) return QString();
    return trans.join(QStringLiteral("\\n"));
}

bool ScrTransController::isFavorite() const { return favoriteButton_->isStateOn; }

QColor ScrTransController::cornerColor() const { return favoriteBackView_->color(); }

void ScrTransController::changeFavoriteButtonState(bool on) {
    favoriteButton_->isStateOn = on;
    favoriteBackView_->setColor(on ? kInBook : kNotInBook);
    const QString name =
        on ? QStringLiteral("img_floatWnd_favorite_pressed_icon") : QStringLiteral("img_floatWnd_favorite_normal_icon");
    if (QLabel* image = favoriteButton_->imageView()) image->setPixmap(ImageLibrary::pixmap(name, QSize(kStar, kStar)));
}

void ScrTransController::didClickOnView(MVClickableView* view) {
    if (view != favoriteButton_ || title_.isEmpty()) return;
    MVWordBook& book = MVWordBook::sharedInstance();
    if (favoriteButton_->isStateOn) {
        // Emptied once the word is out of the file; a failure leaves it
        // filled and the word book tells the user why.
        const QString word = title_;
        book.delWord(word, this, [this, word](bool removed) {
            if (removed && title_ == word)
                changeFavoriteButtonState(false);
        });
        ShellServices::wordBook().startSync(false);
    } else {
        // Filled once the row is in the file; a failure leaves it empty and
        // the word book tells the user why. The popup may show another word
        // by then.
        const QString word = title_;
        book.addWord(word, phonetic_, convertArrayToString(trans_), this, [this, word](bool stored) {
            if (stored && title_ == word)
                changeFavoriteButtonState(true);
        });
        ShellServices::wordBook().startSync(false);
    }
}

void ScrTransController::handleEnteredExited(bool entered) {
    if (entered) {
        // A window that takes no focus still gets clicks and the wheel on
        // X11; bringing it to the front is all "key" needs to mean here.
        noLayeredView_->raise();
        NotificationCenter::defaultCenter().post(MVEnterScreenTransWindow, this);
    } else {
        NotificationCenter::defaultCenter().post(MVExitScreenTransWindow, this);
    }
}

void ScrTransController::clickedInPage(const QPointF& at) {
    // Only the page knows its links; a click beside them dismisses the
    // popup, which on Wayland has no other way to learn of a click elsewhere.
    const QString word = title_;
    host_->runScript(QStringLiteral("(function(){var e=document.elementFromPoint(%1,%2);"
                                    "return !!(e&&e.closest&&e.closest('a,[data-fullword]'));})()")
                         .arg(at.x())
                         .arg(at.y()),
                     [this, word](const QVariant& onLink) {
                         // A page going away answers an invalid value, with the
                         // popup half destroyed: only a real answer counts.
                         const bool answered = onLink.metaType() == QMetaType::fromType<bool>();
                         if (answered && !onLink.toBool() && bShow_ && title_ == word) dismiss();
                     });
}

bool ScrTransController::eventFilter(QObject* watched, QEvent* e) {
    QWidget* w = noLayeredView_;
    if (watched == w->windowHandle()) {
        // What the user sees: the compositor has put the window on screen.
        if (e->type() == QEvent::Expose && bShow_ && !exposed_ && w->windowHandle()->isExposed()) {
            exposed_ = true;
            qCDebug(lcPopup).noquote() << "popup exposed:" << title_;
        }
        return QObject::eventFilter(watched, e);
    }
    if (wayland_ && e->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(e)->key() == Qt::Key_Escape
        && (watched == w || watched == host_->view()->focusProxy())) {
        dismiss();
        return true;
    }
    const bool press = e->type() == QEvent::MouseButtonPress, release = e->type() == QEvent::MouseButtonRelease;
    if (wayland_ && (press || release) && watched == host_->view()->focusProxy()) {
        const auto* m = static_cast<QMouseEvent*>(e);
        // A click, not the end of a drag that selects the popup's text.
        if (m->button() == Qt::LeftButton && press) pressedAt_ = m->position();
        if (m->button() == Qt::LeftButton && release && (m->position() - pressedAt_).manhattanLength() <= 5)
            clickedInPage(m->position());
    }
    if (watched == w) {
        if (e->type() == QEvent::Enter) handleEnteredExited(true);
        else if (e->type() == QEvent::Leave) handleEnteredExited(false);
        else if (e->type() == QEvent::Hide) handleEnteredExited(false);
    }
    return QObject::eventFilter(watched, e);
}
