#pragma once

#include <QString>

// Addresses of the account service. The plain paths live on MVServiceHost;
// the https login on MVServiceTLSHost (host[:port], default: MVServiceHost's
// value). Both are read on every call.
class MVAuthServerURL {
public:
    static QString tlsHost();
    static QString authServerLogin(bool https);
    static QString authServerPoll();
    static QString authServerRP();
    static QString authServerCq();
    // The auto-login address (form POST).
    static QString authServerAutoLoginCq();
    // The web login page for tp ("cqq", "tsina") and the rp reply's pci.
    static QString loginURLWithTp(const QString& tp, const QString& pci);
    static QString rpURL(const QString& tp, const QString& al);
    // The profile request for the avatar of `userid`.
    static QString profileURL(const QString& userid);
};

// Percent-encodes `text` as a query value (UTF-8; everything but unreserved
// characters), so "&", "=", "+" cannot split the query.
QString queryValue(const QString& text);
