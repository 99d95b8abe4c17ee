#pragma once

#include <QObject>
#include <QString>
#include <atomic>
#include <functional>
#include <memory>

// Whether the dictionary service can be reached. Each change is signalled
// and also posted to the default notification centre as
// "kNetworkReachabilityChangedNotification" (object: this reachability), on
// the main thread. Lookups ask shared(); tests install a FakeReachability
// (tests/support) with setShared().
class Reachability : public QObject {
    Q_OBJECT
public:
    static inline const QString kChangedNotification =
        QStringLiteral("kNetworkReachabilityChangedNotification");

    ~Reachability() override;

    // Safe from any thread; changes happen on the main thread.
    bool isReachable() const { return reachable_.load(); }

    // The process-wide instance: created on first use (a
    // NetworkReachability for the given host) unless one was installed.
    static Reachability* shared();
    // Takes ownership; nullptr drops the current one.
    static void setShared(std::unique_ptr<Reachability> reachability);

Q_SIGNALS:
    void reachabilityChanged(bool reachable);

protected:
    explicit Reachability(bool initial, QObject* parent = nullptr);
    // Signals and posts only on a change.
    void setReachable(bool reachable);

private:
    std::atomic<bool> reachable_;
};

// The real probe: the system's network state where a QNetworkInformation
// backend loads, confirmed by resolving the service host. It starts from the
// system's current state (online, or unknown, counts as reachable) rather
// than "unreachable", so the first lookups are not sent offline for nothing;
// a DNS probe runs at once and again on every change of the network and every
// `interval` while the host does not resolve.
class NetworkReachability : public Reachability {
    Q_OBJECT
public:
    // hostFunction gives the host (optionally host:port) to probe each time,
    // so a changed service host setting is followed.
    explicit NetworkReachability(std::function<QString()> hostFunction, int retryIntervalMs = 30000,
                                 QObject* parent = nullptr);
    ~NetworkReachability() override;

    void probe();

private:
    void onProbeResult(bool resolved);

    std::function<QString()> hostFunction_;
    int retryIntervalMs_;
    int lookupId_ = -1;
    bool systemOnline_ = true;
    class QTimer* retry_ = nullptr;
};
