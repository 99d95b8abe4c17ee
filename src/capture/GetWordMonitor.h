#pragma once

#include <QObject>
#include <QString>

#include <memory>

class GetWordServer;

// The browser bridge as the application runs it. The listener (GetWordServer)
// turns each request into the session-bus signal BROWSER_GOT_WORD_MSG
// (interface com.mirvok.Dict, path "/", one string "type|pos|word"); the
// receiver turns that signal, from whichever process sent it, into the
// notification of the same name that the selection controller observes.
class GetWordMonitor : public QObject {
    Q_OBJECT
public:
    explicit GetWordMonitor(QObject* parent = nullptr);
    ~GetWordMonitor() override;

    // Starts the listener on `port` once; false when it cannot run (logged
    // by the listener). The receiver is installed either way: another
    // process may hold the port.
    bool startServer(quint16 port);
    quint16 port() const;
    // The extensions install themselves; nothing to do for either browser.
    static bool installChromePlugin() { return true; }
    static bool installFirefoxPlugin() { return false; }

    // Sends the signal; safe from any thread.
    static void postWord(const QString& object);

private Q_SLOTS:
    void onBrowserWord(const QString& object);

private:
    std::unique_ptr<GetWordServer> server_;
    bool receiving_ = false;
};
