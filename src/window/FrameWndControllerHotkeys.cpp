#include "window/FrameWndController.h"

#include "platform/hotkeys/HotkeyCenter.h"
#include "platform/hotkeys/KeyCodeTable.h"
#include "platform/UserDefaults.h"
#include "query/AppConstants.h"
#include "window/ShellPages.h"
#include "window/ShellServices.h"
#include "window/WindowLog.h"

// Global hotkeys: their stored defaults, registration, and what each does.

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
        {MVWebViewZoomOutKey, MVWebViewZoomOutFlagsKey, true, kCommand, [this] { zoomOutWebView(); }},
        {MVWebViewZoomInKey, MVWebViewZoomInFlagsKey, true, kCommand, [this] { zoomInWebView(); }},
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
        if (e.code == MVWebViewZoomOutKey && ok) zoomRegistered_ = true;
    }
}

void FrameWndController::registerZoom(bool active) {
    auto& d = UserDefaults::standard();
    auto& hk = HotkeyCenter::shared();
    const std::pair<QLatin1String, QLatin1String> keys[] = {
        {MVWebViewZoomOutKey, MVWebViewZoomOutFlagsKey}, {MVWebViewZoomInKey, MVWebViewZoomInFlagsKey}};
    for (int i = 0; i < 2; ++i) {
        const qint64 code = d.integerValue(keys[i].first), flags = d.integerValue(keys[i].second);
        if (!usable(code, flags)) continue;
        if (active) {
            if (!hk.isRegistered(int(code), kCommand))
                hk.registerHotKey(int(code), kCommand, i == 0 ? std::function<void()>([this] { zoomOutWebView(); })
                                                               : std::function<void()>([this] { zoomInWebView(); }));
        } else {
            hk.unregisterHotKey(int(code), kCommand);
        }
    }
}

void FrameWndController::activeZoomShortCuts() { registerZoom(true); }
void FrameWndController::resignZoomShortCuts() { registerZoom(false); }
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
