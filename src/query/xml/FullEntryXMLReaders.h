#pragma once

#include "models/BaikeXMLResult.h"
#include "models/LjSearchResult.h"
#include "models/MainQueryResult.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

// Readers of the service's older XML answers (root "mirvodict", or
// "response" for translations). The lookups read JSON; these stay for
// answers in the XML form and fill the same models.

class MainQueryXMLResultParser {
public:
    // Nothing for text that is not well-formed XML.
    MainQueryResultPtr parseXML(const QString& xml) const;
    std::optional<QString> genHTML(const QString& xml) const;
};

class LjSearchXMLResultParser {
public:
    // Always a result: an unreadable answer gives one with noAnySentence.
    LjSearchResult parseXML(const QString& xml) const;
    std::optional<QString> genHTML(const QString& xml) const;
};

class BaikeXMLResultParser {
public:
    // Links in the article get the class "bklink" before reading.
    static QString preprocess(const QString& xml);
    // Nothing for text that is not well-formed XML.
    std::optional<BaikeXMLResult> parseXML(const QString& xml) const;
    std::optional<QString> genHTML(const QString& xml) const;
};

class FanyiSearchXMLResultParser {
public:
    std::optional<FanyiSearchXMLResult> parseXML(const QString& xml) const;
    // The translation text itself; nothing when unreadable.
    std::optional<QString> genHTML(const QString& xml) const;
};

// Reads a suggestion answer as a stream and builds one HTML table row per
// "explain" that follows a "title", at most 20 rows; hands them to the
// callback when the document ends or reading stops.
class SuggestXMLParserDelegate {
public:
    static constexpr int kMaxRows = 20;
    using Callback = std::function<void(const QStringList& rows)>;

    void setCallBackTarget(QObject* target, Callback callback);
    void parse(const QString& xml);

private:
    QPointer<QObject> target_;
    bool hasTarget_ = false;
    Callback callback_;
};
