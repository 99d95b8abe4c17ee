#include "query/offline/OfflineDict.h"

#include "models/FSearchResult.h"
#include "models/MainQueryResult.h"
#include "models/WordStrokeXMLResult.h"
#include "platform/Resources.h"
#include "query/offline/OfflineDictReader.h"

#include <QFile>
#include <QHash>

namespace OfflineDict {
namespace {

const QHash<QChar, QChar>& phoneticSymbols() {
    static const QHash<QChar, QChar> table = {
        {u'A', QChar(0x00E6)}, {u'B', QChar(0x0251)}, {u'E', QChar(0x0259)},
        {u'F', QChar(0x0283)}, {u'G', QChar(0x0292)}, {u'J', QChar(0x028A)},
        {u'N', QChar(0x014B)}, {u'O', QChar(0x0254)}, {u'X', QChar(0x0454)},
        {u'R', QChar(0x028C)}, {u'T', QChar(0x00F0)}, {u'Y', QChar(0x0259)},
        {u'Z', QChar(0x03B8)}, {u'`', QChar(0x0027)}, {u'.', QChar(0x002C)},
    };
    return table;
}

const QString kSeparator = QStringLiteral("\\n");

// One syllable such as "hao3" or "nv3" (the code writes ü as v) with its tone
// mark; an empty string when it is no numbered syllable.
QString markedSyllable(QStringView syllable) {
    static const QString plain = QStringLiteral("aeiouv");
    static const QString marked[4] = {QStringLiteral("āēīōūǖ"), QStringLiteral("áéíóúǘ"),
                                      QStringLiteral("ǎěǐǒǔǚ"), QStringLiteral("àèìòùǜ")};
    if (syllable.size() < 2) return {};
    const int tone = syllable.back().unicode() - u'0';
    QString letters = syllable.chopped(1).toString();
    if (tone < 1 || tone > 5) return {};
    for (QChar c : letters)
        if (c < u'a' || c > u'z') return {};
    // The mark goes on a or e, on the o of "ou", else on the last vowel.
    int at = letters.indexOf(u'a');
    if (at < 0) at = letters.indexOf(u'e');
    if (at < 0) at = letters.indexOf(QLatin1String("ou"));
    if (at < 0)
        for (int i = int(letters.size()) - 1; i >= 0 && at < 0; --i)
            if (plain.contains(letters.at(i))) at = i;
    if (at < 0 && letters != QLatin1String("r") && letters != QLatin1String("m") && letters != QLatin1String("n")
        && letters != QLatin1String("ng") && letters != QLatin1String("hm") && letters != QLatin1String("hng"))
        return {};
    if (tone != 5 && at >= 0) letters[at] = marked[tone - 1].at(plain.indexOf(letters.at(at)));
    letters.replace(u'v', QChar(0x00FC));
    return letters;
}

}  // namespace

QString pinyinWithToneMarks(const QString& numbered) {
    QString out;
    out.reserve(numbered.size());
    int start = -1;
    for (int i = 0; i <= numbered.size(); ++i) {
        const bool letter = i < numbered.size() && numbered.at(i).isLetterOrNumber();
        if (letter && start < 0) start = i;
        if (letter || start < 0) {
            if (!letter && i < numbered.size()) out += numbered.at(i);
            continue;
        }
        const QString syllable = markedSyllable(QStringView(numbered).mid(start, i - start));
        if (syllable.isEmpty()) return numbered;
        out += syllable;
        if (i < numbered.size()) out += numbered.at(i);
        start = -1;
    }
    return out;
}

int ConvertPhonetic(QString& text) {
    // Only a phonetic that opens the entry is code: slashes elsewhere ("and/or")
    // are part of a sense.
    if (!text.startsWith(u'/')) return -1;
    const int close = text.indexOf(u'/', 1);
    if (close < 0) return -1;
    text[0] = u'[';
    text[close] = u']';
    const auto& table = phoneticSymbols();
    for (int i = 1; i < close; ++i) {
        const auto it = table.constFind(text.at(i));
        if (it != table.constEnd()) text[i] = *it;
    }
    return close;
}

Entry splitEntryText(const QString& word, QString text) {
    Entry e;
    e.found = true;
    e.title = word;
    const int close = ConvertPhonetic(text);
    QStringView rest(text);
    if (close >= 0) {
        e.phone = u'[' + pinyinWithToneMarks(text.mid(1, close - 1)) + u']';
        rest = rest.mid(close + 1);
        if (rest.startsWith(kSeparator)) rest = rest.mid(kSeparator.size());
    }
    for (QStringView sense : rest.split(kSeparator, Qt::SkipEmptyParts)) e.senses << sense.toString();
    return e;
}

Entry lookupEntry(const QString& word, const QString& indexName, const QString& folder) {
    const QString lowered = word.toLower();
    OfflineDictReader::Pairs pairs;
    {
        OfflineDictReader reader;
        const QByteArray indexPath = QFile::encodeName(folder + u'/' + indexName);
        const QByteArray dataFolder = QFile::encodeName(folder);
        // A partly loaded index still answers from its complete records.
        reader.loadIndex(indexPath.constData(), dataFolder.constData());
        const QByteArray key = lowered.toUtf8();
        reader.lookupWord(std::string_view(key.constData(), std::size_t(key.size())), pairs,
                          kPairLimit);
    }
    if (!pairs.empty()) {
        const QString stored = QString::fromStdString(pairs.front().first);
        if (QString::compare(stored, lowered, Qt::CaseInsensitive) == 0)
            return splitEntryText(stored, QString::fromStdString(pairs.front().second));
    }
    Entry missing;
    missing.title = lowered;
    return missing;
}

QVariant answer(const QString& word, const QString& indexName, int requestType, int dictType,
                const QString& folder) {
    if (requestType != kFullEntry && requestType != kQuickResult && requestType != kCapturePopup)
        return {};
    auto notFound = [requestType](const QString& title) -> QVariant {
        if (requestType != kFullEntry) return {};
        auto r = std::make_shared<MainQueryResult>();
        r->title = title;
        r->hasNoAnyTrans = QStringLiteral(" ");
        return QVariant::fromValue(r);
    };
    if (dictType != 0) return notFound(word);

    const Entry e = lookupEntry(word, indexName, folder.isEmpty() ? Resources::path(QStringLiteral("dict")) : folder);
    if (!e.found) return notFound(e.title);

    switch (requestType) {
    case kFullEntry: {
        auto r = std::make_shared<MainQueryResult>();
        r->title = e.title;
        r->phone = e.phone;
        for (const QString& s : e.senses)
            r->simpleTrans.append(QVariantMap{
                {QStringLiteral("item"), QVariantMap{{QStringLiteral("trans"), s}}}});
        if (!r->simpleTrans.isEmpty()) r->hasSimpleTrans = QStringLiteral(" ");
        return QVariant::fromValue(r);
    }
    case kQuickResult: {
        auto r = std::make_shared<FSearchResult>();
        r->title = e.title;
        r->phone = e.phone;
        r->trans = e.senses;
        return QVariant::fromValue(r);
    }
    default: {
        auto r = std::make_shared<WordStrokeXMLResult>();
        r->title = e.title;
        r->phone = e.phone;
        r->trans = e.senses;
        return QVariant::fromValue(r);
    }
    }
}

}  // namespace OfflineDict
