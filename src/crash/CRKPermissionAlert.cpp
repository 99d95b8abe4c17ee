#include <QMessageBox>
#include <QPushButton>
#include <functional>

// The permission alert: buttons send, always send (when given), cancel; the
// answer is 1000 + the index of the one clicked (closing it counts as
// cancel). Opened window-modal without a nested event loop; main thread only.
void CRKPermissionAlertOpen(const QString& title, const QString& message, const QString& cancel, const QString& send,
                            const QString& alwaysSend, std::function<void(int)> done)
{
    auto* box = new QMessageBox;
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setIcon(QMessageBox::Warning);
    box->setWindowTitle(title);
    box->setText(title);
    box->setInformativeText(message);
    QList<QAbstractButton*> buttons;
    buttons << box->addButton(send, QMessageBox::AcceptRole);
    if (!alwaysSend.isNull())
        buttons << box->addButton(alwaysSend, QMessageBox::YesRole);
    buttons << box->addButton(cancel, QMessageBox::RejectRole);
    box->setDefaultButton(static_cast<QPushButton*>(buttons.first()));
    box->setEscapeButton(buttons.last());
    QObject::connect(box, &QMessageBox::finished, box, [box, buttons, done = std::move(done)](int) {
        const int index = int(buttons.indexOf(box->clickedButton()));
        done(1000 + (index < 0 ? int(buttons.size()) - 1 : index));
    });
    box->open();
}
