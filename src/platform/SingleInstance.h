#pragma once

#include <QObject>
#include <QString>

// One running copy per session. The first copy owns the session-bus name
// com.mirvok.Dict and answers Show(); a later copy calls Show() on it and
// exits, so reopening the application brings the hidden main window back.
// Query(text, userData) is the entry a desktop shortcut or another program
// calls to send text to the lookup.
class SingleInstance : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "com.mirvok.Dict")
public:
    static constexpr const char* kServiceName = "com.mirvok.Dict";
    static constexpr const char* kObjectPath = "/";

    explicit SingleInstance(QObject* parent = nullptr);
    ~SingleInstance() override;

    // true: this process now owns the name. false: another copy does (or
    // there is no session bus, in which case the caller simply runs alone).
    bool claim();
    bool isPrimary() const { return primary_; }
    // Asks the running copy to show its window; false when none answered.
    static bool showRunningInstance(int timeoutMs = 3000);

public Q_SLOTS:
    Q_SCRIPTABLE void Show();
    // The desktop's "look this up" command: userData "q" looks `text` up in
    // the main window (what the receiver does is the capture code's).
    Q_SCRIPTABLE void Query(const QString& text, const QString& userData);
    // Opens or closes the mini window: what a desktop shortcut runs where
    // no shortcut portal exists.
    Q_SCRIPTABLE void MiniWindow();

Q_SIGNALS:
    void showRequested();
    void queryRequested(const QString& text, const QString& userData);
    void miniWindowRequested();

private:
    bool primary_ = false;
};
