#include "capture/x11/KeystrokeSafety.h"

#include <QStringList>

KeystrokeSafety::Verdict KeystrokeSafety::judge(const Facts& f) {
    if (f.overOwnWindow || f.ownProcess) return Verdict::OwnWindow;
    // Ctrl+Shift+C opens a browser's inspector, Ctrl+Alt+C whatever the
    // desktop bound to it.
    if (f.modifierHeld) return Verdict::ModifierHeld;
    if (!f.focusUnderPointer) return Verdict::FocusElsewhere;
    if (isTerminalClass(f.wmInstance, f.wmClass)) return Verdict::TerminalClass;
    if (f.terminalRole) return Verdict::TerminalRole;
    if (!f.focusedText) return Verdict::NoTextEvidence;
    if (!f.keyForC) return Verdict::NoKey;
    return Verdict::Send;
}

const char* KeystrokeSafety::describe(Verdict v) {
    switch (v) {
    case Verdict::Send: return "send";
    case Verdict::OwnWindow: return "our own window";
    case Verdict::ModifierHeld: return "a modifier is held";
    case Verdict::FocusElsewhere: return "the focus is not the window under the pointer";
    case Verdict::TerminalClass: return "a terminal's window class";
    case Verdict::TerminalRole: return "a terminal's accessible role";
    case Verdict::NoTextEvidence: return "no focused text element under the pointer";
    case Verdict::NoKey: return "no key types \"c\"";
    }
    return "?";
}

bool KeystrokeSafety::isTerminalClass(const QString& instance, const QString& className) {
    static const QStringList kTerminals = {
        QStringLiteral("xterm"), QStringLiteral("uxterm"), QStringLiteral("urxvt"), QStringLiteral("rxvt"),
        QStringLiteral("gnome-terminal"), QStringLiteral("gnome-terminal-server"), QStringLiteral("konsole"),
        QStringLiteral("xfce4-terminal"), QStringLiteral("mate-terminal"), QStringLiteral("lxterminal"),
        QStringLiteral("qterminal"), QStringLiteral("terminator"), QStringLiteral("tilix"),
        QStringLiteral("kitty"), QStringLiteral("alacritty"), QStringLiteral("st"), QStringLiteral("st-256color"),
        QStringLiteral("terminology"), QStringLiteral("foot"), QStringLiteral("wezterm"),
        QStringLiteral("org.wezfurlong.wezterm"), QStringLiteral("sakura"), QStringLiteral("guake"),
        QStringLiteral("yakuake"), QStringLiteral("eterm"), QStringLiteral("tilda"), QStringLiteral("cool-retro-term"),
        QStringLiteral("deepin-terminal"), QStringLiteral("x-terminal-emulator"), QStringLiteral("kgx"),
        QStringLiteral("org.gnome.console"), QStringLiteral("ptyxis"), QStringLiteral("blackbox"),
    };
    for (const QString& name : {instance, className}) {
        const QString n = name.toLower();
        if (n.isEmpty()) continue;
        if (kTerminals.contains(n) || n.endsWith(QLatin1String("-terminal")) || n.endsWith(QLatin1String("term")))
            return true;
    }
    return false;
}
