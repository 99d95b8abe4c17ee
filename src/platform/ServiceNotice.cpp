#include "platform/ServiceNotice.h"

#include "platform/ServiceHost.h"
#include "platform/UserDefaults.h"

#include <QDir>
#include <QLoggingCategory>
#include <atomic>

namespace {
Q_LOGGING_CATEGORY(lcService, "mirvok.service", QtInfoMsg)

// Whether the current stretch of failures has been told: the first failure
// of a run, and the first after the service answered again, is.
std::atomic<bool> g_told{false};

bool ofAnotherHost(const QUrl& request, const QString& host) {
    return !request.isEmpty() && request.authority().compare(host, Qt::CaseInsensitive) != 0;
}
}  // namespace

void ServiceNotice::unreachable(const QString& why, const QUrl& request) {
    const QString host = serviceHost();
    if (ofAnotherHost(request, host)) return;
    if (g_told.exchange(true)) {
        qCDebug(lcService).noquote() << QStringLiteral("%1 still cannot be reached: %2").arg(host, why);
        return;
    }
    qCWarning(lcService).noquote()
        << QStringLiteral("the dictionary service %1 cannot be reached (%2); the offline dictionary answers "
                          "word lookups. To use a service, set MVServiceHost=host[:port] in %3")
               .arg(host, why, QDir::toNativeSeparators(UserDefaults::standard().fileName()));
}

void ServiceNotice::reached(const QUrl& request) {
    if (ofAnotherHost(request, serviceHost())) return;
    if (g_told.exchange(false)) qCDebug(lcService).noquote() << serviceHost() << "answers again";
}
