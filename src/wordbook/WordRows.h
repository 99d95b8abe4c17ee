#pragma once

#include <QHash>
#include <QList>
#include <QString>
#include <QStringView>

// A word list in the order a screen shows it, each row's word and stored
// paraphrase held back to back in one text. A book of a million words costs
// tens of megabytes this way, where a string per field cost hundreds, and
// the list is handed from the store's queue to the window without a copy.
class WordRows {
public:
    qsizetype size() const { return order_.size(); }
    bool isEmpty() const { return order_.isEmpty(); }
    // Views into the list: valid while it lives unchanged.
    QStringView word(qsizetype row) const;
    QStringView paraphrase(qsizetype row) const;
    // The first row listing the word, or -1.
    qsizetype indexOf(QStringView word) const;

    // Building: rows in the order they were read, each under a section key;
    // finish() lists the sections in the given key order, each section's
    // rows in the order they came.
    void append(QStringView word, QStringView paraphrase, const QString& section);
    void finish(const QStringList& sectionOrder);
    QStringList sections() const { return sectionNames_; }

private:
    struct Span {
        qsizetype start = 0;
        qint32 wordLength = 0;
        qint32 paraphraseLength = 0;
    };
    QString text_;
    QList<Span> spans_;  // in the order read
    QList<qint32> order_;  // shown row → read row
    // Only while building.
    QList<qint32> sectionOf_;
    QStringList sectionNames_;
    QHash<QString, qint32> sectionIds_;
};
