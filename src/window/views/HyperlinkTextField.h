#pragma once

#include <QLabel>
#include <QUrl>

// A text whose whole content is one link: a click opens the address in the
// browser and sends a usage event named after the text.
class HyperlinkTextField : public QLabel {
    Q_OBJECT
public:
    explicit HyperlinkTextField(QWidget* parent = nullptr);

    QUrl linkName() const { return link_; }
    // Shows `text`; a valid `url` becomes the link, an empty one keeps the old link.
    void setLinkText(const QString& text, const QUrl& url, const QColor& color = QColor(0, 0, 0, 178));
    bool hasLink() const { return link_.isValid() && !text().isEmpty(); }

    // The usage-event value for a link text; empty for texts without one.
    static QString logValueForText(const QString& text);

    // Where clicks go; tests replace it. Default: the desktop's browser.
    using Opener = std::function<void(const QUrl&)>;
    static void setOpener(Opener opener);

signals:
    void linkActivatedWithUrl(const QUrl& url);

protected:
    void mousePressEvent(QMouseEvent* e) override;

private:
    void refreshCursor();
    QUrl link_;
};
