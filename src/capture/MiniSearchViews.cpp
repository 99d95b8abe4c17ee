#include "capture/MiniSearchViews.h"

#include "platform/ColorScheme.h"
#include "platform/hotkeys/KeyCodeTable.h"
#include "platform/UserDefaults.h"
#include "query/AppConstants.h"

#include <QKeyEvent>
#include <QPainter>
#include <QPainterPath>

namespace {
// The window's ground: white, or the pages' dark ground.
QColor ground() { return ColorScheme::shared().pick(QColor(Qt::white), QColor(0x1e, 0x1e, 0x20)); }
}  // namespace

MVMiniSearchContentView::MVMiniSearchContentView(QWidget* parent) : QWidget(parent) {
    connect(&ColorScheme::shared(), &ColorScheme::changed, this, qOverload<>(&QWidget::update));
}

void MVMiniSearchContentView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    if (!testAttribute(Qt::WA_TranslucentBackground)) {
        p.fillRect(rect(), ground());
        return;
    }
    p.setRenderHint(QPainter::Antialiasing);
    p.setCompositionMode(QPainter::CompositionMode_Source);
    p.fillRect(rect(), Qt::transparent);
    p.setCompositionMode(QPainter::CompositionMode_SourceOver);
    QPainterPath path;
    path.addRoundedRect(QRectF(rect()), 10, 10);
    p.fillPath(path, ground());
}

MiniSearchFieldView::MiniSearchFieldView(QWidget* parent) : QWidget(parent) {}

void MiniSearchFieldView::setBackground(const QColor& c) {
    background_ = c;
    update();
}

void MiniSearchFieldView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    if (!window()->testAttribute(Qt::WA_TranslucentBackground)) {
        p.fillRect(rect(), background_);
        return;
    }
    p.setRenderHint(QPainter::Antialiasing);
    // Rounded at the top, where it meets the window's corners.
    QPainterPath path;
    path.addRoundedRect(QRectF(rect()).adjusted(0, 0, 0, 12), 10, 10);
    p.setClipRect(rect());
    p.fillPath(path, background_);
}

MVMiniSearchField::MVMiniSearchField(QWidget* parent) : QLineEdit(parent) {
    setPlaceholderText(placeholderForStoredKey());
    setFrame(false);
    setTextMargins(6, 0, 6, 0);
    auto recolor = [this] {
        QPalette pal = palette();
        pal.setColor(QPalette::PlaceholderText, QColor(153, 153, 153));
        pal.setColor(QPalette::Base, Qt::transparent);
        pal.setColor(QPalette::Text, ColorScheme::shared().pick(QColor(51, 51, 51), QColor(0xe6, 0xe6, 0xe6)));
        setPalette(pal);
    };
    recolor();
    connect(&ColorScheme::shared(), &ColorScheme::changed, this, recolor);
    setAttribute(Qt::WA_MacShowFocusRect, false);
}

QColor MVMiniSearchField::fillColor() const {
    return fill_.isValid() ? fill_ : ColorScheme::shared().pick(QColor(220, 220, 220), QColor(0x2e, 0x2e, 0x32));
}

QString MVMiniSearchField::placeholderForStoredKey() {
    const qint64 code = UserDefaults::standard().integerValue(MVMiniSearchCodeKey);
    if (code <= 0 || KeyCodeTable::qtKeyForCode(int(code)) == 0) return QStringLiteral("快捷查词");
    return QStringLiteral("快捷查词（%1）").arg(KeyCodeTable::displayText(int(code), KeyCodeTable::kOptionFlag));
}

void MVMiniSearchField::setFillColor(const QColor& c) {
    fill_ = c;
    update();
}

void MVMiniSearchField::keyPressEvent(QKeyEvent* e) {
    std::optional<Command> command;
    if (e->matches(QKeySequence::Paste)) command = Paste;
    else if (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) command = InsertNewline;
    else if (e->key() == Qt::Key_Down) command = MoveDown;
    else if (e->key() == Qt::Key_Up) command = MoveUp;
    else if (e->key() == Qt::Key_Escape) command = CancelOperation;
    if (command && commandHandler && commandHandler(*command)) {
        e->accept();
        return;
    }
    QLineEdit::keyPressEvent(e);
}

void MVMiniSearchField::paintEvent(QPaintEvent* e) {
    {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        const QRectF box = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
        p.setPen(QPen(QColor(173, 173, 173), 1));
        p.setBrush(fillColor());
        p.drawRoundedRect(box, 4, 4);
    }
    QLineEdit::paintEvent(e);
}
