#pragma once

#include <QObject>
#include <QPointer>
#include <QVariant>

class MiniSearchQueryController;

// The mini result page's `framewnd`: only resizeWnd. Everything public here
// is callable by page script, so it holds nothing else.
class MiniSearchBridge : public QObject {
    Q_OBJECT
public:
    explicit MiniSearchBridge(MiniSearchQueryController* controller, QObject* parent = nullptr);

public slots:
    void resizeWnd(const QVariant& height);

protected:
    // The channel also publishes QObject's deleteLater: a page calling it
    // must not take the bridge away.
    bool event(QEvent* e) override;

private:
    QPointer<MiniSearchQueryController> controller_;
};
