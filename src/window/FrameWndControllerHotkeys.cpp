#include "window/FrameWndController.h"

#include "platform/hotkeys/HotkeyCenter.h"
#include "platform/hotkeys/KeyCodeTable.h"
#include "platform/UserDefaults.h"
#include "query/AppConstants.h"
#include "window/ShellPages.h"
#include "window/ShellServices.h"
#include "window/WindowLog.h"

#include <QShortcut>

// Hotkeys: their stored defaults, registration, and what each does. Only
// the combinations the preferences define are global; zoom is a key of the
// main window alone (see awakeChrome), never taken from other programs.

namespace {
constexpr quint64 kCommand = KeyCodeTable::kCommandFlag;
constexpr quint64 kOption = KeyCodeTable::kOptionFlag;

// A stored hotkey is usable when its code is neither 0 nor -1 and its flags are set.
bool usable(qint64 code, qint64 flags) { return code != 0 && code != -1 && flags != 0; }
}  // namespace

void FrameWndController::initializeDefaults() {
    auto& d = UserDefaults::standard();
    if (!d.boolValue(NotFirstUse)) {
        d.setValue(HideWindowCode, 7);
        d.setValue(HideWindowFlags, 0x180000);
        d.setValue(ScreenTransCode, 100);
        d.setValue(ScreenTransFlags, 0);
        d.setValue(WordStrokeCode, 98);
        d.setValue(WordStrokeFlags, 0);
        d.setValue(NotFirstUse, true);
    }
    d.setValue(MVWebViewZoomOutKey, 27);
    d.setValue(MVWebViewZoomOutFlagsKey, 0x100000);
    d.setValue(MVWebViewZoomInKey, 24);
    d.setValue(MVWebViewZoomInFlagsKey, 0x100000);
    d.setValue(MVMiniSearchCodeKey, 6);
    d.setValue(MVMiniSearchCodeFlagsKey, 0x80000);
}
void FrameWndController::registerHotKey() {
    auto& d = UserDefaults::standard();
    auto& hk = HotkeyCenter::shared();
    struct Entry {
        QLatin1String code, flags;
        bool fixed;
        quint64 fixedFlags;
        std::function<void()> action;
    };
    const Entry entries[] = {
        {HideWindowCode, HideWindowFlags, false, 0, [this] { hotkeyAction(); }},
        {ScreenTransCode, ScreenTransFlags, false, 0, [this] { triggerScreenTrans(); }},
        {WordStrokeCode, WordStrokeFlags, false, 0, [this] { triggerWordStroke(); }},
        {MVMiniSearchCodeKey, MVMiniSearchCodeFlagsKey, true, kOption, [this] { changeMiniSearchWindow(); }},
    };
    for (const Entry& e : entries) {
        const qint64 code = d.integerValue(e.code), flags = d.integerValue(e.flags);
        if (!usable(code, flags)) continue;
        const bool ok = hk.registerHotKey(int(code), e.fixed ? e.fixedFlags : quint64(flags), e.action);
        // Only a direct grab answers for its key (another program holds it);
        // a desktop that binds them, or no way at all, is told once by the centre.
        if (!ok && hk.standing() == HotkeyCenter::Standing::Direct)
            qWarning("hotkey %s could not be registered", e.code.data());
        else if (!ok)
            qCDebug(lcWindow, "hotkey %s could not be registered", e.code.data());
    }
}

void FrameWndController::addZoomShortcuts() {
    auto& d = UserDefaults::standard();
    const struct {
        QLatin1String code, flags;
        void (FrameWndController::*zoom)();
    } keys[] = {{MVWebViewZoomOutKey, MVWebViewZoomOutFlagsKey, &FrameWndController::zoomOutWebView},
                {MVWebViewZoomInKey, MVWebViewZoomInFlagsKey, &FrameWndController::zoomInWebView}};
    for (const auto& k : keys) {
        const qint64 code = d.integerValue(k.code), flags = d.integerValue(k.flags);
        const int qtKey = KeyCodeTable::qtKeyForCode(int(code));
        if (!usable(code, flags) || !qtKey) continue;
        // Command is Ctrl here, whatever else the stored flags hold.
        auto* shortcut = new QShortcut(QKeySequence(QKeyCombination(Qt::ControlModifier, Qt::Key(qtKey))), window_);
        connect(shortcut, &QShortcut::activated, this, k.zoom);
    }
}
void FrameWndController::hotkeyAction() {
    if (window_->isHidden()) {
        window_->show();
        window_->raise();
        window_->activateWindow();
        searchFieldBecomeFirstResponder();
    } else if (window_->windowState() & Qt::WindowMinimized) {
        window_->showNormal();
    } else {
        window_->raise();
        window_->activateWindow();
        searchFieldBecomeFirstResponder();
    }
}

void FrameWndController::updateToggle(MVToolBarItemView* item, const QString& key) {
    auto& d = UserDefaults::standard();
    const bool on = !d.boolValue(key);
    d.setValue(key, on);
    if (!item) return;
    item->setIsSeleted(on);
    item->changeImageViewWithName(on ? item->imagePressedName() : item->imageNomalName(), 0.3);
}

void FrameWndController::triggerScreenTrans() { updateToggle(getWordView_, ScreenTrans); }
void FrameWndController::triggerWordStroke() { updateToggle(strokeWordView_, WordStroke); }

void FrameWndController::zoomOutWebView() {
    if (m_viewTag_ == 0 && pages_.lookup) pages_.lookup->zoomWebViewWithFactor(0.9f);
}
void FrameWndController::zoomInWebView() {
    if (m_viewTag_ == 0 && pages_.lookup) pages_.lookup->zoomWebViewWithFactor(1.1f);
}

void FrameWndController::changeMiniSearchWindow() {
    auto& capture = ShellServices::capture();
    if (capture.isShowingMiniWindow()) {
        capture.hideMiniWindow();
    } else {
        capture.showMiniWindow();
        ShellServices::logEvent(QStringLiteral("action"), QStringLiteral("shortcut_mini"));
    }
}
