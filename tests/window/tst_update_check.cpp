// The update feed against a fake web site: build comparison, the skipped
// build, the banner values and the silent failures.
#include "support/FakeHttpService.h"
#include "support/TestEnv.h"

#include "platform/BundleInfo.h"
#include "platform/UserDefaults.h"
#include "query/AppConstants.h"
#include "window/UpdateCheck.h"

#include <QSignalSpy>
#include <QTest>
#include <memory>

class TestUpdateCheck : public QObject {
    Q_OBJECT

    std::unique_ptr<TestEnv> env;
    std::unique_ptr<FakeHttpService> site;
    std::unique_ptr<UpdateCheck> check;
    QStringList shown;
    std::function<void()> go, ignore;
    qint64 local = 0;

    static QByteArray feed(const QString& build, const QString& extra = QString()) {
        QString b = build.isNull() ? QString() : QStringLiteral("<build>%1</build>").arg(build);
        return QStringLiteral("<?xml version=\"1.0\"?><feed><updater>%1<des>新功能</des>%2</updater>"
                              "<updater><build>999999</build></updater></feed>")
            .arg(b, extra)
            .toUtf8();
    }
    void serve(const QByteArray& body, int status = 200) {
        site->clearScripts();
        site->on(QStringLiteral("GET"), QStringLiteral("/mac-update/vorlane_update.xml"),
                 ScriptedResponse{status, body, "text/xml"});
    }
    void run(bool automatic) {
        QSignalSpy done(check.get(), &UpdateCheck::finished);
        check->checkUpdate(automatic);
        QVERIFY(done.wait(5000));
    }

private slots:
    void init() {
        env = std::make_unique<TestEnv>();
        site = std::make_unique<FakeHttpService>();
        UserDefaults::standard().setValue(MVWebSiteHost, site->hostPort());
        check = std::make_unique<UpdateCheck>();
        shown.clear();
        UpdateCheck::Ui ui;
        ui.offerUpdate = [this](const QString& des, std::function<void()> g, std::function<void()> i) {
            shown << QStringLiteral("offer:") + des;
            go = g;
            ignore = i;
        };
        ui.upToDate = [this] { shown << QStringLiteral("upToDate"); };
        ui.openUrl = [this](const QString& url) { shown << QStringLiteral("open:") + url; };
        check->setUi(ui);
        local = UpdateCheck::buildNumber(BundleInfo::buildVersion());
    }
    void cleanup() {
        check.reset();
        site.reset();
        env.reset();
    }

    void newerBuildOffersDownloadAndCanBeSkipped() {
        serve(feed(QString::number(local + 1)));
        run(true);
        QCOMPARE(shown, QStringList{QStringLiteral("offer:新功能")});
        QCOMPARE(site->requests().front().path, QStringLiteral("/mac-update/vorlane_update.xml"));
        auto& d = UserDefaults::standard();
        QCOMPARE(d.integerValue(RemoteBuildNumber), local + 1);
        QCOMPARE(d.integerValue(LocalBuildNumber), local);
        go();
        QCOMPARE(shown.last(), QStringLiteral("open:http://") + site->hostPort() + QLatin1Char('/'));
        ignore();
        QCOMPARE(d.integerValue(UpdateIgnored), local + 1);

        // The skipped build: silent at start, "up to date" when asked.
        shown.clear();
        run(true);
        QVERIFY(shown.isEmpty());
        run(false);
        QCOMPARE(shown, QStringList{QStringLiteral("upToDate")});
        // A build newer than the skipped one is offered again.
        shown.clear();
        serve(feed(QString::number(local + 2)));
        run(true);
        QCOMPARE(shown.size(), 1);
    }

    void notNewerBuilds_data() {
        QTest::addColumn<QString>("build");
        QTest::newRow("missing") << QString();
        QTest::newRow("empty") << QStringLiteral("");
        QTest::newRow("lower") << QStringLiteral("-5");
        QTest::newRow("not a number") << QStringLiteral("v12");
        QTest::newRow("same") << QStringLiteral("SAME");
    }
    void notNewerBuilds() {
        QFETCH(QString, build);
        if (build == QLatin1String("SAME")) build = QString::number(local);
        serve(feed(build));
        run(true);
        QVERIFY(shown.isEmpty());  // the start-up check never says "up to date"
        run(false);
        QCOMPARE(shown, QStringList{QStringLiteral("upToDate")});
    }

    void bannerStoredOnEveryRead() {
        auto& d = UserDefaults::standard();
        serve(feed(QStringLiteral("1"), QStringLiteral("<operation_text>活动</operation_text>"
                                                       "<operation_link>http://x/y</operation_link>")));
        run(true);
        QCOMPARE(d.stringValue(operation_text), QStringLiteral("活动"));
        QCOMPARE(d.stringValue(operation_link), QStringLiteral("http://x/y"));
        serve(feed(QStringLiteral("1")));
        run(true);
        QVERIFY(d.contains(operation_text));
        QCOMPARE(d.stringValue(operation_text), QString());
    }

    void failuresAreSilent_data() {
        QTest::addColumn<QByteArray>("body");
        QTest::newRow("malformed") << QByteArray("<feed><updater><build>99999999</build></feed>");
        QTest::newRow("no updater") << QByteArray("<feed><other/></feed>");
        QTest::newRow("not xml") << QByteArray("\xff\xfe garbage");
    }
    void failuresAreSilent() {
        QFETCH(QByteArray, body);
        serve(body);
        run(false);
        QVERIFY(shown.isEmpty());
        QVERIFY(!UserDefaults::standard().contains(RemoteBuildNumber));
        QVERIFY(!UserDefaults::standard().contains(operation_text));
    }

    void unreachableSiteIsSilent() {
        UserDefaults::standard().setValue(MVWebSiteHost, QStringLiteral("127.0.0.1:1"));
        run(false);
        QVERIFY(shown.isEmpty());
    }

    void buildNumbers() {
        QCOMPARE(UpdateCheck::buildNumber(QStringLiteral("1203")), 1203);
        QCOMPARE(UpdateCheck::buildNumber(QStringLiteral(" 12abc")), 12);
        QCOMPARE(UpdateCheck::buildNumber(QStringLiteral("abc")), 0);
        QCOMPARE(UpdateCheck::buildNumber(QString()), 0);
    }
};

QTEST_MAIN(TestUpdateCheck)
#include "tst_update_check.moc"
