// The real mirvok: a word starred on the result page whose write is still
// queued when the user quits (Ctrl+Q, then 确定 in the quit guard) or the
// session ends it (SIGTERM) is in wordbook.db afterwards. The test holds
// the file's write lock so the write is still waiting when the quit
// begins; the page is driven through the web engine's debugging protocol.
#include "support/FakeHttpService.h"
#include "support/TestEnv.h"

#include "platform/UserDefaults.h"
#include "query/AppConstants.h"

#include <QCryptographicHash>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>
#include <SQLiteCpp/SQLiteCpp.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <csignal>
#include <memory>

namespace {
// One page of the web engine's debugging protocol over a WebSocket: enough
// to evaluate an expression and read its value.
class DevToolsPage {
public:
    bool connectTo(quint16 port, const QString& path)
    {
        socket_.connectToHost(QStringLiteral("127.0.0.1"), port);
        if (!socket_.waitForConnected(5000))
            return false;
        socket_.write(QStringLiteral("GET %1 HTTP/1.1\r\nHost: 127.0.0.1:%2\r\nUpgrade: websocket\r\n"
                                     "Connection: Upgrade\r\nSec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n"
                                     "Sec-WebSocket-Version: 13\r\n\r\n")
                          .arg(path)
                          .arg(port)
                          .toLatin1());
        QByteArray head;
        while (!head.contains("\r\n\r\n")) {
            if (!socket_.bytesAvailable() && !socket_.waitForReadyRead(5000))
                return false;
            head += socket_.read(1);
        }
        return head.startsWith("HTTP/1.1 101");
    }
    QJsonValue evaluate(const QString& expression)
    {
        const int id = ++lastId_;
        const QJsonObject call{{"id", id},
                               {"method", "Runtime.evaluate"},
                               {"params", QJsonObject{{"expression", expression}, {"returnByValue", true}}}};
        sendText(QJsonDocument(call).toJson(QJsonDocument::Compact));
        for (;;) {
            const QByteArray message = readMessage();
            if (message.isNull())
                return {};
            const QJsonObject answer = QJsonDocument::fromJson(message).object();
            if (answer.value("id").toInt() == id)
                return answer.value("result").toObject().value("result").toObject().value("value");
        }
    }

private:
    void sendText(const QByteArray& payload)
    {
        QByteArray frame(1, char(0x81));
        if (payload.size() < 126) {
            frame += char(0x80 | payload.size());
        } else {
            frame += char(0x80 | 126);
            frame += char((payload.size() >> 8) & 0xff);
            frame += char(payload.size() & 0xff);
        }
        const QByteArray mask("\x11\x22\x33\x44", 4);
        frame += mask;
        for (qsizetype i = 0; i < payload.size(); ++i)
            frame += char(payload[i] ^ mask[i % 4]);
        socket_.write(frame);
        socket_.flush();
    }
    QByteArray readExactly(qint64 n)
    {
        QByteArray out;
        while (out.size() < n) {
            if (!socket_.bytesAvailable() && !socket_.waitForReadyRead(10000))
                return {};
            out += socket_.read(n - out.size());
        }
        return out;
    }
    QByteArray readMessage()
    {
        const QByteArray head = readExactly(2);
        if (head.size() < 2)
            return {};
        quint64 length = quint8(head[1]) & 0x7f;
        if (length >= 126) {
            const QByteArray ext = readExactly(length == 126 ? 2 : 8);
            length = 0;
            for (char c : ext)
                length = (length << 8) | quint8(c);
        }
        QByteArray payload = readExactly(qint64(length));
        return payload.isNull() ? QByteArray("") : payload;
    }

    QTcpSocket socket_;
    int lastId_ = 0;
};

QByteArray httpGet(quint16 port, const QByteArray& path)
{
    QTcpSocket s;
    s.connectToHost(QStringLiteral("127.0.0.1"), port);
    if (!s.waitForConnected(2000))
        return {};
    s.write("GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1:" + QByteArray::number(port) + "\r\n\r\n");
    QByteArray all;
    qsizetype end = -1;
    qsizetype length = -1;
    while (end < 0 || all.size() < end + 4 + length) {
        if (!s.waitForReadyRead(5000))
            return {};
        all += s.readAll();
        end = all.indexOf("\r\n\r\n");
        if (end >= 0 && length < 0) {
            const qsizetype at = all.toLower().indexOf("content-length:");
            length = at < 0 ? 0 : all.mid(at + 15, all.indexOf("\r\n", at) - at - 15).trimmed().toLongLong();
        }
    }
    return all.mid(end + 4, length);
}

quint16 freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

// The application's top-level windows on the X server, by title.
struct XClient {
    Display* dpy = XOpenDisplay(nullptr);
    ~XClient()
    {
        if (dpy)
            XCloseDisplay(dpy);
    }
    Window findViewable(qint64 pid, const QString& title)
    {
        const Atom pidAtom = XInternAtom(dpy, "_NET_WM_PID", True);
        const Atom nameAtom = XInternAtom(dpy, "_NET_WM_NAME", True);
        const Atom utf8 = XInternAtom(dpy, "UTF8_STRING", True);
        Window root = 0, parent = 0, *kids = nullptr, found = 0;
        unsigned int n = 0;
        if (pidAtom == None || !XQueryTree(dpy, DefaultRootWindow(dpy), &root, &parent, &kids, &n))
            return 0;
        for (unsigned int i = 0; i < n && !found; ++i) {
            XWindowAttributes wa;
            if (!XGetWindowAttributes(dpy, kids[i], &wa) || wa.map_state != IsViewable)
                continue;
            if (property(kids[i], pidAtom, XA_CARDINAL).toULongLong() != quint64(pid))
                continue;
            if (title.isEmpty() || property(kids[i], nameAtom, utf8).toString() == title)
                found = kids[i];
        }
        if (kids)
            XFree(kids);
        return found;
    }
    void pressOn(Window w, KeySym modifier, KeySym key)
    {
        XSetInputFocus(dpy, w, RevertToParent, CurrentTime);
        if (modifier)
            XTestFakeKeyEvent(dpy, XKeysymToKeycode(dpy, modifier), True, CurrentTime);
        XTestFakeKeyEvent(dpy, XKeysymToKeycode(dpy, key), True, CurrentTime);
        XTestFakeKeyEvent(dpy, XKeysymToKeycode(dpy, key), False, CurrentTime);
        if (modifier)
            XTestFakeKeyEvent(dpy, XKeysymToKeycode(dpy, modifier), False, CurrentTime);
        XFlush(dpy);
    }

private:
    QVariant property(Window w, Atom name, Atom type)
    {
        Atom actual = None;
        int format = 0;
        unsigned long count = 0, rest = 0;
        unsigned char* data = nullptr;
        QVariant value;
        if (XGetWindowProperty(dpy, w, name, 0, 256, False, type, &actual, &format, &count, &rest, &data) == Success
            && data && count) {
            if (type == XA_CARDINAL)
                value = quint64(*reinterpret_cast<unsigned long*>(data));
            else
                value = QString::fromUtf8(reinterpret_cast<const char*>(data), int(count));
        }
        if (data)
            XFree(data);
        return value;
    }
};

const QString kGuardTitle = QStringLiteral("确定退出米沃词典？");
const QString kStar = QStringLiteral("document.querySelector('[data-word=\"run\"].wordbook-toggle')");
}  // namespace

class TestQuitStarred : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY2(XClient().dpy, "no X display"); }

    void starredWordOutlivesTheQuit_data()
    {
        QTest::addColumn<bool>("byTermSignal");
        QTest::newRow("Ctrl+Q") << false;
        QTest::newRow("SIGTERM") << true;
    }
    void starredWordOutlivesTheQuit()
    {
        QFETCH(bool, byTermSignal);
        TestEnv env;
        FakeHttpService service;
        QFile entry(qEnvironmentVariable("MIRVOK_TEST_DATA") + "/query/full_entry.json");
        QVERIFY(entry.open(QIODevice::ReadOnly));
        service.on("GET", "/jsonapi", ScriptedResponse(200, entry.readAll(), "application/json"));
        auto& defaults = UserDefaults::standard();
        defaults.setValue(MVServiceHost, service.hostPort());
        defaults.setValue(MVWebSiteHost, service.hostPort());
        defaults.sync();

        const quint16 port = freePort();
        QProcessEnvironment pe = QProcessEnvironment::systemEnvironment();
        pe.insert("QT_QPA_PLATFORM", "xcb");
        pe.insert("QTWEBENGINE_CHROMIUM_FLAGS",
                  pe.value("QTWEBENGINE_CHROMIUM_FLAGS") + QStringLiteral(" --remote-debugging-port=%1").arg(port));
        QProcess app;
        app.setProcessEnvironment(pe);
        app.setProcessChannelMode(QProcess::SeparateChannels);
        app.setReadChannel(QProcess::StandardError);
        app.start(QStringLiteral(MIRVOK_EXECUTABLE), {});
        QVERIFY(app.waitForStarted());
        struct Reaper {
            QProcess& p;
            ~Reaper()
            {
                if (p.state() != QProcess::NotRunning) {
                    p.kill();
                    p.waitForFinished(5000);
                }
            }
        } reaper{app};
        QByteArray log;
        const auto running = [&] {
            log += app.readAllStandardError();
            return app.state() == QProcess::Running;
        };

        XClient x;
        QTRY_VERIFY_WITH_TIMEOUT(x.findViewable(app.processId(), {}) || !running(), 30000);
        QTRY_VERIFY_WITH_TIMEOUT(QDBusConnection::sessionBus().interface()->isServiceRegistered("com.mirvok.Dict")
                                     || !running(), 20000);
        QVERIFY2(running(), log.constData());
        auto query = QDBusMessage::createMethodCall("com.mirvok.Dict", "/", "com.mirvok.Dict", "Query");
        query << QStringLiteral("run") << QStringLiteral("q");
        QDBusConnection::sessionBus().call(query, QDBus::NoBlock);

        // The result page, found among the application's pages.
        std::unique_ptr<DevToolsPage> page;
        const auto pageShowsEmptyStar = [&] {
            const QByteArray raw = httpGet(port, "/json/list");
            const QJsonArray targets = QJsonDocument::fromJson(raw).array();
            for (const QJsonValue& t : targets) {
                const QJsonObject o = t.toObject();
                if (!o.value("url").toString().endsWith("result.html"))
                    continue;
                const QString ws = o.value("webSocketDebuggerUrl").toString();
                page = std::make_unique<DevToolsPage>();
                bool c = page->connectTo(port, ws.mid(ws.indexOf("/devtools/")));
                if (c
                    && page->evaluate(kStar + " ? " + kStar + ".textContent : ''").toString() == QStringLiteral("☆"))
                    return true;
            }
            return false;
        };
        QTRY_VERIFY_WITH_TIMEOUT(pageShowsEmptyStar() || !running(), 30000);
        QVERIFY2(running(), log.constData());

        // The write waits for the lock held here (well within its 5 s busy time).
        // Taking it waits in turn for whatever the application is still
        // writing (the new book's tables on a slow machine).
        const QString dbPath = env.dataHome() + "/com.mirvok.dict/wordbook.db";
        constexpr int kWaitForAppMs = 30000;
        auto lock = std::make_unique<SQLite::Database>(dbPath.toStdString(), SQLite::OPEN_READWRITE, kWaitForAppMs);
        lock->exec("BEGIN IMMEDIATE");
        page->evaluate(kStar + ".click()");
        // The quit guard asks because the word is still waiting to be written.
        const Window main = x.findViewable(app.processId(), {});
        QVERIFY(main);
        x.pressOn(main, XK_Control_L, XK_q);
        QTRY_VERIFY_WITH_TIMEOUT(x.findViewable(app.processId(), kGuardTitle) || !running(), 10000);
        QVERIFY2(running(), log.constData());
        if (byTermSignal)
            ::kill(app.processId(), SIGTERM);
        else
            x.pressOn(x.findViewable(app.processId(), kGuardTitle), 0, XK_Return);
        // Let the write through only once the application is on its way out.
        QTest::qWaitFor([&] { return log.contains("queued words before quitting") || !running(); }, 10000);
        lock->exec("COMMIT");
        lock.reset();
        QVERIFY(app.waitForFinished(30000));
        QCOMPARE(app.exitStatus(), QProcess::NormalExit);
        SQLite::Database file(dbPath.toStdString(), SQLite::OPEN_READONLY, kWaitForAppMs);
        QCOMPARE(file.execAndGet("SELECT COUNT(*) FROM WORDBOOK WHERE WORD = 'run'").getInt(), 1);
    }
};

QTEST_MAIN(TestQuitStarred)
#include "tst_quit_starred.moc"
