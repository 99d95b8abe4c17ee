#include "window/NoticeAlerts.h"

#include "platform/UserNotices.h"
#include "window/MVAlertWndController.h"

#include <QDialog>
#include <QLabel>
#include <QList>

namespace noticealerts {
namespace {
QList<MVAlertWndController*>& open()
{
    static QList<MVAlertWndController*> alerts;
    return alerts;
}

void present(const QString& text)
{
    for (MVAlertWndController* a : std::as_const(open()))
        if (a->alertMessageLabel()->text() == text)
            return;
    auto* alert = new MVAlertWndController(text, QStringLiteral("提示"), true, {}, false, {});
    alert->setRightButtonAction([alert] {
        open().removeOne(alert);
        alert->hideWindow();
        alert->deleteLater();
    });
    // The title bar's close button dismisses it as 确定 does.
    QObject::connect(alert->window(), &QDialog::finished, alert, [alert] { alert->rightButtonAction(); });
    open().append(alert);
    alert->showWindow();
}
}  // namespace

void install()
{
    usernotices::setPresenter(&present);
}

QStringList shown()
{
    QStringList texts;
    for (MVAlertWndController* a : std::as_const(open()))
        texts.append(a->alertMessageLabel()->text());
    return texts;
}

}  // namespace noticealerts
