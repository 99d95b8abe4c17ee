#pragma once

#include <QString>

// Launch at login, as a desktop autostart entry
// ($XDG_CONFIG_HOME/autostart/mirvok.desktop) that runs the given program.
class StartAppControl {
public:
    // True when the autostart entry exists, is not disabled, and runs appPath.
    static bool willStartAtLogin(const QString& appPath);
    // enabled and not yet set up: writes the entry; disabled and set up:
    // removes it; otherwise nothing. Returns false only when the file could
    // not be written or removed.
    static bool setStartAtLogin(const QString& appPath, bool enabled);

    // At start: an enabled entry whose program no longer exists is rewritten
    // to run appPath. True when it was rewritten.
    static bool repairAtStart(const QString& appPath);

    static QString autostartFile();
    // The Exec= value that runs appPath, quoted as desktop entries require.
    static QString execLine(const QString& appPath);
    // The program an Exec= value runs (first argument, quotes undone).
    static QString programOfExecLine(const QString& exec);

private:
    static bool writeEntry(const QString& appPath);
};
