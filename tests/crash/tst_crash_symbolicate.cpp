#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>
#include <csignal>
#include <dlfcn.h>
#include <link.h>

#include "crash/CRKInternalReport.h"
#include "crash/CRKProcessReportOperation.h"
#include "crash/CRKSymbolResolver.h"
#include "crash/core/CRKContext.h"

#define NOINLINE extern "C" __attribute__((noinline, used))

static volatile int gSink;
NOINLINE int symb_inner(int x)
{
    *static_cast<volatile int*>(nullptr) = x;
    return x + 1;
}
NOINLINE int symb_outer(int x) { return symb_inner(x) * 3 + gSink; }
NOINLINE int symb_next(int x) { return x * 7 + gSink; }

namespace {

// readelf is the oracle for where our functions are: value and size of a
// .symtab entry of this very executable.
struct ElfSymbol {
    quint64 value = 0, size = 0;
};
QHash<QString, ElfSymbol> readelfSymbols()
{
    QProcess p;
    p.start(QStringLiteral("readelf"), {QStringLiteral("-sW"), QCoreApplication::applicationFilePath()});
    p.waitForFinished(20000);
    QHash<QString, ElfSymbol> out;
    static const QRegularExpression line(QStringLiteral(R"(^\s*\d+:\s+([0-9a-f]+)\s+(\d+)\s+FUNC\s+\S+\s+\S+\s+\d+\s+(\S+)$)"));
    for (const QByteArray& l : p.readAllStandardOutput().split('\n')) {
        const auto m = line.match(QString::fromLatin1(l));
        if (m.hasMatch())
            out.insert(m.captured(3), {m.captured(1).toULongLong(nullptr, 16), m.captured(2).toULongLong()});
    }
    return out;
}

QString readelfBuildId(const QString& file = QCoreApplication::applicationFilePath())
{
    QProcess p;
    p.start(QStringLiteral("readelf"), {QStringLiteral("-n"), file});
    p.waitForFinished(20000);
    const auto m = QRegularExpression(QStringLiteral("Build ID: ([0-9a-f]+)")).match(QString::fromLatin1(p.readAll()));
    return m.captured(1).left(32);
}

quint64 ownBase()
{
    quint64 base = 0;
    dl_iterate_phdr(
        [](dl_phdr_info* info, size_t, void* data) {
            *static_cast<quint64*>(data) = info->dlpi_addr;   // the executable comes first
            return 1;
        },
        &base);
    return base;
}

// A binary_images.crkrecord as the format's text describes it.
void writeImages(const QString& path, const QString& uuid, quint64 base, const QByteArray& more = {})
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(more);
    f.write(QStringLiteral("{\"load\":{\"path\":\"%1\",\"uuid\":\"%2\",\"base\":%3,\"size\":%4}}\n"
                           "{\"unload\":{\"path\":\"/x\",\"uuid\":\"00\",\"base\":1,\"size\":1}}\n{\"load\":{\"pa")
                .arg(QCoreApplication::applicationFilePath(), uuid)
                .arg(base)
                .arg(quint64(64) << 20)
                .toUtf8());
}

}  // namespace

class TestCrashSymbolicate : public QObject {
    Q_OBJECT
private slots:
    void realCrashIsNamed();
    void firstFrameExactReturnAddressesOneBack();
    void otherBuildIdStaysBare();
    void frameAboveSignalTrampolineIsExact();
    void demangling();
};

void TestCrashSymbolicate::realCrashIsNamed()
{
    QTemporaryDir dir;
    QProcess child;
    child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--crash-child"), dir.path()});
    QVERIFY(child.waitForFinished(20000));
    QCOMPARE(child.exitStatus(), QProcess::CrashExit);

    auto report = CRKInternalReport::reportWithPath(dir.path());
    QVERIFY(report);
    QCOMPARE(report->identifier(), QStringLiteral("sym-session"));
    CRKProcessReportOperation(report, std::make_shared<CRKSymbolResolver>()).main();
    QFile out(dir.path() + "/signal.crkrecord.symbolicated");
    QVERIFY(out.open(QIODevice::ReadOnly));
    const QByteArray line = out.readAll();
    QVERIFY(line.endsWith("]]}\n"));
    const QJsonArray threads = QJsonDocument::fromJson(line).object().value("threads").toArray();
    const auto symbols = readelfSymbols();
    const QString library = QFileInfo(QCoreApplication::applicationFilePath()).fileName();
    bool found = false;
    for (const QJsonValue& t : threads) {
        const QJsonArray frames = t.toArray();
        if (frames.size() < 2 || frames[0].toObject().value("symbol").toString() != "symb_inner")
            continue;
        found = true;
        QCOMPARE(frames[0].toObject().value("library").toString(), library);
        QVERIFY(quint64(frames[0].toObject().value("offset").toDouble()) < symbols.value("symb_inner").size);
        QCOMPARE(frames[1].toObject().value("symbol").toString(), QStringLiteral("symb_outer"));
        QVERIFY(frames[1].toObject().value("offset").toDouble() > 0);
        QVERIFY(quint64(frames[1].toObject().value("offset").toDouble()) <= symbols.value("symb_outer").size);
    }
    QVERIFY2(found, line.left(1500).constData());
}

void TestCrashSymbolicate::firstFrameExactReturnAddressesOneBack()
{
    QTemporaryDir dir;
    const auto symbols = readelfSymbols();
    QVERIFY(symbols.contains("symb_inner") && symbols.contains("symb_next"));
    writeImages(dir.path() + "/images", readelfBuildId(), ownBase());
    CRKSymbolResolver resolver;
    QVERIFY(resolver.loadBinaryImagesFromFile(dir.path() + "/images"));
    const quint64 base = ownBase();
    const ElfSymbol inner = symbols.value("symb_inner");
    const ElfSymbol next = symbols.value("symb_next");
    // A stack overflow faults on a function's first instruction; a call
    // that ends its function returns to the next function's start.
    CRKThreadArray threads{{CRKStackFrame::stackFrameWithAddress(base + next.value),
                            CRKStackFrame::stackFrameWithAddress(base + inner.value + inner.size),
                            CRKStackFrame::stackFrameWithAddress(base + inner.value + 5)},
                           {}};
    CRKProcessReportOperation::symbolicate(threads, resolver);
    QCOMPARE(threads[0][0].symbol, QStringLiteral("symb_next"));
    QCOMPARE(threads[0][0].offset, quint64(0));
    QCOMPARE(threads[0][1].symbol, QStringLiteral("symb_inner"));
    QCOMPARE(threads[0][1].offset, inner.size);
    QCOMPARE(threads[0][2].offset, quint64(5));
    QCOMPARE(CRKProcessReportOperation::serialize({{}, {}}), QByteArray("{\"threads\":[[],[]]}\n"));
}

// Catches: the frame a signal interrupted (above the C library's handler
// return trampoline) named one byte back: at a function's first
// instruction, that is the function before it.
void TestCrashSymbolicate::frameAboveSignalTrampolineIsExact()
{
    struct sigaction action {}, previous {}, readBack {};
    action.sa_handler = [](int) {};
    sigaction(SIGUSR2, &action, &previous);
    sigaction(SIGUSR2, nullptr, &readBack);
    sigaction(SIGUSR2, &previous, nullptr);
    Dl_info libc;
    QVERIFY(readBack.sa_restorer && dladdr(reinterpret_cast<void*>(readBack.sa_restorer), &libc));
    const QString libcPath = QString::fromLocal8Bit(libc.dli_fname);
    QTemporaryDir dir;
    writeImages(dir.path() + "/images", readelfBuildId(), ownBase(),
                QStringLiteral("{\"load\":{\"path\":\"%1\",\"uuid\":\"%2\",\"base\":%3,\"size\":%4}}\n")
                    .arg(libcPath, readelfBuildId(libcPath))
                    .arg(quint64(quintptr(libc.dli_fbase)))
                    .arg(quint64(16) << 20)
                    .toUtf8());
    CRKSymbolResolver resolver;
    QVERIFY(resolver.loadBinaryImagesFromFile(dir.path() + "/images"));
    const ElfSymbol next = readelfSymbols().value("symb_next");
    const quint64 base = ownBase();
    CRKThreadArray threads{{CRKStackFrame::stackFrameWithAddress(base + next.value + 2),
                            CRKStackFrame::stackFrameWithAddress(quint64(quintptr(readBack.sa_restorer))),
                            CRKStackFrame::stackFrameWithAddress(base + next.value)}};
    CRKProcessReportOperation::symbolicate(threads, resolver);
    QCOMPARE(threads[0][2].symbol, QStringLiteral("symb_next"));
    QCOMPARE(threads[0][2].offset, quint64(0));
}

void TestCrashSymbolicate::otherBuildIdStaysBare()
{
    QTemporaryDir dir;
    writeImages(dir.path() + "/images", QStringLiteral("00112233445566778899aabbccddeeff"), ownBase());
    CRKSymbolResolver resolver;
    QVERIFY(resolver.loadBinaryImagesFromFile(dir.path() + "/images"));
    CRKThreadArray threads{{CRKStackFrame::stackFrameWithAddress(quint64(reinterpret_cast<quintptr>(&symb_outer)))}};
    CRKProcessReportOperation::symbolicate(threads, resolver);
    QCOMPARE(CRKProcessReportOperation::serialize(threads),
             QByteArray("{\"threads\":[[{\"symbol\":null,\"offset\":0,\"library\":null}]]}\n"));
}

void TestCrashSymbolicate::demangling()
{
    QCOMPARE(CRKSymbolResolver::demangleSymbol("_Z3foov"), QStringLiteral("foo()"));
    QCOMPARE(CRKSymbolResolver::demangleSymbol("__Z3foov_block_invoke_2"), QStringLiteral("foo()_block_invoke_2"));
    QVERIFY(CRKSymbolResolver::demangleSymbol("__Z_block_invoke").isNull());
    QVERIFY(CRKSymbolResolver::demangleSymbol("main").isNull());
    QVERIFY(CRKSymbolResolver::demangleSymbol("_Tswift").isNull());
    QVERIFY(CRKSymbolResolver::demangleSymbol("_Znot-mangled").isNull());
    CRKThreadArray threads{{CRKStackFrame::stackFrameWithSymbol("_ZN3Foo3barEv"), CRKStackFrame::stackFrameWithSymbol("plain")}};
    CRKProcessReportOperation::demangle(threads);
    QCOMPARE(threads[0][0].symbol, QStringLiteral("Foo::bar()"));
    QCOMPARE(threads[0][1].symbol, QStringLiteral("plain"));
}

int main(int argc, char** argv)
{
    if (argc == 3 && strcmp(argv[1], "--crash-child") == 0) {
        CRKContextParameters params;
        params.reportPath = argv[2];
        params.sessionId = "sym-session";
        params.apiKey = "key";
        CRKContextInitialize(&params);
        return symb_outer(argc);
    }
    QCoreApplication app(argc, argv);
    TestCrashSymbolicate test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_crash_symbolicate.moc"
