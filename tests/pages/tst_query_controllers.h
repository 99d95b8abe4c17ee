#pragma once

#include <QObject>
#include <QStringList>
#include <memory>

class TestEnv;
class FakeHttpService;

class TestQueryControllers : public QObject {
    Q_OBJECT
    std::unique_ptr<TestEnv> env_;
    std::unique_ptr<FakeHttpService> service_;
    QStringList offlineWords_;

public:
    TestQueryControllers();
    ~TestQueryControllers() override;

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();
    void reachabilityStartsFromTheProbe();
    void serviceAddressesCarryTheLanguage();
    void typingSendsSuggestionsAndQuickResultAtOnce();
    void suggestionsStayParallelAndQuickResultShows();
    void emptyTextGoesHome();
    void offlineTypingSearchesTheWordCurrentWhenTheTimerFires();
    void fullEntryGoesAsGetBelow800EscapedCharactersElsePost();
    void usageEventGoesBeforeTheEntryRequest();
    void answersWaitForTheResultPage();
    void failureBeforeLoadStopsSpinnerAndShowsTheError();
    void networkErrorKeepsTheResultPageUsable();
    void offlineEntryIsRenderedAndSpinnerCleared();
    void historyRowsCarryTheServiceAnswer();
    void unanswerableLookupsStopTheSpinner();
    void returnDropsAnswersOfTheTypingItOvertook();
    void newLookupKeepsItsLoadingIndicator();
    void failingQuickResultFallsBackOffline();
    void queryWaitsWhileThePageLoads();
    void zoomStartsAtOneWhenNothingIsStored();
    void examplesRequestAndAnswer();
    void examplesFailureAndJunk();
    void encyclopediaFetchesTheCounterpart();
    void encyclopediaCounterpartNamingNeitherLanguage();
    void answersShowAboveTheWelcomePicture();
    void encyclopediaSearchesWhenThereIsNoArticle();
    void encyclopediaSingleArticleRestoresScrollOnce();
    void encyclopediaSuggestionsAreTitlesOnly();
    void translationGetPostBoundaryAndDirection();
    void translationFailureSaysSorry();
};
