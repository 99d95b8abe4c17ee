#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <QUrl>
#include <QVariantMap>

// The request, response and error values that cross the kit host's network
// layer (the URL session, the network client and the kits that use them).

using KTHHeaderList = QList<QPair<QByteArray, QByteArray>>;

// An error as the kits report it: a domain, a code and details. A null error
// (empty domain) means success.
struct KTHError {
    QString domain;
    int code = 0;
    QVariantMap userInfo;
    QString description;

    bool isNull() const { return domain.isEmpty(); }
    explicit operator bool() const { return !domain.isEmpty(); }
};

// A request of the kit host. Headers keep their order; names compare
// case-insensitively. The body is either `body` or the file at `bodyFile`
// (streamed, never read whole).
struct KTHURLRequest {
    QUrl url;
    QByteArray method = "GET";
    KTHHeaderList headers;
    QByteArray body;
    QString bodyFile;
    int timeoutMs = 60000;

    QByteArray header(const QByteArray& name) const;   // null when absent
    bool hasHeader(const QByteArray& name) const;
    void setHeader(const QByteArray& name, const QByteArray& value);  // replaces
    void addValue(const QByteArray& name, const QByteArray& value);   // appends ", value"
};

// What came back. A reply without an HTTP status (a transport failure, or a
// non-HTTP URL) has isHTTP false and status 0.
struct KTHHTTPResponse {
    bool isHTTP = false;
    int statusCode = 0;
    QUrl url;
    KTHHeaderList headers;

    QByteArray header(const QByteArray& name) const;   // null when absent
};
