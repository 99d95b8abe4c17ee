#pragma once

#include <QObject>
#include <QStringList>
#include <QUrl>
#include <memory>

class FakeHttpService;
class MainViewController;
class RecordingOwner;
class TestEnv;
class QLineEdit;

// Receives the URLs the page hands to the desktop.
class UrlRecorder : public QObject {
    Q_OBJECT
public:
    QList<QUrl> opened;
public slots:
    void open(const QUrl& url) { opened << url; }
};

class TestLookupPage : public QObject {
    Q_OBJECT
public:
    TestLookupPage();
    ~TestLookupPage() override;

private slots:
    void initTestCase();
    void cleanupTestCase();
    void homePageShowsCachedThenFreshContent();
    void typingAndReturnFillTheResultPage();
    void failedLookupShowsTheErrorAndStopsTheSpinner();
    void examplesAndEncyclopediaRender();
    void offlineLookupUsesTheShippedDictionary();
    void bridgeReachesTheApplication();
    void bridgeOnlyOnOurOwnPages();
    void zoomStaysWithinItsLimits();
    void backAndForwardWalkAcrossTabs();
    void languagePairsAndReturnRules();
    void loadsPostTheirNotifications();
    void contextMenuLooksUpTheSelection();
    void menuTitlesCutOnCharacters();

private:
    void waitForResultPage();

    std::unique_ptr<TestEnv> env_;
    std::unique_ptr<FakeHttpService> service_;
    std::unique_ptr<RecordingOwner> owner_;
    MainViewController* page_ = nullptr;
    QLineEdit* input_ = nullptr;
    UrlRecorder urls_;
    QStringList wordBookCalls_;
};
