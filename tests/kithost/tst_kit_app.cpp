#include <QCryptographicHash>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QtTest>

#include "support/FakeKitService.h"
#include "support/TestEnv.h"

// The real application at launch: it starts the kit host, which fetches its
// settings from the (fake) kit service, registers itself when told it is
// new and saves the settings.
class TestKitApp : public QObject {
    Q_OBJECT
private slots:
    void launchFetchesSettingsAndRegisters();
};

void TestKitApp::launchFetchesSettingsAndRegisters()
{
    TestEnv env;
    FakeKitService fake;
    fake.setSettingsAnswers({FakeKitService::settingsJson(R"({"app":{"status":"new"}})"),
                             FakeKitService::settingsJson(R"({"app":{"status":"activated"}})")});

    // The oracle for the instance identifier: readelf's view of the build-id.
    QProcess readelf;
    readelf.start(QStringLiteral("readelf"), {QStringLiteral("-n"), QStringLiteral(MIRVOK_EXECUTABLE)});
    QVERIFY(readelf.waitForFinished(10000));
    const auto m = QRegularExpression(QStringLiteral("Build ID: ([0-9a-f]+)")).match(QString::fromLatin1(readelf.readAll()));
    QVERIFY(m.hasMatch());
    const QByteArray uuid = m.captured(1).left(32).toLatin1();
    const QString instance = QString::fromLatin1(QCryptographicHash::hash(uuid, QCryptographicHash::Sha1).toHex());

    QProcessEnvironment pe = QProcessEnvironment::systemEnvironment();
    pe.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    QProcess app;
    app.setProcessEnvironment(pe);
    app.setProcessChannelMode(QProcess::ForwardedChannels);
    app.start(QStringLiteral(MIRVOK_EXECUTABLE), {});
    QVERIFY(app.waitForStarted());
    // The second answer is saved after it arrives: wait for the file, not the request.
    const QString savedPath = env.cacheHome() + QStringLiteral("/io.kithost.sdk.mac.data/com.mirvok.dict/settings.json");
    const auto savedText = [&] {
        QFile f(savedPath);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    };
    const bool done = QTest::qWaitFor([&] {
        return fake.settingsRequests().size() >= 2 && savedText().contains("activated");
    }, 30000);
    app.terminate();
    if (!app.waitForFinished(10000))
        app.kill();
    QVERIFY(done);

    const auto gets = fake.settingsRequests();
    QCOMPARE(gets[0].queryValue(QStringLiteral("instance")), instance);
    QCOMPARE(gets[0].queryValue(QStringLiteral("build_version")), QStringLiteral("100"));
    QCOMPARE(int(fake.createRequests().size()), 1);
    QVERIFY(fake.updateRequests().empty());
    QCOMPARE(savedText(), QByteArray(R"({"app":{"status":"activated"}})"));
    QVERIFY(QFile::exists(env.dataHome() + QStringLiteral("/com.crashkit/CRKUserDefaults.plist")));
}

QTEST_GUILESS_MAIN(TestKitApp)
#include "tst_kit_app.moc"
