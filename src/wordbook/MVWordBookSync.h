#pragma once

#include "wordbook/MVWordBookItem.h"
#include "wordbook/MVWordBookXmlParser.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>

class QNetworkAccessManager;
#include <QNetworkReply>
class QTimer;

// A failure of a synchronisation: domain "sync" (codes below) or "unknown".
struct WordBookError {
    QString domain;
    int code = 0;
};

namespace wbsync {
inline const QString kDomain = QStringLiteral("sync");
constexpr int kLoginError = -1000;
constexpr int kXmlError = -1001;
constexpr int kConnectionError = -1002;
constexpr int kServerError = -1003;  // also an answer code this client does not know
constexpr int kServerFull = -1004;
constexpr int kTimeout = -1005;
constexpr int kStoreError = -1006;   // received actions could not be written
}  // namespace wbsync

// Listener of one exchange; every call arrives on the main thread.
class MVSyncDelegate {
public:
    virtual ~MVSyncDelegate() = default;
    virtual void syncDidStart() {}
    virtual void syncDidError(const WordBookError&) {}
    virtual void syncNeedAgain() {}
    virtual void syncNeedUpdateFirst() {}
    virtual void syncTotalActionCount(quint64) {}
    virtual void syncRecievedAction(const MVSyncActionPtr&) {}
    virtual void syncUpdateTimestamp(const QString&, const QString&) {}
    virtual void syncDidFinish() {}
};

// One request/answer exchange with the word-book service at a time; starting
// another drops the earlier one without any further calls from it.
class MVWordBookSync : public QObject, public MVWordBookXmlParseDelegate {
    Q_OBJECT
public:
    explicit MVWordBookSync(QObject* parent = nullptr);
    ~MVWordBookSync() override;

    void startSyncWithAddList(const QList<MVSyncActionPtr>& addList, const QList<MVSyncActionPtr>& delList,
                              const QString& ts, const QString& remTs, const QUrl& url, MVSyncDelegate* delegate);
    bool isConnecting() const { return reply_ != nullptr; }

    // 60 s unless a test wants less.
    void setTimeoutMs(int ms) { timeoutMs_ = ms; }

    static QString requestDocument(const QList<MVSyncActionPtr>& addList, const QList<MVSyncActionPtr>& delList,
                                   const QString& ts, const QString& remTs);
    static QByteArray formBody(const QString& document);
    // Text placed inside a CDATA section: "]]>" split across two sections and
    // characters XML cannot carry dropped, so the document stays well formed.
    static QString cdata(const QString& text);
    // The service address: <base>/wordbook/api?keyfrom=mac.main&id=…&requestNum=2000,
    // base being scheme and host. Escaped as a whole the legacy way, so ":"
    // and "/" in values stay as they are; only "&" and "=" inside a value,
    // which would split the query, are escaped as well.
    static QString serviceAddress(const QString& base, const QString& macId, const QString& model,
                                  const QString& serialNumber, const QString& systemVersion);
    static QUrl serviceUrl(const QString& host, const QString& macId, const QString& model,
                           const QString& serialNumber, const QString& systemVersion);

    void parseFailed() override;
    void parseDone(MVWordBookXmlParser* parser) override;

private:
    void finished(QNetworkReply* reply);
    void fail(int code);

    QNetworkAccessManager* nam_;
    QPointer<QNetworkReply> reply_;
    QTimer* timer_;
    bool timedOut_ = false;
    int timeoutMs_ = 60000;
    MVSyncDelegate* delegate_ = nullptr;
    QUrl requestUrl_;
};
