#include "query/offline/OfflineDict.h"

#include "models/FSearchResult.h"
#include "models/MainQueryResult.h"
#include "models/WordStrokeXMLResult.h"
#include "platform/Resources.h"
#include "query/offline/OfflineDictReader.h"

#include <QDebug>
#include <QFile>
#include <QHash>
#include <QMutex>
#include <QSet>

#include <atomic>

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

std::atomic<bool> g_unavailable{false};

void reportDamage(const QString& file) {
    static QMutex mutex;
    static QSet<QString> reported;
    QMutexLocker lock(&mutex);
    if (reported.contains(file)) return;
    reported.insert(file);
    qCritical().noquote() << QStringLiteral("offline dictionary: %1 is missing or damaged; offline lookups it "
                                            "holds are unavailable")
                                 .arg(file);
}

}  // namespace

bool unavailable() { return g_unavailable.load(); }

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
        e.phone = text.left(close + 1);
        rest = rest.mid(close + 1);
        if (rest.startsWith(kSeparator)) rest = rest.mid(kSeparator.size());
    }
    for (QStringView sense : rest.split(kSeparator, Qt::SkipEmptyParts)) e.senses << sense.toString();
    return e;
}

Entry lookupEntry(const QString& word, const QString& indexName, const QString& folder) {
    const QString lowered = word.toLower();
    OfflineDictReader::Pairs pairs;
    QString damaged;
    {
        OfflineDictReader reader;
        const QByteArray indexPath = QFile::encodeName(folder + u'/' + indexName);
        const QByteArray dataFolder = QFile::encodeName(folder);
        // A partly loaded index still answers from its complete records.
        reader.loadIndex(indexPath.constData(), dataFolder.constData());
        const QByteArray key = lowered.toUtf8();
        reader.lookupWord(std::string_view(key.constData(), std::size_t(key.size())), pairs,
                          kPairLimit);
        damaged = QFile::decodeName(QByteArray::fromStdString(reader.damagedFile()));
    }
    if (!damaged.isEmpty()) reportDamage(damaged);
    if (!pairs.empty()) {
        const QString stored = QString::fromStdString(pairs.front().first);
        if (QString::compare(stored, lowered, Qt::CaseInsensitive) == 0)
        {
            g_unavailable = false;
            return splitEntryText(stored, QString::fromStdString(pairs.front().second));
        }
    }
    Entry missing;
    missing.title = lowered;
    missing.unavailable = !damaged.isEmpty();
    g_unavailable = missing.unavailable;
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
    if (e.unavailable) return {};
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
