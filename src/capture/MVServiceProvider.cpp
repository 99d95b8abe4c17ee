#include "capture/MVServiceProvider.h"

#include "capture/CaptureText.h"

#include "platform/AccessibilityTrust.h"
#include "platform/UserDefaults.h"
#include "query/AppConstants.h"
#include "query/DictUtils.h"
#include "window/FrameWndController.h"

#include <QCoreApplication>
#include <QProcess>
#include <QStandardPaths>

MVServiceProvider::MVServiceProvider(QObject* parent) : QObject(parent) {}

void MVServiceProvider::query(const QString& text, const QString& userData) {
    if (userData == QLatin1String("q")) doQuery(text);
}

void MVServiceProvider::doQuery(const QString& whole) {
    // Any program may hand over any amount of text; what is kept in the
    // preferences for good is one lookup's worth.
    const QString text = capturetext::capToSelectionLimit(whole);
    if (text.isEmpty()) return;
    UserDefaults& d = UserDefaults::standard();
    d.setValue(query_word, text);
    d.sync();
    auto* frame = qobject_cast<FrameWndController*>(DictUtils::appDelegate());
    if (!frame) return;
    frame->showWindow();
    frame->jumpToTab(0, text);
}

void MVServiceProvider::relaunchAfterDelay(double seconds) {
    const QString program = QCoreApplication::applicationFilePath();
    // The delay and the path travel as arguments, never inside the script.
    QProcess::startDetached(QStringLiteral("/bin/sh"),
                            {QStringLiteral("-c"), QStringLiteral("sleep \"$1\"; exec \"$0\""), program,
                             QString::number(qMax(0.0, seconds))});
    if (auto* frame = qobject_cast<FrameWndController*>(DictUtils::appDelegate()))
        frame->requestQuit();
    else
        QCoreApplication::exit(0);
}

void UniversalAccessHelper::OpenUniversalAccessDlg() {
    const std::pair<const char*, QStringList> candidates[] = {
        {"gnome-control-center", {QStringLiteral("universal-access")}},
        {"systemsettings", {QStringLiteral("kcm_access")}},
        {"xfce4-accessibility-settings", {}},
    };
    for (const auto& [name, args] : candidates) {
        const QString path = QStandardPaths::findExecutable(QString::fromLatin1(name));
        if (!path.isEmpty() && QProcess::startDetached(path, args)) return;
    }
    accessibility::showEnablePrompt();
}
