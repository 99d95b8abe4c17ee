// Time from a change of the search text to the quick result's HTML in the
// result page, and from Return to the full entry in the page, against a
// fake dictionary service that answers at once. Medians over 50 lookups,
// and the full entry's time split into its parts: the request, reading the
// answer with the template, and the page update.
#include "support/FakeHttpService.h"
#include "support/FakeReachability.h"
#include "support/TestEnv.h"

#include "platform/UserDefaults.h"
#include "query/AppConstants.h"
#include "query/RequestData.h"
#include "query/controllers/MainQueryController.h"
#include "query/controllers/QueryReaders.h"
#include "window/pages/WebPageHost.h"
#include "window/pages/MainViewController.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QLineEdit>
#include <QTest>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

QByteArray sharedData(const char* name)
{
    QFile f(QStringLiteral(SHARED_TEST_DATA "/") + QLatin1String(name));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QVariant js(MainViewController* page, const QString& script)
{
    // An event loop of its own, not QTest's waits: those sleep in 10 ms steps.
    QVariant result;
    QEventLoop loop;
    page->webView()->page()->runJavaScript(script, [&](const QVariant& v) {
        result = v;
        loop.quit();
    });
    loop.exec();
    return result;
}

// Polls the page as fast as the engine answers until the marker shows.
bool waitForMarker(MainViewController* page, const QString& marker)
{
    const QString probe = QStringLiteral("document.getElementById('result').innerHTML.indexOf(%1) >= 0")
                              .arg(QStringLiteral("'") + marker + QStringLiteral("'"));
    for (int i = 0; i < 20000; ++i) {
        if (js(page, probe).toBool())
            return true;
    }
    return false;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv)
{
    qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    if (qEnvironmentVariableIsEmpty("QTWEBENGINE_CHROMIUM_FLAGS"))
        qputenv("QTWEBENGINE_CHROMIUM_FLAGS", "--disable-gpu --no-sandbox");
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    TestEnv env;
    auto* service = new FakeHttpService;  // left open: keep-alive connections outlive the run
    UserDefaults::standard().setValue(MVServiceHost, service->hostPort());
    Reachability::setShared(std::make_unique<FakeReachability>(true));
    ScriptedResponse fsearch;
    fsearch.body = sharedData("query/fsearch.xml");
    fsearch.contentType = "text/xml";
    service->on("GET", "/fsearch", fsearch);
    ScriptedResponse suggest;
    suggest.body = "<suggest><items><item><title>hello</title><explain>int. 喂</explain></item></items></suggest>";
    service->on("GET", "/suggest/minisuggest", suggest);
    ScriptedResponse entry;
    entry.body = sharedData("query/full_entry.json");
    entry.contentType = "application/json";
    service->on("*", "/jsonapi", entry);
    service->on("GET", "/appapi/log", ScriptedResponse{});

    QLineEdit input;
    MainViewController page;
    page.setInput(&input);
    page.resize(900, 700);
    page.show();
    auto* qc = qobject_cast<MainQueryController*>(page.queryControllers().at(0));
    page.loadResourcePage(QStringLiteral("result.html"));
    if (!QTest::qWaitFor([&] { return page.mainFrameUrl().endsWith("result.html") && !page.isLoading(); }, 20000)) {
        std::fprintf(stderr, "result page did not load\n");
        return 1;
    }
    QTest::qWait(300);

    {
        QElapsedTimer t;
        t.start();
        for (int i = 0; i < 20; ++i)
            js(&page, "1");
        std::printf("script round trip: %.2f ms\n", t.nsecsElapsed() / 1e6 / 20);
        t.restart();
        bool got = false;
        qc->fsearchRequestData()->requestDataWithURL(MainQueryController::fsearchUrl("x", "eng"), {}, {}, nullptr,
                                                     [&](const QVariant&) { got = true; });
        while (!got)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        std::printf("one request: %.2f ms\n", t.nsecsElapsed() / 1e6);
    }
    std::vector<double> quick, full;
    for (int i = 0; i < 50; ++i) {
        js(&page, "document.getElementById('result').innerHTML=''");
        QElapsedTimer t;
        t.start();
        qc->onSearchBoxChanged(QStringLiteral("hello%1").arg(i));
        if (!waitForMarker(&page, QStringLiteral("喂"))) {
            std::fprintf(stderr, "quick result never shown\n");
            return 1;
        }
        quick.push_back(t.nsecsElapsed() / 1e6);

        js(&page, "document.getElementById('result').innerHTML=''");
        input.setText(QStringLiteral("run%1").arg(i));
        t.restart();
        page.performQuery();
        if (!waitForMarker(&page, QStringLiteral("奔跑"))) {
            std::fprintf(stderr, "full entry never shown\n");
            return 1;
        }
        full.push_back(t.nsecsElapsed() / 1e6);
    }
    std::printf("search text change -> quick result in page: median %.1f ms (target < 30 ms)\n", median(quick));
    std::printf("Return -> full entry in page:               median %.1f ms (target < 40 ms)\n", median(full));

    // The parts of the full entry, each alone.
    std::vector<double> request, read, update;
    const QString json = QString::fromUtf8(sharedData("query/full_entry.json"));
    for (int i = 0; i < 50; ++i) {
        QElapsedTimer t;
        t.start();
        bool got = false;
        qc->fsearchRequestData()->requestDataWithURL(MainQueryController::mainQueryUrl(QStringLiteral("run%1").arg(i), "eng"),
                                                     {}, {}, nullptr, [&](const QVariant&) { got = true; });
        while (!got)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        request.push_back(t.nsecsElapsed() / 1e6);

        t.restart();
        const QString html = readers::fullEntryHtml(json, QStringLiteral("run"), QString(), QString()).value_or(QString());
        read.push_back(t.nsecsElapsed() / 1e6);

        js(&page, "document.getElementById('result').innerHTML=''");
        t.restart();
        page.pageHost()->setInnerHtml(QStringLiteral("result"), html);
        if (!waitForMarker(&page, QStringLiteral("奔跑"))) {
            std::fprintf(stderr, "full entry never shown\n");
            return 1;
        }
        update.push_back(t.nsecsElapsed() / 1e6);
    }
    std::printf("  of which: request %.1f ms, reading and template %.2f ms, page update %.1f ms (medians)\n",
                median(request), median(read), median(update));
    std::fflush(stdout);
    std::_Exit(0);
}
