// The command line answers without a display and without the interface.
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QtTest>

namespace {
struct Run {
    int status = -1;
    QString out;
    QString err;
};

// No display of any kind and no platform chosen: a QApplication would abort.
Run mirvok(const QStringList& args, const QProcessEnvironment& extra = {}, const QString& standardOutput = {})
{
    QProcessEnvironment pe = QProcessEnvironment::systemEnvironment();
    for (const char* v : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        pe.remove(QString::fromLatin1(v));
    for (const QString& k : extra.keys())
        pe.insert(k, extra.value(k));
    QProcess p;
    p.setProcessEnvironment(pe);
    if (!standardOutput.isEmpty())
        p.setStandardOutputFile(standardOutput);
    p.start(QStringLiteral(MIRVOK_EXECUTABLE), args);
    if (!p.waitForFinished(60000)) {
        p.kill();
        p.waitForFinished();
        return {};
    }
    Run r;
    r.status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}
}  // namespace

class TestAppCli : public QObject {
    Q_OBJECT
private slots:
    void helpAndVersion()
    {
        for (const char* flag : {"--help", "-h"}) {
            const Run r = mirvok({QString::fromLatin1(flag)});
            QCOMPARE(r.status, 0);
            for (const char* option : {"--lookup", "--json", "--query", "--version"})
                QVERIFY2(r.out.contains(QLatin1String(option)), qPrintable(r.out + r.err));
        }
        for (const char* flag : {"--version", "-v"}) {
            const Run r = mirvok({QString::fromLatin1(flag)});
            QCOMPARE(r.status, 0);
            QVERIFY2(QRegularExpression(QStringLiteral("^mirvok \\d+\\.\\d+\\.\\d+ \\(\\d+\\)\\n$")).match(r.out).hasMatch(),
                     qPrintable(r.out + r.err));
        }
    }

    // Both directions of the shipped dictionary, as text and as JSON.
    void lookupPrintsTheOfflineAnswer()
    {
        Run r = mirvok({QStringLiteral("--lookup"), QStringLiteral("Dictionary")});
        QCOMPARE(r.status, 0);
        const QStringList lines = r.out.split(u'\n', Qt::SkipEmptyParts);
        QVERIFY2(lines.size() >= 2 && lines[0].startsWith(QStringLiteral("dictionary")), qPrintable(r.out));
        QVERIFY2(r.out.contains(QStringLiteral("词典")), qPrintable(r.out));

        r = mirvok({QStringLiteral("--lookup=你好"), QStringLiteral("--json")});
        QCOMPARE(r.status, 0);
        const QJsonObject o = QJsonDocument::fromJson(r.out.toUtf8()).object();
        QCOMPARE(o.value("found").toBool(), true);
        QCOMPARE(o.value("headword").toString(), QStringLiteral("你好"));
        QVERIFY2(o.value("pronunciation").toString().contains(QStringLiteral("ni3")) ||
                     !o.value("pronunciation").toString().isEmpty(), qPrintable(r.out));
        QVERIFY(QJsonDocument(o.value("renderings").toArray()).toJson().contains("hello"));

        r = mirvok({QStringLiteral("--lookup"), QStringLiteral("qzxqzxnotaword")});
        QCOMPARE(r.status, 1);
        QVERIFY(r.out.isEmpty());
        QVERIFY(r.err.contains(QStringLiteral("qzxqzxnotaword")));
        r = mirvok({QStringLiteral("--json"), QStringLiteral("--lookup"), QStringLiteral("qzxqzxnotaword")});
        QCOMPARE(r.status, 1);
        QCOMPARE(QJsonDocument::fromJson(r.out.toUtf8()).object().value("found"), QJsonValue(false));
    }

    // A terminal command costs what a terminal dictionary costs: the loader
    // brings in neither the interface's libraries nor the web engine.
    void terminalCommandsLoadNoInterface()
    {
        QProcessEnvironment trace;
        trace.insert(QStringLiteral("LD_DEBUG"), QStringLiteral("files"));
        for (const QStringList& args : {QStringList{"--lookup", "hello", "--json"}, QStringList{"--version"}}) {
            const Run r = mirvok(args, trace);
            QCOMPARE(r.status, 0);
            QVERIFY2(r.err.contains(QStringLiteral("libQt6Core.so")), qPrintable(r.err.left(2000)));
            for (const char* heavy : {"libQt6Gui", "libQt6Widgets", "libQt6WebEngine", "libQt6DBus", "libmirvok-app"})
                QVERIFY2(!r.err.contains(QLatin1String(heavy)), heavy);
        }
    }

    // An answer that could not be written is a failure, said on stderr.
    void unwritableOutputFails()
    {
        for (const QStringList& args : {QStringList{"--lookup", "hello"}, QStringList{"--lookup", "hello", "--json"},
                                        QStringList{"--version"}, QStringList{"--help"}}) {
            const Run r = mirvok(args, {}, QStringLiteral("/dev/full"));
            QVERIFY2(r.status == 3 && !r.err.isEmpty(), qPrintable(args.join(' ') + r.err));
        }
    }

    // After "--" a word that looks like options is still the word.
    void doubleDashEndsTheOptions()
    {
        const Run joined = mirvok({QStringLiteral("--lookup=-ing")});
        const Run ended = mirvok({QStringLiteral("--lookup"), QStringLiteral("--"), QStringLiteral("-ing")});
        QVERIFY2(ended.status != 2 && ended.err == joined.err, qPrintable(ended.err));
        QCOMPARE(ended.status, joined.status);
        QCOMPARE(ended.out, joined.out);
        // Words after the first are still too many.
        QCOMPARE(mirvok({"--lookup", "--", "a", "b"}).status, 2);
    }

    void wrongUsageSaysSo()
    {
        for (const QStringList& args : {QStringList{"--lookup"}, QStringList{"--json"},
                                        QStringList{"--lookup", "a", "--query", "b"}, QStringList{"--lookup", "a", "extra"},
                                        QStringList{"--lookup", "a", "--bogus"}}) {
            const Run r = mirvok(args);
            QVERIFY2(r.status == 2 && r.err.contains(QStringLiteral("--help")), qPrintable(args.join(' ') + r.err));
        }
    }
};

QTEST_MAIN(TestAppCli)
#include "tst_app_cli.moc"
