#pragma once

#include <QLatin1String>
#include <QString>

// Preference keys naming the two hosts, and their defaults.
inline constexpr QLatin1String MVServiceHost{"MVServiceHost"};
inline constexpr QLatin1String MVWebSiteHost{"MVWebSiteHost"};
inline constexpr QLatin1String MVServiceHostDefault{"dict.mirvok.example"};
inline constexpr QLatin1String MVWebSiteHostDefault{"www.mirvok.example"};

// Where the dictionary service (lookups, translation, account, word book,
// usage log) and the product web site live. Both are user defaults so that
// tests and local set-ups can point the application at another host; a value
// may carry a port ("127.0.0.1:8080"). Read on every call, never cached, so a
// change takes effect for the next request.
QString serviceHost();      // value of MVServiceHost, default dict.mirvok.example
QString serviceBaseUrl();   // "http://" + serviceHost(), no trailing slash
QString webSiteHost();      // value of MVWebSiteHost, default www.mirvok.example
QString webSiteBaseUrl();   // "http://" + webSiteHost(), no trailing slash
