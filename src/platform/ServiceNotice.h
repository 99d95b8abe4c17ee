#pragma once

#include <QString>
#include <QUrl>

// The one line a terminal shows when the dictionary service cannot be
// reached: that the offline dictionary answers word lookups, and how to name
// a service. It is said once while the service stays out of reach; every
// further failure goes to the "mirvok.service" category at debug level
// (QT_LOGGING_RULES="mirvok.service.debug=true"), so a run without a service
// does not print a line per request. Safe from any thread.
namespace ServiceNotice {

// A request to the service, or the probe of its host, failed in transport
// (`why`: the network's own words, e.g. "Host dict.mirvok.example not found").
// A request names its address: one to another host (the web site, a
// picture) says nothing of the service and is passed over.
void unreachable(const QString& why, const QUrl& request = QUrl());
// The service answered (any HTTP status): a later failure is said again.
void reached(const QUrl& request = QUrl());

}  // namespace ServiceNotice
