#include "window/LoadingIndicator.h"

#include <QPointer>
#include <QWidget>

namespace {
QPointer<QWidget> g_spinner;
QPointer<QWidget> g_webView;
bool g_targetsSet = false;
}  // namespace

void setLoadingIndicatorTargets(QWidget* spinner, QWidget* webView) {
    if (g_targetsSet) return;  // set once by the page's one-time set-up
    g_targetsSet = true;
    g_spinner = spinner;
    g_webView = webView;
}

void showLoadingIndicator() {
    if (!g_spinner) return;
    g_spinner->show();
    g_spinner->raise();
}

void hideLoadingIndicator() {
    if (!g_spinner) return;
    g_spinner->hide();
    if (g_webView) g_webView->setEnabled(true);
}
