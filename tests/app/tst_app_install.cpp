// What `cmake --install --strip` puts down is what a desktop needs, valid
// by the desktop's own checkers, and the program runs from any prefix.
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

namespace {
int run(const QString& program, const QStringList& args, QString* output = nullptr)
{
    QProcess p;
    QProcessEnvironment pe = QProcessEnvironment::systemEnvironment();
    for (const char* v : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "MIRVOK_RESOURCES"})
        pe.remove(QString::fromLatin1(v));
    p.setProcessEnvironment(pe);
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, args);
    if (!p.waitForFinished(240000))
        return -1;
    if (output)
        *output = QString::fromUtf8(p.readAll());
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

QString readText(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

// Width and height from a PNG's header chunk.
QSize pngSize(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    const QByteArray h = f.read(24);
    if (h.size() < 24 || !h.startsWith("\x89PNG"))
        return {};
    auto be = [&](int at) { return int(quint8(h[at]) << 24 | quint8(h[at + 1]) << 16 | quint8(h[at + 2]) << 8 | quint8(h[at + 3])); };
    return QSize(be(16), be(20));
}
}  // namespace

class TestAppInstall : public QObject {
    Q_OBJECT
private slots:
    void installsWhatADesktopNeeds()
    {
        QTemporaryDir dir;
        const QString prefix = dir.filePath(QStringLiteral("prefix"));
        QString log;
        QCOMPARE(run(QStringLiteral(CMAKE_COMMAND),
                     {"--install", QStringLiteral(MIRVOK_BUILD_DIR), "--prefix", prefix, "--strip"}, &log), 0);
        QDir p(prefix);

        QStringList expected = {"bin/mirvok", "share/mirvok/dict/mvdict.idx", "share/mirvok/pages/result.html",
                                "share/applications/com.mirvok.Dict.desktop",
                                "share/dbus-1/services/com.mirvok.Dict.service",
                                "share/metainfo/com.mirvok.Dict.metainfo.xml",
                                "share/icons/hicolor/scalable/apps/com.mirvok.Dict.svg",
                                "share/man/man1/mirvok.1.gz", "share/doc/mirvok/copyright"};
        for (const QString& f : expected)
            QVERIFY2(QFile::exists(p.filePath(f)), qPrintable(f));
        for (int size : {16, 22, 24, 32, 48, 64, 128, 256, 512}) {
            const QString icon = p.filePath(QStringLiteral("share/icons/hicolor/%1x%1/apps/com.mirvok.Dict.png").arg(size));
            QCOMPARE(pngSize(icon), QSize(size, size));
        }
        // Stripped: the symbols and debug information stay behind.
        QVERIFY(QFileInfo(p.filePath("bin/mirvok")).size() < QFileInfo(QStringLiteral(MIRVOK_EXECUTABLE)).size() / 2);
        // So is the application library, at the place it has in the build tree.
        QDirIterator library(p.filePath("lib"), {"libmirvok-app.so"}, QDir::Files, QDirIterator::Subdirectories);
        QVERIFY(library.hasNext());
        const QString libraryFile = p.relativeFilePath(library.next());
        QVERIFY(library.fileInfo().size() < QFileInfo(QStringLiteral(MIRVOK_BUILD_DIR "/") + libraryFile).size() / 2);

        // Both name the program where this prefix put it.
        const QString exec = QStringLiteral("Exec=") + p.filePath("bin/mirvok") + u'\n';
        const QString desktop = readText(p.filePath("share/applications/com.mirvok.Dict.desktop"));
        QVERIFY2(desktop.contains(exec), qPrintable(desktop));
        QVERIFY(readText(p.filePath("share/dbus-1/services/com.mirvok.Dict.service")).contains(exec));
        for (const char* line : {"Name=米沃词典\n", "Name[en]=Mirvok\n", "Categories=Office;Dictionary;Education;\n",
                                 "Icon=com.mirvok.Dict\n", "StartupWMClass=Mirvok\n"})
            QVERIFY2(desktop.contains(QString::fromUtf8(line)), line);
        QVERIFY(!desktop.contains(QStringLiteral("DBusActivatable")));

        const QString validateDesktop = QStandardPaths::findExecutable(QStringLiteral("desktop-file-validate"));
        const QString validateMeta = QStandardPaths::findExecutable(QStringLiteral("appstreamcli"));
        QVERIFY2(!validateDesktop.isEmpty() && !validateMeta.isEmpty(), "scripts/install-deps test installs the checkers");
        // Its one hint (two main categories) is what the menus are asked for.
        QCOMPARE(run(validateDesktop, {p.filePath("share/applications/com.mirvok.Dict.desktop")}, &log), 0);
        QVERIFY2(!log.contains(QStringLiteral("error")) && !log.contains(QStringLiteral("warning")), qPrintable(log));
        QVERIFY2(run(validateMeta, {"validate", "--no-net", p.filePath("share/metainfo/com.mirvok.Dict.metainfo.xml")},
                     &log) == 0, qPrintable(log));

        // Moved elsewhere, the program answers from the resources beside it...
        const QString moved = dir.filePath(QStringLiteral("elsewhere"));
        QVERIFY(QDir().rename(prefix, moved));
        QCOMPARE(run(moved + "/bin/mirvok", {"--lookup", "dictionary"}, &log), 0);
        QVERIFY2(log.contains(QStringLiteral("词典")), qPrintable(log));
        // ...loads the application library beside it for anything else (the
        // clipboard keeper, handed nothing, is the part that needs no display)...
        QProcess keeper;
        keeper.setStandardInputFile(QProcess::nullDevice());
        keeper.start(moved + "/bin/mirvok", {"--keep-clipboard"});
        QVERIFY(keeper.waitForFinished(60000));
        const QString keeperSaid = QString::fromUtf8(keeper.readAllStandardError());
        QVERIFY2(keeper.exitCode() != 127 && keeperSaid.isEmpty(), qPrintable(keeperSaid));
        // ...and from no other copy: without its dictionary it has none.
        QVERIFY(QDir(moved + "/share/mirvok/dict").removeRecursively());
        QCOMPARE(run(moved + "/bin/mirvok", {"--lookup", "dictionary"}, &log), 1);
    }
};

QTEST_MAIN(TestAppInstall)
#include "tst_app_install.moc"
