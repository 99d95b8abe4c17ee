#pragma once

#include "support/FakeHttpService.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QUrl>
#include <deque>
#include <mutex>

// The word-book synchronisation service on 127.0.0.1: answers POSTs to
// /wordbook/api from a script of answers given in order (the last one is
// repeated once the script runs out) and records every request.
class FakeWordBookService {
public:
    FakeWordBookService();

    FakeHttpService& http() { return http_; }
    // The service address with the query a client is configured with.
    QUrl url() const;

    void queueAnswer(const QByteArray& xml, int status = 200, int delayMs = 0);
    std::vector<RecordedRequest> requests() const { return http_.requestsTo(QStringLiteral("/wordbook/api")); }
    // The request document carried in the form field "data".
    static QString documentOf(const RecordedRequest& request);

    // An answer document. actions: the <action> elements as XML text.
    static QByteArray answer(int errcode, const QString& ts = QStringLiteral("100"),
                             const QString& remTs = QStringLiteral("200"), const QString& actions = QString(),
                             bool withOperation = true);
    // One <action> element; empty fields are left out.
    static QString action(const QString& type, const QString& word, const QString& trans = QString(),
                          const QString& phonetic = QString(), qint64 addtime = -1,
                          const QString& progress = QString(), const QString& tags = QString());

private:
    FakeHttpService http_;
    mutable std::mutex mutex_;
    std::deque<ScriptedResponse> script_;
    ScriptedResponse last_;
};
