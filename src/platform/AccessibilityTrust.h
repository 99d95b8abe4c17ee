#pragma once

class QWidget;

// Desktop capture reads text of other applications through the
// accessibility bus (AT-SPI). Applications only expose it while the session
// has accessibility switched on (org.a11y.Status IsEnabled on the session
// bus), which stands in for "this process is trusted".

// Whether accessibility is on. With prompt set and accessibility off, shows
// (once at a time, without waiting for it) our dialog offering to switch it
// on; the answer is still false for this call.
bool isAccessibilityTrusted(bool prompt = true);

namespace accessibility {
// Reads IsEnabled; false when the bus cannot be asked (no session bus, no
// accessibility bus launcher).
bool isEnabled();
// Sets IsEnabled; returns whether the bus accepted it.
bool setEnabled(bool enabled);
// The dialog isAccessibilityTrusted shows; exposed for the window code and
// tests. Returns the dialog (owned by itself, deleted when closed), or
// nullptr outside a widget application.
QWidget* showEnablePrompt(QWidget* parent = nullptr);
}  // namespace accessibility
