// The page-error hook on one of our own pages, the way the application
// installs it on every page host.
#include "crash/CrashKit.h"
#include "crash/core/CRKContext.h"
#include "window/pages/WebPageHost.h"

#include "support/TestEnv.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

class TestCrashWebView : public QObject {
    Q_OBJECT
    QTemporaryDir dir_;

private slots:
    void initTestCase()
    {
        const QByteArray folder = dir_.path().toUtf8();
        CRKContextParameters p;
        p.reportPath = folder.constData();
        CRKContextInitialize(&p);
    }

    // Catches: a script error in our pages that nothing records.
    void scriptErrorBecomesARecordedError()
    {
        TestEnv env;
        WebPageHost::setPageHook([](QWebEnginePage* page, QWebChannel* channel) {
            CrashKit::sharedInstance().monitorErrorsForWebPage(page, channel);
        });
        WebPageHost host;
        WebPageHost::setPageHook({});
        host.loadResourcePage(QStringLiteral("result.html"));
        QVERIFY(QTest::qWaitFor([&] { return !host.isLoading(); }, 30000));
        // An inline script of the document: its details are not masked the
        // way another file's are.
        host.runScript(QStringLiteral("var s = document.createElement('script');"
                                      "s.textContent = \"throw new Error('page-error-7')\";"
                                      "document.body.appendChild(s); 1"));
        const QByteArray hex = QByteArray("page-error-7").toHex();
        QByteArray recorded;
        QVERIFY(QTest::qWaitFor(
            [&] {
                QFile f(dir_.path() + "/custom_exception_a.crkrecord");
                recorded = f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
                return recorded.contains(hex);
            },
            15000));
        QVERIFY(recorded.contains("\"javascript\""));
    }
};

QTEST_MAIN(TestCrashWebView)
#include "tst_crash_webview.moc"
