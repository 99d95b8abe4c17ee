#include "capture/BrowserBridgeRequest.h"
#include "capture/GetWordMonitor.h"
#include "capture/GetWordServer.h"
#include "capture/LoopbackPeer.h"
#include "platform/NotificationCenter.h"
#include "platform/SingleInstance.h"
#include "support/GuiTestHelpers.h"
#include "support/TestEnv.h"
#include "support/capture/LoopbackClient.h"

#include <QDBusConnection>
#include <QElapsedTimer>
#include <QNetworkInterface>
#include <QFile>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <sys/resource.h>
#include <thread>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

// Watches BROWSER_GOT_WORD_MSG from a bus connection of its own, as another
// process would.
class SignalWatcher : public QObject {
    Q_OBJECT
public:
    QStringList words;
public slots:
    void onWord(const QString& w) { words << w; }
};

namespace {
// Connects, writes each part (waiting `gapMs` between them) and, unless
// `keepOpen`, closes. The socket is returned when kept open.
std::unique_ptr<QTcpSocket> send(quint16 port, const QList<QByteArray>& parts, int gapMs = 0,
                                 bool keepOpen = false) {
    auto s = std::make_unique<QTcpSocket>();
    s->connectToHost(QHostAddress::LocalHost, port);
    if (!s->waitForConnected(2000)) return nullptr;
    for (int i = 0; i < parts.size(); ++i) {
        if (i && gapMs) QTest::qWait(gapMs);
        s->write(parts[i]);
        s->waitForBytesWritten(1000);
    }
    if (!keepOpen) s->disconnectFromHost();
    return s;
}

QByteArray line(const QByteArray& query) { return "GET /getword?" + query + " HTTP/1.1\r\n"; }

bool connectRaw(const char* address, quint16 port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    ::inet_pton(AF_INET, address, &a.sin_addr);
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    ::close(fd);
    return ok;
}
}  // namespace

class CaptureBridgeTest : public QObject {
    Q_OBJECT
    std::unique_ptr<TestEnv> env_;
    std::unique_ptr<GetWordMonitor> monitor_;
    SignalWatcher watcher_;
    QStringList posted_;
    quint16 port_ = 0;

    void reset() {
        watcher_.words.clear();
        posted_.clear();
    }

private slots:
    void initTestCase() {
        env_ = std::make_unique<TestEnv>();
        QVERIFY(QDBusConnection::sessionBus().isConnected());
        QDBusConnection other = QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("watcher"));
        QVERIFY(other.connect(QString(), QStringLiteral("/"), QStringLiteral("com.mirvok.Dict"),
                              QStringLiteral("BROWSER_GOT_WORD_MSG"), &watcher_, SLOT(onWord(QString))));
        NotificationCenter::defaultCenter().addObserver(
            QStringLiteral("BROWSER_GOT_WORD_MSG"), this,
            [this](const Notification& n) { posted_ << n.userInfo.value(QStringLiteral("object")).toString(); });
        monitor_ = std::make_unique<GetWordMonitor>();
        QVERIFY(monitor_->startServer(0));
        port_ = monitor_->port();
        QVERIFY(port_ != 0);
    }
    void init() { reset(); }

    // GB18030 needs a real converter, escapes are undone after the split at
    // "&", and the word may carry bars the receiver keeps.
    void wordsArriveWholeOnTheBusAndAsNotification() {
        // 苹果 (two-byte), U+20000 (four-byte), "a&b", "a|b", fields in another order.
        send(port_, {line("word=%C6%BB%B9%FB&pos=0&type=1")});
        QTRY_COMPARE(watcher_.words.size(), 1);
        send(port_, {line("word=%952%826&pos=3&type=0")});
        send(port_, {line("word=a%26b&pos=1&type=1")});
        send(port_, {line("word=a%7Cb&pos=0&type=1")});
        send(port_, {line("type=1&pos=2&word=go")});
        QTRY_COMPARE(watcher_.words.size(), 5);
        const QStringList expected = {QString::fromUtf8("1|0|苹果"), QStringLiteral("0|3|") + QString::fromUcs4(U"\U00020000", 1),
                                   QStringLiteral("1|1|a&b"), QStringLiteral("1|0|a|b"), QStringLiteral("1|2|go")};
        QCOMPARE(watcher_.words, expected);
        QTRY_COMPARE(posted_, expected);
    }

    void malformedRequestsAreDroppedAndTheBridgeGoesOn() {
        send(port_, {line("word=%G1&pos=0&type=1")});   // bad escape
        send(port_, {line("word=%C6&pos=0&type=1")});   // cut GB18030 sequence
        send(port_, {line("word=ab&pos=0")});           // a field missing
        send(port_, {QByteArray("GET\r\n")});                       // no target
        send(port_, {QByteArray("\n")});
        send(port_, {line("word=%B9%FB&pos=0&type=1")});  // the cut byte must not reach this one
        QTRY_COMPARE(watcher_.words, QStringList{QString::fromUtf8("1|0|果")});
        QTest::qWait(100);
        QCOMPARE(watcher_.words.size(), 1);
    }

    void aLineInTwoWritesOrEndedByTheStreamArrives() {
        send(port_, {QByteArray("GET /getword?word=sp"), QByteArray("lit&pos=0&type=1 HTTP/1.1\r\n")}, 300);
        send(port_, {QByteArray("GET /getword?word=eof&pos=0&type=1 HTTP/1.1")});
        QTRY_COMPARE(watcher_.words, (QStringList{QStringLiteral("1|0|split"), QStringLiteral("1|0|eof")}));
    }

    void anIdleClientDelaysNobodyAndIsDroppedAfterTwoSeconds() {
        auto idle = send(port_, {QByteArray("GET /getword?word=idle")}, 0, true);
        QVERIFY(idle);
        // Served long before the idle one is dropped (2 s), however busy
        // the machine.
        send(port_, {line("word=fast&pos=0&type=1")});
        QTRY_COMPARE_WITH_TIMEOUT(watcher_.words.size(), 1, 1500);
        // The idle line never completes: its connection is closed, no word.
        QTRY_COMPARE_WITH_TIMEOUT(idle->state(), QAbstractSocket::UnconnectedState, 4000);
        QCOMPARE(watcher_.words, QStringList{QStringLiteral("1|0|fast")});
    }

    void fourKilobytesWithoutALineFeedAreDropped() {
        auto big = send(port_, {QByteArray(4097, 'a')}, 0, true);
        QVERIFY(big);
        QTRY_COMPARE_WITH_TIMEOUT(big->state(), QAbstractSocket::UnconnectedState, 1500);
        send(port_, {line("word=after&pos=0&type=1")});
        QTRY_COMPARE(watcher_.words, QStringList{QStringLiteral("1|0|after")});
    }

    // A line that passes the cap is dropped even when the stream ends right
    // after: what was kept of it is not a whole request.
    void anOversizedLineEndedByTheStreamIsDropped() {
        send(port_, {"GET /getword?word=big&pos=0&type=1 X" + QByteArray(5000, 'a')});
        send(port_, {line("word=after&pos=0&type=1")});
        QTRY_COMPARE(watcher_.words, QStringList{QStringLiteral("1|0|after")});
        QTest::qWait(100);
        QCOMPARE(watcher_.words, QStringList{QStringLiteral("1|0|after")});
    }

    // A thousand connections back to back: none waits for a retry.
    void aBurstIsServedAtOnce() {
        std::atomic<int> words{0};
        GetWordServer server([&](const browserbridge::BrowserWord&) { ++words; });
        QVERIFY(server.start(0));
        const QByteArray request = line("word=burst&pos=0&type=1");
        QElapsedTimer t;
        t.start();
        for (int i = 0; i < 1000; ++i) QVERIFY(sendAndClose(server.port(), request));
        QTRY_COMPARE_WITH_TIMEOUT(words.load(), 1000, 10000);
        qInfo("1000 connections served in %lld ms", t.elapsed());
        // A retry after a dropped connection alone costs a second.
        QVERIFY2(t.elapsed() < 3000, qPrintable(QString::number(t.elapsed())));
    }

    // Another user's process may connect; its words are not ours.
    void onlyOurUsersWordsAreServed() {
        if (::getuid() != 0) QSKIP("needs root to connect as another user");
        const QByteArray theirs = line("word=theirs&pos=0&type=1");
        const pid_t child = ::fork();
        if (child == 0) {
            if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(2);
            const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
            sockaddr_in a{};
            a.sin_family = AF_INET;
            a.sin_port = htons(port_);
            a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) ::_exit(3);
            if (::write(fd, theirs.constData(), size_t(theirs.size())) != theirs.size()) ::_exit(4);
            // Stays connected until the bridge has decided.
            char c;
            (void)!::read(fd, &c, 1);
            ::_exit(0);
        }
        QVERIFY(child > 0);
        int status = -1;
        QVERIFY(guitest::spinUntil([&] { return ::waitpid(child, &status, WNOHANG) == child; }, 5000));
        QCOMPARE(WEXITSTATUS(status), 0);
        send(port_, {line("word=ours&pos=0&type=1")});
        QTRY_COMPARE(watcher_.words, QStringList{QStringLiteral("1|0|ours")});
    }

    // Where the kernel cannot be asked directly, its socket tables name the
    // owner of a live connection's client end.
    void socketTablesNameTheOwner() {
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost));
        QTcpSocket client;
        client.connectToHost(QHostAddress::LocalHost, server.serverPort());
        QVERIFY(client.waitForConnected(2000));
        QFile tcp(QStringLiteral("/proc/net/tcp"));
        QVERIFY(tcp.open(QIODevice::ReadOnly));
        const auto sockets = loopbackpeer::readTable(tcp.readAll());
        const auto owner = loopbackpeer::ownerOf(sockets, htonl(INADDR_LOOPBACK), client.localPort(), server.serverPort());
        QVERIFY(owner);
        QCOMPARE(*owner, quint32(::getuid()));
        QVERIFY(!loopbackpeer::ownerOf(sockets, htonl(INADDR_LOOPBACK), client.localPort(), server.serverPort() + 1));
    }

    void listensOnLoopbackOnly() {
        QVERIFY(connectRaw("127.0.0.1", port_));
        QVERIFY(!connectRaw("127.0.0.2", port_));
        QString external;
        for (const QHostAddress& a : QNetworkInterface::allAddresses())
            if (a.protocol() == QAbstractSocket::IPv4Protocol && !a.isLoopback()) external = a.toString();
        if (external.isEmpty()) QSKIP("no non-loopback IPv4 address on this machine");
        QVERIFY(!connectRaw(qPrintable(external), port_));
    }

    void aTakenPortIsLoggedAndTheApplicationGoesOn() {
        GetWordServer second([](const browserbridge::BrowserWord&) {});
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^bind: ")));
        QVERIFY(!second.start(port_));
        QVERIFY(!second.isRunning());
        // The first one still serves.
        send(port_, {line("word=still&pos=0&type=1")});
        QTRY_COMPARE(watcher_.words, QStringList{QStringLiteral("1|0|still")});
    }

    // Out of descriptors, accept fails at once every time: the listener
    // backs off instead of spinning (which would log thousands of lines),
    // and serves the waiting client once descriptors are back.
    void failingAcceptBacksOff() {
        static std::atomic<int> acceptErrors{0};
        acceptErrors = 0;
        QAtomicInt words;
        GetWordServer server([&words](const browserbridge::BrowserWord&) { words.ref(); });
        QVERIFY(server.start(0));
        // The client's descriptor exists before the limit drops; the
        // connection arrives after.
        const int client = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(server.port());
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        const QtMessageHandler previous = qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString& m) {
            if (m.startsWith(QLatin1String("accept: "))) ++acceptErrors;
        });
        rlimit saved{};
        ::getrlimit(RLIMIT_NOFILE, &saved);
        // The lowest free descriptor number becomes the limit: every new
        // descriptor fails, while poll() still accepts its few entries.
        const int lowestFree = ::dup(0);
        ::close(lowestFree);
        rlimit none = saved;
        none.rlim_cur = rlim_t(lowestFree);
        ::setrlimit(RLIMIT_NOFILE, &none);
        const bool connected = ::connect(client, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
        // Nothing on this thread may open a descriptor meanwhile.
        std::this_thread::sleep_for(std::chrono::milliseconds(600));
        ::setrlimit(RLIMIT_NOFILE, &saved);
        qInstallMessageHandler(previous);
        QVERIFY(connected);
        QVERIFY2(acceptErrors >= 1 && acceptErrors <= 8, qPrintable(QString::number(acceptErrors)));
        const QByteArray request = line("word=back&pos=0&type=1");
        QCOMPARE(::write(client, request.constData(), size_t(request.size())), ssize_t(request.size()));
        QTRY_COMPARE(words.loadRelaxed(), 1);
        ::close(client);
    }

    void requestLineReader() {
        using browserbridge::parseRequestLine;
        QVERIFY(!parseRequestLine("GET /getword?word=a&pos=0&type=1"));  // one blank only
        QVERIFY(!parseRequestLine("GET /getword?word=&pos=0&type=1 HTTP/1.1"));  // empty word
        QVERIFY(!parseRequestLine("GET /getword?word=a%2&pos=0&type=1 HTTP/1.1"));  // escape cut short
        // Bytes that are no GB18030 at all, before valid ones.
        QVERIFY(!parseRequestLine("GET /getword?word=%FFab&pos=0&type=1 HTTP/1.1"));
        QVERIFY(!parseRequestLine("GET /getword?word=%C6%20ab&pos=0&type=1 HTTP/1.1"));
        const auto w = parseRequestLine("GET /getword?word=a+b&pos=99999999999&type=-1&x=1 HTTP/1.1\r");
        QVERIFY(w);
        QCOMPARE(w->word, QStringLiteral("a+b"));
        QCOMPARE(w->pos, INT_MAX);
        QCOMPARE(w->type, -1);
    }
};

QTEST_GUILESS_MAIN(CaptureBridgeTest)
#include "tst_capture_bridge.moc"
