#include "window/views/HyperlinkTextField.h"

#include "window/ShellServices.h"

#include <QDesktopServices>
#include <QMouseEvent>

namespace {
HyperlinkTextField::Opener& opener() {
    static HyperlinkTextField::Opener o = [](const QUrl& u) { QDesktopServices::openUrl(u); };
    return o;
}
}  // namespace

HyperlinkTextField::HyperlinkTextField(QWidget* parent) : QLabel(parent) {
    setTextInteractionFlags(Qt::NoTextInteraction);
}

void HyperlinkTextField::setOpener(Opener o) { opener() = std::move(o); }

void HyperlinkTextField::setLinkText(const QString& text, const QUrl& url, const QColor& color) {
    setText(text);
    if (url.isValid() && !url.isEmpty()) link_ = url;
    QPalette pal = palette();
    pal.setColor(QPalette::WindowText, color);
    setPalette(pal);
    refreshCursor();
}

void HyperlinkTextField::refreshCursor() {
    if (hasLink())
        setCursor(Qt::PointingHandCursor);
    else
        unsetCursor();
}

QString HyperlinkTextField::logValueForText(const QString& text) {
    if (text == QStringLiteral("给米沃词典评分")) return QStringLiteral("score");
    if (text == QStringLiteral("满意度调查")) return QStringLiteral("satisfaction");
    if (text == QStringLiteral("意见反馈")) return QStringLiteral("feedback");
    if (text == QStringLiteral("注册凯摩邮箱")) return QStringLiteral("logon");
    return QString();
}

void HyperlinkTextField::mousePressEvent(QMouseEvent* e) {
    if (!hasLink() || e->button() != Qt::LeftButton) {
        QLabel::mousePressEvent(e);
        return;
    }
    // Only a click on the text itself follows the link.
    const QRect textRect = fontMetrics().boundingRect(contentsRect(), alignment(), text());
    if (!textRect.contains(e->position().toPoint())) return;
    opener()(link_);
    emit linkActivatedWithUrl(link_);
    const QString value = logValueForText(text());
    if (!value.isEmpty()) ShellServices::logEvent(QStringLiteral("action"), value);
}
