#include "platform/Reachability.h"

#include "platform/MainThread.h"
#include "platform/NotificationCenter.h"
#include "platform/ServiceNotice.h"
#include "platform/UserDefaults.h"

#include <QCoreApplication>
#include <QHostAddress>
#include <QHostInfo>
#include <QMutex>
#include <QNetworkInformation>
#include <QPointer>
#include <QTimer>

namespace {
QMutex g_sharedMutex;
std::unique_ptr<Reachability> g_shared;

QString defaultServiceHost() {
    // The same setting ServiceHost reads; platform cannot include the lookup
    // engine, so the key and default are repeated here.
    const QString v = UserDefaults::standard().stringValue(QStringLiteral("MVServiceHost")).trimmed();
    return v.isEmpty() ? QStringLiteral("dict.mirvok.example") : v;
}

// "host", "host:port", "[v6]:port" → host part.
QString hostPart(QString hp) {
    if (hp.startsWith(QLatin1String("http://"), Qt::CaseInsensitive)) hp.remove(0, 7);
    hp = hp.section(u'/', 0, 0);
    if (hp.startsWith(u'[')) return hp.mid(1, hp.indexOf(u']') - 1);
    if (hp.count(u':') == 1) return hp.section(u':', 0, 0);
    return hp;
}

bool systemSaysOnline() {
    QNetworkInformation* info = QNetworkInformation::instance();
    if (!info) return true;
    const auto r = info->reachability();
    return r != QNetworkInformation::Reachability::Disconnected;
}
}  // namespace

Reachability::Reachability(bool initial, QObject* parent) : QObject(parent), reachable_(initial) {}

Reachability::~Reachability() = default;

void Reachability::setReachable(bool reachable) {
    if (reachable_.exchange(reachable) == reachable) return;
    Q_EMIT reachabilityChanged(reachable);
    NotificationCenter::defaultCenter().post(kChangedNotification, this);
}

Reachability* Reachability::shared() {
    QMutexLocker lock(&g_sharedMutex);
    if (!g_shared) {
        g_shared = std::make_unique<NetworkReachability>(defaultServiceHost);
        // Its timers and lookups belong to the main loop, whoever asked first.
        if (QCoreApplication* app = QCoreApplication::instance(); app && !isMainThread())
            g_shared->moveToThread(app->thread());
    }
    return g_shared.get();
}

void Reachability::setShared(std::unique_ptr<Reachability> reachability) {
    std::unique_ptr<Reachability> old;
    QMutexLocker lock(&g_sharedMutex);
    old = std::move(g_shared);
    g_shared = std::move(reachability);
}

NetworkReachability::NetworkReachability(std::function<QString()> hostFunction, int retryIntervalMs,
                                         QObject* parent)
    : Reachability([] {
          // A backend is optional: without one only the DNS probe decides.
          if (!QNetworkInformation::instance())
              QNetworkInformation::loadBackendByFeatures(QNetworkInformation::Feature::Reachability);
          return systemSaysOnline();
      }(), parent),
      hostFunction_(std::move(hostFunction)),
      retryIntervalMs_(retryIntervalMs) {
    systemOnline_ = isReachable();
    if (QNetworkInformation* info = QNetworkInformation::instance()) {
        connect(info, &QNetworkInformation::reachabilityChanged, this, [this] {
            systemOnline_ = systemSaysOnline();
            if (!systemOnline_) setReachable(false);
            probe();
        });
    }
    retry_ = new QTimer(this);
    retry_->setSingleShot(true);
    connect(retry_, &QTimer::timeout, this, &NetworkReachability::probe);
    QTimer::singleShot(0, this, &NetworkReachability::probe);
}

NetworkReachability::~NetworkReachability() {
    // Destroyed with the other statics, after the application object: the
    // lookup went with it, and asking now would only start the lookup
    // machinery again, without an application to tie it to.
    if (lookupId_ >= 0 && QCoreApplication::instance()) QHostInfo::abortHostLookup(lookupId_);
}

void NetworkReachability::probe() {
    if (!systemOnline_) {
        ServiceNotice::unreachable(QStringLiteral("the system is offline"));
        setReachable(false);
        return;
    }
    const QString host = hostPart(hostFunction_ ? hostFunction_() : QString());
    if (host.isEmpty()) {
        onProbeResult(false);
        return;
    }
    if (QHostAddress(host).protocol() != QAbstractSocket::UnknownNetworkLayerProtocol) {
        onProbeResult(true);  // an address needs no resolving
        return;
    }
    if (lookupId_ >= 0) QHostInfo::abortHostLookup(lookupId_);
    QPointer<NetworkReachability> self(this);
    lookupId_ = QHostInfo::lookupHost(host, this, [self](const QHostInfo& info) {
        if (!self) return;
        self->lookupId_ = -1;
        const bool resolved = info.error() == QHostInfo::NoError && !info.addresses().isEmpty();
        if (!resolved) ServiceNotice::unreachable(info.errorString());
        self->onProbeResult(resolved);
    });
}

void NetworkReachability::onProbeResult(bool resolved) {
    setReachable(resolved && systemOnline_);
    if (!resolved && retryIntervalMs_ > 0) retry_->start(retryIntervalMs_);
}
