#pragma once

#include "models/WordStrokeXMLResult.h"

#include <QString>
#include <QVariant>

#include <optional>

// What the popup shows for one capture answer.
struct WordStrokeAnswer {
    WordStrokeXMLResultPtr result;  // null when the answer could not be read
    QString html;                   // empty when there is nothing to show
    QString title;
};

// Reads the quick-result answer (root "mirvodict") of a captured word into a
// WordStrokeXMLResult and renders it with wordstroketemplate for the popup.
// The mini window reads the same answers through this class, so it keeps no
// state beyond the title of the last answer.
class WordStrokeXMLResultParser {
public:
    // Nothing when the text is not well-formed XML (a DOCTYPE is refused, the
    // document helper never expands entities). Sets title().
    WordStrokeXMLResultPtr parseXML(const QString& xml);
    // The popup's HTML; "" when the answer has neither translations nor web
    // translations; nothing when the text is not XML or rendering fails.
    // Sets title().
    std::optional<QString> genHTML(const QString& xml);
    // The popup's HTML for a result already read (an offline answer).
    static std::optional<QString> render(const WordStrokeXMLResult& result);
    // A capture answer as the lookup hands it over: the service's bytes, or
    // a result the shipped dictionary made.
    static WordStrokeAnswer readAnswer(const QVariant& answer);
    // What the popup and the mini window show for `word` when the service is
    // out of reach and the shipped dictionary could not be read: a result
    // that says so; null while the dictionary is sound (a plain miss).
    static WordStrokeXMLResultPtr offlineUnavailable(const QString& word);

    // The return-phrase of the last answer read; null before any.
    QString title() const { return title_; }

private:
    QString title_;
};
