#pragma once

#include "models/WordStrokeXMLResult.h"
#include "window/views/MVClickableView.h"

#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QRect>
#include <QSize>
#include <QStringList>
#include <optional>

class MVScrTranRoundWndView;
class MVScrTransTriangleVIew;
class ScrTransBridge;
class WebPageHost;

// The one translation popup of the process: a frameless window that floats
// above everything beside the pointer, takes no focus, shows the capture
// lookup's HTML in a web view and carries the favourite star. Its page asks
// for its height (resizeWnd) and for the full lookup (doQueryFullWord).
// Main thread only.
class ScrTransController : public QObject, public MVClickableViewDelegate {
    Q_OBJECT
public:
    static constexpr int kWidth = 284;

    static ScrTransController* getInstance();
    // Whether the popup shows, without making it (and its web page) when it
    // was never needed.
    static bool isShown();
    ~ScrTransController() override;

    // Shows `html` for `result` beside the pointer. False, and the popup
    // left as it was, when there is nothing to show (empty HTML, no titled
    // result).
    // `at` replaces the pointer when the selection's place is known.
    bool showWindow(const QString& html, const WordStrokeXMLResultPtr& result,
                    std::optional<QPointF> at = std::nullopt);
    void hideWindow();
    // Hidden by the user (Escape, a click beside the links).
    void dismiss();
    bool bShow() const { return bShow_; }

    // The window's top-left for a window of `size` at `pointer`, inside the
    // available area of the pointer's screen.
    static QPoint setLocation(const QPointF& pointer, const QSize& size, const QRect& available);

    // From the page.
    void resizeWnd(double height);
    void doQueryFullWord();
    void chaciClick();

    // MVClickableViewDelegate: the star.
    void didClickOnView(MVClickableView* view) override;

    QString title() const { return title_; }
    QString phonetic() const { return phonetic_; }
    bool isFavorite() const;
    QWidget* window() const;
    MVClickableView* favoriteButton() const { return favoriteButton_; }
    WebPageHost* pageHost() const { return host_; }
    ScrTransBridge* bridge() const { return bridge_; }
    QColor cornerColor() const;

    // The definition stored with a starred word: the lines joined by the
    // two characters "\n", as the word book keeps them.
    static QString convertArrayToString(const QStringList& trans);

    // Replaces the pointer position (tests place the popup exactly).
    void setPointerFunction(std::function<QPointF()> f) { pointer_ = std::move(f); }

signals:
    // The popup appeared, sized by its page (benchmarks and tests wait on it).
    void shown();

protected:
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    ScrTransController();
    void setUp();
    void changeFavoriteButtonState(bool on);
    void handleEnteredExited(bool entered);
    QRect availableAt(const QPointF& p) const;
    QPointF pointerPos() const;
    void place(const QRect& frame);
    void clickedInPage(const QPointF& at);

    MVScrTranRoundWndView* noLayeredView_ = nullptr;
    MVScrTransTriangleVIew* favoriteBackView_ = nullptr;
    MVClickableView* favoriteButton_ = nullptr;
    WebPageHost* host_ = nullptr;
    ScrTransBridge* bridge_ = nullptr;
    bool bShow_ = false;
    bool pendingShow_ = false;
    bool wayland_ = false;
    bool exposed_ = false;
    QPointF pressedAt_;
    QPointF showPoint_;
    int height_ = 1;
    QString title_;
    QString phonetic_;
    QStringList trans_;
    std::function<QPointF()> pointer_;
};
