#include "wordbook/WordRows.h"

#include <QHash>

#include <limits>

QStringView WordRows::word(qsizetype row) const
{
    if (row < 0 || row >= order_.size())
        return {};
    const Span& s = spans_.at(order_.at(row));
    return QStringView(text_).mid(s.start, s.wordLength);
}

QStringView WordRows::paraphrase(qsizetype row) const
{
    if (row < 0 || row >= order_.size())
        return {};
    const Span& s = spans_.at(order_.at(row));
    return QStringView(text_).mid(s.start + s.wordLength, s.paraphraseLength);
}

qsizetype WordRows::indexOf(QStringView word) const
{
    for (qsizetype r = 0; r < order_.size(); ++r)
        if (this->word(r) == word)
            return r;
    return -1;
}

void WordRows::append(QStringView word, QStringView paraphrase, const QString& section)
{
    // A row index must fit the view's int rows; a field beyond 2^31 units
    // cannot come from the store.
    if (spans_.size() >= std::numeric_limits<qint32>::max()
        || word.size() > std::numeric_limits<qint32>::max() - paraphrase.size())
        return;
    qint32 at = sectionNames_.isEmpty() || sectionNames_.constLast() != section ? sectionIds_.value(section, -1)
                                                                                 : qint32(sectionNames_.size() - 1);
    if (at < 0) {
        at = qint32(sectionNames_.size());
        sectionNames_.append(section);
        sectionIds_.insert(section, at);
    }
    spans_.append({text_.size(), qint32(word.size()), qint32(paraphrase.size())});
    text_.append(word);
    text_.append(paraphrase);
    sectionOf_.append(at);
}

void WordRows::finish(const QStringList& sectionOrder)
{
    // A counting sort by the section's place keeps each section's rows in
    // the order they were read.
    QList<qint32> rank(sectionNames_.size(), qint32(sectionOrder.size()));
    for (qsizetype i = 0; i < sectionNames_.size(); ++i) {
        const qsizetype at = sectionOrder.indexOf(sectionNames_.at(i));
        if (at >= 0)
            rank[i] = qint32(at);
    }
    QList<qsizetype> start(sectionOrder.size() + 2, 0);
    for (qint32 s : std::as_const(sectionOf_))
        ++start[rank.at(s) + 1];
    for (qsizetype i = 1; i < start.size(); ++i)
        start[i] += start[i - 1];
    order_ = QList<qint32>(spans_.size());
    for (qsizetype r = 0; r < sectionOf_.size(); ++r)
        order_[start[rank.at(sectionOf_.at(r))]++] = qint32(r);
    sectionOf_ = {};
    sectionIds_ = {};
    text_.squeeze();
    spans_.squeeze();
}
