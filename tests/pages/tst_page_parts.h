#pragma once

#include <QObject>
#include <QUrl>
#include <memory>

class FakeHttpService;
class TestEnv;

class OpenedUrls : public QObject {
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void open(const QUrl& url) { urls << url; }
};

// Page parts that need no web view: the pronunciation download, the home
// page's content fetch and the translation page.
class TestPageParts : public QObject {
    Q_OBJECT
public:
    TestPageParts();
    ~TestPageParts() override;

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void pronunciationKeepsOnlyTheLatestDownload();
    void homeContentWithoutNetworkShowsBuiltInsOnce();
    void homeContentEscapesWhatItWritesIntoScripts();
    void wordBookButtonsReachTheWordBookFile();
    void translationFollowsTyping();
    void typedWebAddressOpensOnlyOnRequest();
    void longTextTranslatesOnlyOnRequest();

private:
    std::unique_ptr<TestEnv> env_;
    std::unique_ptr<FakeHttpService> service_;
    OpenedUrls opened_;
};
