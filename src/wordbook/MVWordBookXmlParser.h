#pragma once

#include "wordbook/MVWordBookItem.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <optional>

class MVWordBookXmlParser;

class MVWordBookXmlParseDelegate {
public:
    virtual ~MVWordBookXmlParseDelegate() = default;
    virtual void parseFailed() = 0;
    virtual void parseDone(MVWordBookXmlParser* parser) = 0;
};

// Reads one answer of the word-book service. Element names are matched
// anywhere in the tree; only leaf elements carry values.
class MVWordBookXmlParser {
public:
    // Runs synchronously: the delegate hears parseDone or parseFailed before
    // this returns. Returns whether the document was read to its end.
    bool parseXml(const QByteArray& data, MVWordBookXmlParseDelegate* delegate);

    std::optional<QString> operation;  // absent when the answer has none
    quint64 errCode = 0;
    QString timestamp;
    QString remTimestamp;
    // Absent without an actionlist element; absent counts as empty.
    std::optional<QList<MVSyncActionPtr>> addList;
    std::optional<QList<MVSyncActionPtr>> delList;

private:
    void elementStarted(const QString& name, const QString* type);
    void elementEnded(const QString& name);

    std::optional<QString> content_;
    MVSyncActionPtr oneAction_;
    // Actions outside an actionlist are read but kept nowhere.
};
