#include <QCryptographicHash>
#include <QDirIterator>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QtTest>

#include "support/FakeKitService.h"
#include "support/TestEnv.h"

#include <zlib.h>

// The real application at launch: it starts the kit host, which fetches its
// settings from the (fake) kit service, registers itself when told it is
// new and saves the settings.
class TestKitApp : public QObject {
    Q_OBJECT
private slots:
    void launchFetchesSettingsAndRegisters();
    void analyticsRecordsTheRunAndUploadsIt();
};

namespace {

// Every log file under the analytics store, with its bytes.
QMap<QString, QByteArray> analyticsLogs(const QString& cacheHome)
{
    QMap<QString, QByteArray> out;
    QDirIterator it(cacheHome + QStringLiteral("/com.crashkit.data/com.mirvok.dict/analytics"), {"*.log"},
                    QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        QFile f(path);
        if (f.open(QIODevice::ReadOnly))
            out.insert(path, f.readAll());
    }
    return out;
}

bool anyContains(const QMap<QString, QByteArray>& logs, const QByteArray& text)
{
    for (const QByteArray& bytes : logs)
        if (bytes.contains(text))
            return true;
    return false;
}

QByteArray gunzip(const QByteArray& in)
{
    z_stream s {};
    inflateInit2(&s, 31);
    QByteArray out, buf(1 << 16, 0);
    s.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.constData()));
    s.avail_in = uInt(in.size());
    int r = Z_OK;
    while (r == Z_OK) {
        s.next_out = reinterpret_cast<Bytef*>(buf.data());
        s.avail_out = uInt(buf.size());
        r = inflate(&s, Z_NO_FLUSH);
        out.append(buf.constData(), buf.size() - int(s.avail_out));
    }
    inflateEnd(&s);
    return out;
}

QString run(const QString& program, const QStringList& args)
{
    QProcess p;
    p.start(program, args);
    p.waitForFinished(10000);
    return QString::fromLatin1(p.readAllStandardOutput()).trimmed();
}

}  // namespace

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

void TestKitApp::analyticsRecordsTheRunAndUploadsIt()
{
    TestEnv env;
    FakeKitService fake;
    fake.http().on(QStringLiteral("POST"), QStringLiteral("/upload"), ScriptedResponse(200));
    // Settings come late, so the first lines are on disk before any upload.
    ScriptedResponse settings = FakeKitService::settingsJson(
        "{\"app\":{\"status\":\"activated\"},\"features\":{\"collect_analytics\":true},"
        "\"analytics\":{\"url\":\"" + fake.baseUrl().toLatin1() + "/upload\",\"track_custom_events\":true}}");
    settings.delayMs = 2000;
    fake.setSettingsAnswers({settings});

    QProcessEnvironment pe = QProcessEnvironment::systemEnvironment();
    pe.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    QProcess app;
    app.setProcessEnvironment(pe);
    app.setProcessChannelMode(QProcess::ForwardedChannels);
    app.start(QStringLiteral(MIRVOK_EXECUTABLE), {});
    QVERIFY(app.waitForStarted());
    auto stop = qScopeGuard([&] {
        if (app.state() != QProcess::NotRunning) {
            app.kill();
            app.waitForFinished(5000);
        }
    });

    QVERIFY(QTest::qWaitFor([&] { return anyContains(analyticsLogs(env.cacheHome()), "\tapp_launched\t"); }, 20000));
    // This run's session is the folder its fragments live in.
    const QString active = analyticsLogs(env.cacheHome()).firstKey();
    const QString session = active.section(QLatin1Char('/'), -3, -3).section(QLatin1Char('_'), 1);
    QVERIFY(!session.isEmpty());

    const QString window = run(QStringLiteral("xdotool"), {"search", "--sync", "--onlyvisible", "--pid",
                                                           QString::number(app.processId())}).section('\n', 0, 0);
    QVERIFY(!window.isEmpty());
    run(QStringLiteral("xdotool"), {"windowfocus", "--sync", window});

    // The first install's event asked for maintenance; the settings bring
    // the URL, and the closed fragment goes up.
    QVERIFY(QTest::qWaitFor([&] { return !fake.http().requestsTo(QStringLiteral("/upload")).empty(); }, 30000));
    QByteArray uploaded;
    for (const RecordedRequest& r : fake.http().requestsTo(QStringLiteral("/upload")))
        for (const RecordedPart& part : r.parts)
            uploaded += gunzip(part.bytes);
    const int start = uploaded.indexOf("\tmetadata\t");
    QVERIFY(start >= 0);
    const int json = uploaded.indexOf('\t', start + 10) + 1;
    const int length = uploaded.mid(start + 10, json - start - 11).toInt();
    const QJsonObject metadata = QJsonDocument::fromJson(uploaded.mid(json, length)).object();
    QCOMPARE(metadata.value(QStringLiteral("session_id")).toString(), session);
    QVERIFY(uploaded.contains("\tapp_launched\t") || anyContains(analyticsLogs(env.cacheHome()), "\tapp_launched\t"));

    QVERIFY(QTest::qWaitFor([&] {
        return uploaded.contains("\tapp_became_active\t") || anyContains(analyticsLogs(env.cacheHome()), "\tapp_became_active\t");
    }, 10000));

    run(QStringLiteral("xdotool"), {"key", "--window", window, "ctrl+q"});
    QVERIFY(app.waitForFinished(15000));
    QVERIFY(anyContains(analyticsLogs(env.cacheHome()), "\tapp_terminated\t"));
}

QTEST_GUILESS_MAIN(TestKitApp)
#include "tst_kit_app.moc"
