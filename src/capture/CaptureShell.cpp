#include "capture/CaptureShell.h"

#include "capture/CaptureRoad.h"
#include "capture/GetWordMonitor.h"
#include "capture/GetWordServer.h"
#include "capture/MVServiceProvider.h"
#include "capture/MiniSearchWndController.h"
#include "capture/ScrTransController.h"
#include "capture/ScreenTransController.h"
#include "capture/WordStrokeController.h"

#include <QTimer>

CaptureShell::CaptureShell() = default;

QStringList CaptureShell::captureRoads() const {
    QStringList lines;
    for (const CaptureRoad::Part& p : CaptureRoad::current().parts())
        lines << (p.active ? QStringLiteral("✓ %1").arg(p.name)
                           : QStringLiteral("✗ %1：%2").arg(p.name, p.note.isEmpty() ? QStringLiteral("不可用") : p.note));
    return lines;
}

bool CaptureShell::hasHover() const { return CaptureRoad::current().hasHover(); }

CaptureShell::~CaptureShell() {
    delete mini_;
    delete provider_;
    delete getWord_;
    delete screenTrans_;
    delete wordStroke_;
}

void CaptureShell::startScreenTrans() {
    if (screenTrans_) return;
    screenTrans_ = new ScreenTransController();
    screenTrans_->checkMouseMove();
    screenTrans_->startMonitor();
}

void CaptureShell::startWordStroke() {
    if (wordStroke_) return;
    wordStroke_ = new WordStrokeController();
    wordStroke_->startMonitor();
    // The popup's page loads once the start-up is over, so the first word
    // shows as fast as the later ones.
    QTimer::singleShot(2000, wordStroke_, [] { ScrTransController::getInstance(); });
}

QString CaptureShell::pasteText() const { return CaptureRoad::current().clipboardText(); }

bool CaptureShell::startServer() {
    if (getWord_) return true;
    getWord_ = new GetWordMonitor();
    getWord_->startServer(GetWordServer::kDefaultPort);
    // As before: the answer means "started", and start-up goes on either way.
    return true;
}

void CaptureShell::registerServiceProvider() {
    if (!provider_) provider_ = new MVServiceProvider();
    // The status item belongs to the same finished start-up.
    miniSearchWndController();
}

void CaptureShell::serviceQuery(const QString& text, const QString& userData) {
    if (provider_) provider_->query(text, userData);
}

MiniSearchWndController* CaptureShell::miniSearchWndController() {
    if (!mini_) {
        mini_ = new MiniSearchWndController();
        mini_->awakeFromNib();
    }
    return mini_;
}

bool CaptureShell::isShowingMiniWindow() const { return mini_ && mini_->isShowingWindow(); }
void CaptureShell::showMiniWindow() { miniSearchWndController()->showMiniWindow(); }
void CaptureShell::hideMiniWindow() {
    if (mini_) mini_->hideMiniWindow();
}
