#include "query/controllers/QueryReaders.h"

#include "query/FSearchXMLResultParser.h"
#include "query/MainQueryJSONResultParser.h"
#include "query/SuggestXMLResultParser.h"

#include <QStringDecoder>

namespace readers {

bool decodeUtf8(const QByteArray& bytes, QString* text)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString s = decoder.decode(bytes);
    if (decoder.hasError())
        return false;
    *text = s;
    return true;
}

SuggestResult parseSuggestions(const QString& xml)
{
    return SuggestXMLResultParser().parseXML(xml).value_or(SuggestResult());
}

std::optional<QString> quickResultHtml(const QString& xml)
{
    return FSearchXMLResultParser().genHTML(xml);
}

std::optional<QString> fullEntryHtml(const QString& json, const QString& word, const QString& dict,
                                     const QString& anotherDict)
{
    MainQueryJSONResultParser parser;
    parser.word = word;
    parser.dict = dict;
    parser.another_dict = anotherDict;
    return parser.genHTML(json);
}

}  // namespace readers
