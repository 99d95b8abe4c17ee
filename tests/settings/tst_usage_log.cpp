#include "platform/UserDefaults.h"
#include "query/AppConstants.h"
#include "query/LogUtils.h"
#include "support/FakeHttpService.h"
#include "support/TestEnv.h"

#include <QElapsedTimer>
#include <QJsonObject>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>
#include <memory>

namespace {
const QByteArray kFixed = "keyfrom=mac.main&client=vorlane&product=vorlane&category=mac&";
}

class UsageLogTest : public QObject {
    Q_OBJECT
    std::unique_ptr<TestEnv> env_;
    std::unique_ptr<FakeHttpService> service_;

    QByteArray sentQuery() {
        if (!service_->waitForRequests(1)) return "<nothing sent>";
        const auto reqs = service_->requestsTo(QStringLiteral("/appapi/log"));
        return reqs.empty() ? QByteArray("<other path>") : reqs.front().rawQuery;
    }

private Q_SLOTS:
    void init() {
        env_ = std::make_unique<TestEnv>();
        service_ = std::make_unique<FakeHttpService>();
        service_->on(QStringLiteral("GET"), QStringLiteral("/appapi/log"), ScriptedResponse{});
        UserDefaults::standard().setValue(MVServiceHost, service_->hostPort());
    }
    void cleanup() {
        service_.reset();
        env_.reset();
    }

    void requestLines_data() {
        QTest::addColumn<QString>("value");
        QTest::addColumn<QVariant>("extras");
        QTest::addColumn<QByteArray>("query");
        QTest::newRow("no extras") << "collect" << QVariant() << kFixed + "action=collect";
        QTest::newRow("one pair") << "lookup_lookup" << QVariant(QVariantMap{{"le", "eng"}})
                                  << kFixed + "action=lookup_lookup&le=eng";
        QTest::newRow("pairs in map order, numbers whole")
            << "adjust" << QVariant(QVariantMap{{"b", 2.0}, {"a", 1}, {"c", true}})
            << kFixed + "action=adjust&a=1&b=2&c=1";
        QTest::newRow("page's undefined adds nothing")
            << "shortcut_mini" << QVariant(QJsonValue(QJsonValue::Undefined)) << kFixed + "action=shortcut_mini";
        QTest::newRow("null extra values are left out")
            << "collect" << QVariant(QVariantMap{{"x", QVariant()}, {"y", "1"}}) << kFixed + "action=collect&y=1";
        QTest::newRow("page object")
            << "login_done" << QVariant(QJsonObject{{"from", "page"}}) << kFixed + "action=login_done&from=page";
        // Text that used to make the address unparsable now arrives intact.
        QTest::newRow("space and non-ASCII are escaped")
            << "look up" << QVariant(QVariantMap{{"q", QString::fromUtf8("词 典")}})
            << kFixed + "action=look%20up&q=%E8%AF%8D%20%E5%85%B8";
        // A page cannot smuggle in parameters of its own.
        QTest::newRow("separators in extras stay inside one parameter")
            << "collect" << QVariant(QVariantMap{{"k&id=1", "v&keyfrom=evil#x"}})
            << kFixed + "action=collect&k%26id%3D1=v%26keyfrom%3Devil%23x";
    }
    void requestLines() {
        QFETCH(QString, value);
        QFETCH(QVariant, extras);
        QFETCH(QByteArray, query);
        LogUtils::log(QStringLiteral("action"), value, extras);
        QCOMPARE(sentQuery(), query);
        const auto req = service_->requests().front();
        QCOMPARE(req.method, QStringLiteral("GET"));
        QVERIFY(req.body.isEmpty());
    }

    void explicitOrderIsKept() {
        LogUtils::log(QStringLiteral("action"), QStringLiteral("synchronize"),
                      LogUtils::Extras{{"z", 1}, {"a", "b"}});
        QCOMPARE(sentQuery(), kFixed + "action=synchronize&z=1&a=b");
    }

    // Nothing waits and nothing fails towards the caller, even when the
    // endpoint answers an error or is gone.
    void failuresStayInside() {
        ScriptedResponse error;
        error.status = 500;
        service_->on(QStringLiteral("GET"), QStringLiteral("/appapi/log"), error);
        LogUtils::log(QStringLiteral("action"), QStringLiteral("collect"));
        QVERIFY(service_->waitForRequests(1));
        UserDefaults::standard().setValue(MVServiceHost, QStringLiteral("127.0.0.1:1"));
        LogUtils::log(QStringLiteral("action"), QStringLiteral("collect"));
        QTest::qWait(200);
        QCOMPARE(service_->requestCount(), 1);
    }

    // A service that accepts and never answers: only a few requests are open
    // at once, and each time-out lets the next ones out in the order they
    // were logged.
    void silentServiceHoldsFewAtOnce() {
        QTcpServer silent;
        QVERIFY(silent.listen(QHostAddress::LocalHost));
        QElapsedTimer clock;
        int open = 0;
        QList<QPair<int, qint64>> arrived;  // event number, ms since logging
        connect(&silent, &QTcpServer::newConnection, this, [&] {
            while (QTcpSocket* s = silent.nextPendingConnection()) {
                ++open;
                connect(s, &QTcpSocket::disconnected, s, [&open, s] {
                    --open;
                    s->deleteLater();
                });
                connect(s, &QTcpSocket::readyRead, s, [&, s] {
                    if (s->property("seen").toBool() || !s->canReadLine()) return;
                    s->setProperty("seen", true);
                    static const QRegularExpression n(QStringLiteral("[?&]n=(\\d+)"));
                    const QString line = QString::fromLatin1(s->readLine());
                    arrived.append({n.match(line).captured(1).toInt(), clock.elapsed()});
                });
            }
        });
        UserDefaults::standard().setValue(MVServiceHost, QStringLiteral("127.0.0.1:%1").arg(silent.serverPort()));
        const int timeoutMs = 400;
        LogUtils::setTimeoutMs(timeoutMs);
        const auto restore = qScopeGuard([] { LogUtils::setTimeoutMs(LogUtils::defaultTimeoutMs); });
        const int cap = LogUtils::maxInFlight, total = 3 * cap;
        clock.start();
        for (int i = 0; i < total; ++i)
            LogUtils::log(QStringLiteral("action"), QStringLiteral("collect"), LogUtils::Extras{{"n", i}});
        QTRY_COMPARE_WITH_TIMEOUT(arrived.size(), total, 15000);
        for (int k = 0; k < total; ++k) {
            const int wave = k / cap;
            QCOMPARE(arrived[k].first / cap, wave);
            // Only the earlier waves' time-outs (timers may fire a little
            // early) let a wave out.
            QVERIFY2(arrived[k].second >= wave * timeoutMs * 9 / 10, qPrintable(QString::number(arrived[k].second)));
        }
        QTRY_COMPARE(open, 0);
    }
};

QTEST_GUILESS_MAIN(UsageLogTest)
#include "tst_usage_log.moc"
