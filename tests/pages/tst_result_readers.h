#pragma once

#include <QObject>

class TestResultReaders : public QObject {
    Q_OBJECT

private slots:
    void sentencesReadPairsAndSpeechFallback();
    void sentencesWithoutPairsShowNothingElse();
    void sentenceTemplateEscapesServiceText();
    void articleSourcesAndInput();
    void searchResults();
    void bilingualPairRendersBothPanes();
    void translationJoinsSegments();
};
