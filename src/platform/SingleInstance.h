#pragma once

#include <QObject>
#include <QString>

// One running copy per session. The first copy owns the session-bus name
// com.mirvok.Dict and answers Show(); a later copy calls Show() on it and
// exits, so reopening the application brings the hidden main window back.
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

Q_SIGNALS:
    void showRequested();

private:
    bool primary_ = false;
};
