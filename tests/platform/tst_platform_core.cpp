#include "platform/Lenient.h"
#include "platform/NotificationCenter.h"
#include "platform/SerialQueue.h"
#include "platform/UserDefaults.h"
#include "platform/UserNotices.h"
#include "platform/WebEngineSetup.h"
#include "support/TestEnv.h"

#include <QSignalSpy>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QTest>
#include <QProcess>
#include <QThread>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>

namespace {

QByteArray readFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

int fileMode(const QString& path) {
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 07777) : -1;
}

// What another process of this user's reads from the preferences file: each
// value a line, a list as [a|b].
QByteArray printedPreferences(const QStringList& keys) {
    QProcess reader;
    reader.start(QCoreApplication::applicationFilePath(), QStringList{QStringLiteral("--print-preferences")} + keys);
    if (!reader.waitForFinished(30000) || reader.exitCode() != 0) return "reader failed";
    return reader.readAllStandardOutput();
}

}  // namespace

class PlatformCoreTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void defaultsRoundTripAcrossRestart() {
        TestEnv env;
        auto& d = UserDefaults::standard();
        d.registerDefaults({{QStringLiteral("zoom"), 1.0}});
        QCOMPARE(d.doubleValue(QStringLiteral("zoom")), 1.0);
        QVERIFY(!d.contains(QStringLiteral("zoom")));
        d.setValue(QStringLiteral("a/b\\c%d"), QStringLiteral("slashes"));
        d.setValue(QStringLiteral("count"), 42);
        env.restart();
        auto& again = UserDefaults::standard();
        QCOMPARE(again.stringValue(QStringLiteral("a/b\\c%d")), QStringLiteral("slashes"));
        QCOMPARE(again.integerValue(QStringLiteral("count")), 42);
        QVERIFY(again.keys().contains(QStringLiteral("a/b\\c%d")));
        QVERIFY(again.fileName().startsWith(env.configHome()));
    }

    void damagedFileIsMovedAsideAndDefaultsServe() {
        // A section never closed, and random bytes (once read as junk keys
        // and written back).
        const QByteArray damaged[] = {"[General\nk=1\n", QByteArray("\x8f\x01\xfe\x00z=\x91\xc3", 8)};
        QStringList told;
        usernotices::setPresenter([&told](const QString& text) { told << text; });
        for (const QByteArray& bytes : damaged) {
            TestEnv env;
            const QString path = UserDefaults::standardPath();
            UserDefaults::resetStandard();
            QDir().mkpath(QFileInfo(path).absolutePath());
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(bytes);
            f.close();
            auto& d = UserDefaults::standard();
            d.registerDefaults({{QStringLiteral("zoom"), 1.0}});
            QCOMPARE(d.doubleValue(QStringLiteral("zoom")), 1.0);
            QVERIFY(d.keys().isEmpty());
            const QStringList aside = QFileInfo(path).dir().entryList({QStringLiteral("mirvok.conf.damaged-*")});
            QCOMPARE(aside.size(), 1);
            QCOMPARE(QFileInfo(path).dir().filePath(aside[0]), d.movedAside());
            QFile bad(d.movedAside());
            QVERIFY(bad.open(QIODevice::ReadOnly));
            QCOMPARE(bad.readAll(), bytes);
            // The user is told once where the old file is.
            QTRY_COMPARE(told.size(), 1);
            QVERIFY(told.takeFirst().contains(d.movedAside()));
            d.setValue(QStringLiteral("k"), 2);
            env.restart();
            QCOMPARE(UserDefaults::standard().integerValue(QStringLiteral("k")), 2);
        }
        usernotices::setPresenter({});
    }

    // Qt's decoder of serialised values looped allocating without end on
    // this LastSync line: such values are never decoded, only left out.
    // Plain values a QSettings file holds keep reading.
    void serialisedValuesAreLeftOutPlainOnesRead() {
        TestEnv env;
        const QString path = UserDefaults::standardPath();
        UserDefaults::resetStandard();
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile::remove(path);
        QVERIFY(QFile::copy(testDataPath(QStringLiteral("platform/mirvok.conf")), path));
        QFile f(path);
        QVERIFY(f.open(QIODevice::Append));
        f.write("Hang=@DateTime(\\0\\0\\0\\@Variant(\\0\\0\\0%|\\xd7\\x3\\x9f\\xbc\\0\\x1)\n"
                "Listed=a, @Variant(\\0\\0\\0\\x7f), b\n");
        f.close();
        auto& d = UserDefaults::standard();
        for (const char* key : {"Hang", "Listed", "HotKeyMap", "LastSync", "SyncColor", "WindowFrame"})
            QVERIFY2(!d.contains(QLatin1String(key)), key);
        QCOMPARE(d.value(QStringLiteral("Blob")).toByteArray(), QByteArray("\x01\0\xffzz", 5));
        QCOMPARE(d.doubleValue(QStringLiteral("FontScale")), 1.25);
        QCOMPARE(d.value(QStringLiteral("History/Last")).toStringList(),
                 (QStringList{QStringLiteral("apple"), QStringLiteral("run"), QStringLiteral("中国")}));
        QCOMPARE(d.stringValue(QStringLiteral("operation_text")), QStringLiteral("下载新版 \"quoted\""));
        QCOMPARE(d.stringValue(QStringLiteral("operation_link")), QStringLiteral("http://www.mirvok.example/download?a=1&b=2"));
        QVERIFY(d.boolValue(QStringLiteral("NotFirstUse")));
        QVERIFY(d.movedAside().isEmpty());

        // Written back and read again, plain values come back as they were
        // given; a type that cannot be stored plainly is not stored.
        const QString awkward = QStringLiteral("@at, \"q\";=\\ \x01\x7f 中 ");
        d.setValue(QStringLiteral("awkward"), awkward);
        d.setValue(QStringLiteral("when"), QDateTime(QDate(2026, 1, 2), QTime(3, 4, 5), Qt::UTC));
        d.setValue(QStringLiteral("map"), QVariantMap{{QStringLiteral("a"), 1}});
        QVERIFY(!d.contains(QStringLiteral("map")));
        env.restart();
        auto& again = UserDefaults::standard();
        QCOMPARE(again.stringValue(QStringLiteral("awkward")), awkward);
        QCOMPARE(again.stringValue(QStringLiteral("when")), QStringLiteral("2026-01-02T03:04:05.000Z"));
        QCOMPARE(again.value(QStringLiteral("Blob")).toByteArray(), QByteArray("\x01\0\xffzz", 5));
        QCOMPARE(again.value(QStringLiteral("History/Last")).toStringList().size(), 3);
        QVERIFY(!again.contains(QStringLiteral("Hang")));
    }

    // Values Mirvok does not read were dropped at the next write, and an
    // empty list was written in a form then refused.
    void unreadLinesAndEmptyListsSurviveAWrite() {
        TestEnv env;
        const QString path = UserDefaults::standardPath();
        UserDefaults::resetStandard();
        QDir().mkpath(QFileInfo(path).absolutePath());
        QVERIFY(QFile::copy(testDataPath(QStringLiteral("platform/mirvok.conf")), path));
        QList<QByteArray> unread;
        for (const QByteArray& line : readFile(path).split('\n'))
            if (line.contains("=@Variant(") || line.contains("=@DateTime(") || line.contains("=@Rect(")) unread << line;
        QCOMPARE(unread.size(), 4);
        auto& d = UserDefaults::standard();
        d.setValue(QStringLiteral("none"), QStringList());
        env.restart();
        const QByteArray written = readFile(path);
        for (const QByteArray& line : unread) QVERIFY2(written.contains(line + '\n'), line.constData());
        // As the next start reads it (this process keeps what it wrote).
        QCOMPARE(printedPreferences({QStringLiteral("none"), QStringLiteral("HotKeyMap")}), QByteArray("[]\n\n"));
        auto& again = UserDefaults::standard();
        QVERIFY(!again.contains(QStringLiteral("HotKeyMap")));
        // A value set over an unread line replaces it.
        again.setValue(QStringLiteral("LastSync"), QStringLiteral("2026-01-02"));
        env.restart();
        QCOMPARE(UserDefaults::standard().stringValue(QStringLiteral("LastSync")), QStringLiteral("2026-01-02"));
        QVERIFY(!readFile(path).contains("@DateTime("));
    }

    // Characters beyond the BMP were written one UTF-16 half at a time and
    // came back as "??"; an ideographic space at either end was lost.
    // Another process reads what this one wrote.
    void textKeepsEveryCharacterAcrossProcesses() {
        TestEnv env;
        const QStringList texts = {QStringLiteral("龙🐉尾"), QStringLiteral("𠀀字"), QStringLiteral("中文"),
                                   QStringLiteral("\U0001F600, \U0002A6D6 ;x"), QStringLiteral("\u3000前后\u3000")};
        auto& d = UserDefaults::standard();
        for (qsizetype i = 0; i < texts.size(); ++i) d.setValue(QStringLiteral("text%1").arg(i), texts[i]);
        d.setValue(QStringLiteral("list"), QStringList{texts[0], texts[1]});
        d.sync();
        const QByteArray onDisk = readFile(UserDefaults::standardPath());
        for (const QString& t : texts.first(3)) QVERIFY2(onDisk.contains(t.toUtf8()), onDisk.constData());
        QByteArray want;
        for (const QString& t : texts) want += t.toUtf8() + '\n';
        want += (u'[' + texts[0] + u'|' + texts[1] + u']').toUtf8() + '\n';
        QCOMPARE(printedPreferences({QStringLiteral("text0"), QStringLiteral("text1"), QStringLiteral("text2"),
                                     QStringLiteral("text3"), QStringLiteral("text4"), QStringLiteral("list")}),
                 want);
    }

    // Deleted while Mirvok ran, the file came back with the umask's 0644.
    void fileStaysPrivateWhenDeletedBetweenWrites() {
        const mode_t before = ::umask(022);
        TestEnv env;
        auto& d = UserDefaults::standard();
        const QString path = UserDefaults::standardPath();
        d.setValue(QStringLiteral("a"), 1);
        d.sync();
        QCOMPARE(fileMode(path), 0600);
        QVERIFY(QFile::remove(path));
        d.setValue(QStringLiteral("b"), 2);
        d.sync();
        const int mode = fileMode(path);
        ::umask(before);
        QCOMPARE(mode, 0600);
    }

    // Where the file system refuses modes (vfat, exFAT, some network mounts;
    // here a preload refuses every chmod) a save gave up: every preference
    // and the session token were lost at each run.
    void preferencesAreSavedWhereModesAreRefused() {
        TestEnv env;
        QProcessEnvironment childEnv = QProcessEnvironment::systemEnvironment();
        const QString config = env.root() + QStringLiteral("/vfat-config");
        childEnv.insert(QStringLiteral("XDG_CONFIG_HOME"), config);
        QProcess saver;
        QProcessEnvironment preloaded = childEnv;
        preloaded.insert(QStringLiteral("LD_PRELOAD"),
                         QStringLiteral(REFUSE_CHMOD_PRELOAD " ") + childEnv.value(QStringLiteral("LD_PRELOAD")));
        saver.setProcessEnvironment(preloaded);
        saver.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--save-preferences")});
        QVERIFY(saver.waitForFinished(30000));
        const QString err = QString::fromLocal8Bit(saver.readAllStandardError());
        QCOMPARE(saver.exitCode(), 0);
        const QString path = config + QStringLiteral("/mirvok/mirvok.conf");
        QProcess reader;
        reader.setProcessEnvironment(childEnv);
        reader.start(QCoreApplication::applicationFilePath(),
                     {QStringLiteral("--print-preferences"), QStringLiteral("token"), QStringLiteral("count")});
        QVERIFY(reader.waitForFinished(30000));
        QCOMPARE(reader.readAllStandardOutput(), QByteArray("s3cret\n8\n"));
        // Private from its creation, with no chmod; the refusal said once.
        QCOMPARE(fileMode(path), 0600);
        QCOMPARE(err.count(QStringLiteral("mirvok.conf private")), 1);
    }

    // Every start set the values it had read, and each such start rewrote
    // the whole file.
    void settingWhatIsStoredWritesNothing() {
        TestEnv env;
        const QVariantMap values = {{QStringLiteral("flag"), true},
                                    {QStringLiteral("count"), 7},
                                    {QStringLiteral("scale"), 1.25},
                                    {QStringLiteral("name"), QStringLiteral("龙🐉")},
                                    {QStringLiteral("words"), QStringList{QStringLiteral("a"), QStringLiteral("b c")}},
                                    {QStringLiteral("none"), QStringList()}};
        for (auto it = values.cbegin(); it != values.cend(); ++it) UserDefaults::standard().setValue(it.key(), it.value());
        env.restart();
        const QString path = UserDefaults::standardPath();
        struct stat first {};
        QCOMPARE(::stat(QFile::encodeName(path).constData(), &first), 0);
        auto& again = UserDefaults::standard();
        for (auto it = values.cbegin(); it != values.cend(); ++it) again.setValue(it.key(), it.value());
        again.remove(QStringLiteral("never stored"));
        env.restart();
        struct stat second {};
        QCOMPARE(::stat(QFile::encodeName(path).constData(), &second), 0);
        QCOMPARE(second.st_ino, first.st_ino);
        UserDefaults::standard().setValue(QStringLiteral("count"), 8);
        env.restart();
        QCOMPARE(UserDefaults::standard().integerValue(QStringLiteral("count")), 8);
    }

    void nullRemovesAndSignals() {
        TestEnv env;
        auto& d = UserDefaults::standard();
        QSignalSpy spy(&d, &UserDefaults::changed);
        d.setValue(QStringLiteral("k"), true);
        d.setValue(QStringLiteral("k"), QVariant());
        QVERIFY(!d.contains(QStringLiteral("k")));
        QCOMPARE(spy.count(), 2);
        QCOMPARE(spy.at(1).at(0).toString(), QStringLiteral("k"));
    }

    void concurrentWritersLoseNothing() {
        TestEnv env;
        auto& d = UserDefaults::standard();
        std::vector<std::thread> threads;
        for (int t = 0; t < 8; ++t)
            threads.emplace_back([&d, t] {
                for (int i = 0; i < 200; ++i) d.setValue(QStringLiteral("t%1_%2").arg(t).arg(i), i);
            });
        for (auto& th : threads) th.join();
        QCOMPARE(d.keys().size(), 1600);
        QCOMPARE(d.integerValue(QStringLiteral("t7_199")), 199);
    }

    void lenientConversions() {
        QVERIFY(lenient::stringToBool(QStringLiteral(" YES")));
        QVERIFY(lenient::stringToBool(QStringLiteral("true")));
        QVERIFY(lenient::stringToBool(QStringLiteral("007")));
        QVERIFY(!lenient::stringToBool(QStringLiteral("0")));
        QVERIFY(!lenient::stringToBool(QStringLiteral("no")));
        QCOMPARE(lenient::stringToInteger(QStringLiteral("  -12abc")), -12);
        QCOMPARE(lenient::stringToInteger(QStringLiteral("x")), 0);
        QCOMPARE(lenient::toString(QJsonValue(3.0)), QStringLiteral("3"));
        QCOMPARE(lenient::toString(QJsonValue(QJsonArray())), QString());
        QCOMPARE(lenient::toInteger(QJsonValue(QStringLiteral("15"))), 15);
        // Numbers beyond the integer range, from a damaged file or answer, saturate.
        QCOMPARE(lenient::toInteger(QJsonValue(1.45e34)), std::numeric_limits<qint64>::max());
        QCOMPARE(lenient::toInteger(QVariant(-1e19)), std::numeric_limits<qint64>::min());
    }

    void serialQueueKeepsOrderAndTimes() {
        SerialQueue q(QStringLiteral("test"));
        std::vector<int> order;
        std::mutex m;
        q.after(std::chrono::milliseconds(60), [&] { std::lock_guard l(m); order.push_back(3); });
        for (int i = 0; i < 2; ++i) q.async([&, i] { std::lock_guard l(m); order.push_back(i); });
        q.sync([&] { QVERIFY(q.isCurrent()); q.sync([&] { std::lock_guard l(m); order.push_back(2); }); });
        QThread::msleep(150);
        q.sync([] {});
        std::lock_guard l(m);
        QCOMPARE(order, (std::vector<int>{0, 1, 2, 3}));
    }

    void notificationsReachLiveObserversOnly() {
        auto& nc = NotificationCenter::defaultCenter();
        int hits = 0;
        QObject sender;
        {
            QObject ctx;
            nc.addObserver(QStringLiteral("N"), &ctx, [&](const Notification& n) {
                ++hits;
                QCOMPARE(n.userInfo.value(QStringLiteral("v")).toInt(), 7);
            });
            nc.addObserver(QStringLiteral("N"), &ctx, [&](const Notification&) { hits += 10; }, &sender);
            nc.post(QStringLiteral("N"), nullptr, {{QStringLiteral("v"), 7}});
            QCOMPARE(hits, 1);
            nc.post(QStringLiteral("N"), &sender, {{QStringLiteral("v"), 7}});
            QCOMPARE(hits, 12);
        }
        nc.post(QStringLiteral("N"), &sender, {{QStringLiteral("v"), 7}});
        QCOMPARE(hits, 12);
    }

    // One renderer, a heap sized for memory, CPU drawing for our pages and no
    // zygote without the sandbox, each unless the user chose.
    void webEngineSetup() {
        WebEngineSetup s = webEngineSetupFor("", {}, false);
        QCOMPARE(s.chromiumFlags, QByteArray("--process-per-site --js-flags=\"--optimize-for-size --expose-gc\" --disable-gpu"));
        QVERIFY(s.softwareRendering);
        s = webEngineSetupFor("--lang=zh", {"--lookup"}, true);
        QCOMPARE(s.chromiumFlags, QByteArray("--lang=zh --process-per-site --js-flags=\"--optimize-for-size --expose-gc\""));
        QVERIFY(!s.softwareRendering);
        for (const char* chosen : {"--single-process", "--renderer-process-limit=2", "--process-per-tab"}) {
            const QByteArray flags = QByteArray("--disable-gpu --js-flags=--jitless ") + chosen;
            QCOMPARE(webEngineSetupFor(flags, {}, false).chromiumFlags, flags);
            QCOMPARE(webEngineSetupFor("", {QString::fromLatin1(chosen), "--js-flags=--jitless"}, true).chromiumFlags,
                     QByteArray());
        }
        for (const char* gpu : {"--ignore-gpu-blocklist", "--use-gl=egl"}) {
            s = webEngineSetupFor("--js-flags=--jitless", {QString::fromLatin1(gpu)}, false);
            QCOMPARE(s.chromiumFlags, QByteArray("--js-flags=--jitless --process-per-site"));
            QVERIFY(!s.softwareRendering);
        }
        // Without the sandbox no zygote (two processes holding ~8 MB for nothing).
        QCOMPARE(webEngineSetupFor("--js-flags=x --process-per-tab", {}, true, true).chromiumFlags,
                 QByteArray("--js-flags=x --process-per-tab --no-zygote"));
        QCOMPARE(webEngineSetupFor("--js-flags=x --process-per-tab --no-sandbox", {}, true).chromiumFlags,
                 QByteArray("--js-flags=x --process-per-tab --no-sandbox --no-zygote"));
        QCOMPARE(webEngineSetupFor("--js-flags=x --process-per-tab", {"--zygote-cmd-prefix=y"}, true, true).chromiumFlags,
                 QByteArray("--js-flags=x --process-per-tab"));
    }
};

int main(int argc, char** argv) {
    // The other process of a test: prints the named preferences as this
    // user's Mirvok reads them (printedPreferences).
    if (argc > 1 && std::strcmp(argv[1], "--print-preferences") == 0) {
        QCoreApplication app(argc, argv);
        QByteArray out;
        for (int i = 2; i < argc; ++i) {
            const QVariant v = UserDefaults::standard().value(QString::fromUtf8(argv[i]));
            const QString shown =
                v.typeId() == QMetaType::QStringList ? u'[' + v.toStringList().join(u'|') + u']' : v.toString();
            out += shown.toUtf8() + '\n';
        }
        std::fwrite(out.constData(), 1, size_t(out.size()), stdout);
        return std::fflush(stdout) == 0 ? 0 : 1;
    }
    // The other process of preferencesAreSavedWhereModesAreRefused: two
    // saves, as a run makes them, with the usual umask.
    if (argc > 1 && std::strcmp(argv[1], "--save-preferences") == 0) {
        QCoreApplication app(argc, argv);
        ::umask(022);
        auto& d = UserDefaults::standard();
        d.setValue(QStringLiteral("token"), QStringLiteral("s3cret"));
        d.setValue(QStringLiteral("count"), 7);
        d.sync();
        d.setValue(QStringLiteral("count"), 8);
        d.sync();
        UserDefaults::resetStandard();
        return 0;
    }
    QCoreApplication app(argc, argv);
    PlatformCoreTest test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_platform_core.moc"
