#pragma once

#include <QMetaType>
#include <QString>
#include <QStringList>
#include <QVariantMap>

#include <memory>

// The quick result shown while the user types: filled by the quick-result
// reader or the offline dictionary, read by fsearchtemplate.
class FSearchResult {
public:
    QString title;
    QString phone;        // "[...]", or null when the answer has none
    QStringList trans;    // in order; each becomes {"item": text} for the template
    bool haveSpeech = false;

    QVariantMap toMustache() const;
};

using FSearchResultPtr = std::shared_ptr<FSearchResult>;
Q_DECLARE_METATYPE(FSearchResultPtr)
