#pragma once

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <functional>

#include "platform/UrlEscaping.h"

class QNetworkAccessManager;
class QNetworkReply;

// One HTTP request to the dictionary service at a time, answered through a
// callback. Starting a new request (or cancel(), or destroying the object)
// drops the one in flight without a callback from it.
//
// What the callback receives (`answer`):
//   - a QByteArray: the response body, for any HTTP status (an error page is
//     still a body); an empty body is an empty QByteArray, not null
//   - a null QVariant: the transport failed (no connection, refused, reset,
//     time-out) or the address could not be used
//   - an offline result object (MainQueryResultPtr, FSearchResultPtr, ...)
//     from requestData() when the offline dictionary answers
// Callbacks always arrive on the thread that owns the object (the main thread).
class RequestData : public QObject {
    Q_OBJECT
public:
    using Callback = std::function<void(const QVariant& answer)>;

    // Answers an offline lookup synchronously: (word, index file name,
    // request type 1 full entry / 2 quick result / 3 capture popup, dictionary
    // type). Returns the result object, or a null QVariant for "no answer".
    using OfflineLookup = std::function<QVariant(const QString& word, const QString& localDict,
                                                 int requestType, int dictType)>;

    explicit RequestData(QObject* parent = nullptr);
    ~RequestData() override;

    // Starts a request for `url` (used unchanged, query included). With
    // non-empty `names` the request is a form POST whose body pairs each name
    // with escapeURL(value); otherwise a GET. A null `target` together with an
    // empty `callback` keeps the previous target and callback; otherwise the
    // new pair replaces them. A destroyed target is never called.
    void requestDataWithURL(const QString& url, const QStringList& names,
                            const QStringList& values, QObject* target, Callback callback);

    // The offline lookup: asks the installed OfflineLookup and, when it has an
    // answer, calls back at once, inside this call. Target rules as above,
    // except that a request in flight keeps running and keeps its target.
    void requestData(const QString& word, const QString& localDict, int requestType,
                     int dictType, QObject* target, Callback callback);

    void cancel();
    bool isLoading() const { return reply_ != nullptr; }

    // The body of the last finished response (also handed to the callback).
    const QByteArray& data() const { return data_; }

    // Time-out of a request with no progress; 60 s unless a test shortens it.
    void setTimeoutMs(int ms) { timeoutMs_ = ms; }
    int timeoutMs() const { return timeoutMs_; }

    static QString escapeURL(const QString& text);

    // The offline dictionary installs its reader here at start-up.
    static void setOfflineLookup(OfflineLookup lookup);

    // The form body of a POST, as requestDataWithURL builds it.
    static QByteArray formBody(const QStringList& names, const QStringList& values);

private:
    void setTarget(QObject* target, Callback callback);
    void deliver(const QVariant& answer);
    void onFinished(QNetworkReply* reply);

    static QNetworkAccessManager* network();

    QByteArray data_;
    QNetworkReply* reply_ = nullptr;
    QPointer<QObject> target_;
    bool hasTarget_ = false;
    Callback callback_;
    int timeoutMs_ = 60000;
};

// The common query parameters of every service address.
QString md5HexString(const QString& text);      // 32 upper-case hex digits of MD5(UTF-8)
QString machineId();                             // md5HexString of the machine's serial
QString vendorAndVersionParam();                 // "<channel>&appVer=<version>", legacy-escaped
int osMinorVersion();                            // minor number of the running OS version
// The rule behind osMinorVersion(): "<word> <a.b.c> ..." gives b; 0 when absent.
int osMinorVersionFrom(const QString& versionText);
// legacyEscape comes from platform/UrlEscaping.h.
