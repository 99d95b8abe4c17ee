#pragma once

#include <QString>
#include <memory>

// One word of the book. Fields may be absent (null QString) as well as empty:
// the merge of received actions fills only absent fields.
class MVWordBookItem {
public:
    QString word;
    QString definition;
    QString phonetic;
    QString timeStamp;
    QString date;
    QString time;
    QString tags;

    // The row as it was read for upload; clearing change marks afterwards
    // compares with it so that a word edited meanwhile keeps its mark.
    QString rowTime;
    QString rowIntp;

    // Phonetic (bracketed once), the two-character separator "\n", definition.
    QString intp() const;
    static QString makeIntp(const QString& phonetic, const QString& definition);
};

// The review-plan record of one word.
class MVWordBookRemItem {
public:
    QString word;
    QString remTimpstamp;
    QString progress;
    QString remModTime;
};

using MVWordBookItemPtr = std::shared_ptr<MVWordBookItem>;
using MVWordBookRemItemPtr = std::shared_ptr<MVWordBookRemItem>;

// One change of one word travelling to or from the service. Records are shared
// by reference: a merge that fills a field changes it for every holder.
class MVSyncAction {
public:
    MVWordBookItemPtr item;
    MVWordBookRemItemPtr remItem;
    bool withWordInfo = false;
    bool withRemInfo = false;
    bool isAdd = false;
};

using MVSyncActionPtr = std::shared_ptr<MVSyncAction>;
