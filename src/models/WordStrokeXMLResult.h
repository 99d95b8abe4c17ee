#pragma once

#include <QMetaType>
#include <QString>
#include <QStringList>
#include <QVariantList>
#include <QVariantMap>

#include <memory>

// The short result of a captured word shown in the translation popup: filled
// by the quick-result XML reader or the offline dictionary, read by
// wordstroketemplate.
class WordStrokeXMLResult {
public:
    QString title;
    QString phone;          // "[...]", or null when the answer has none
    QStringList trans;      // in order; each becomes {"item": text} for the template
    // Elements of the shape {"item": {"key": phrase, "trans": "v1; v2; "}}
    // (an entry without a key holds an empty inner map).
    QVariantList webTrans;
    QString speech;
    // Shown instead of "nothing found" when no entry could be read at all
    // (the offline dictionary is damaged and the service out of reach).
    QString notice;

    QVariantMap toMustache() const;
};

using WordStrokeXMLResultPtr = std::shared_ptr<WordStrokeXMLResult>;
Q_DECLARE_METATYPE(WordStrokeXMLResultPtr)
