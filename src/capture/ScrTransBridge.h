#pragma once

#include <QObject>
#include <QPointer>
#include <QVariant>
#include <functional>

// The popup page's `framewnd`: exactly the two calls its script may make.
// Everything public here is callable by page script, so it holds nothing else.
class ScrTransBridge : public QObject {
    Q_OBJECT
public:
    // What the two calls do in the popup; neither is made once `owner` is gone.
    struct Calls {
        std::function<void(double height)> resizeWnd;
        std::function<void()> doQueryFullWord;
    };
    ScrTransBridge(QObject* owner, Calls calls, QObject* parent = nullptr);

public slots:
    void resizeWnd(const QVariant& height);
    void doQueryFullWord();

protected:
    // The channel also publishes QObject's deleteLater: a page calling it
    // must not take the bridge away.
    bool event(QEvent* e) override;

private:
    QPointer<QObject> owner_;
    Calls calls_;
};
