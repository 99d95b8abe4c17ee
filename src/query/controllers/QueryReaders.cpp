#include "query/controllers/QueryReaders.h"

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

SuggestResult parseSuggestions(const QString&)
{
    return {};
}

QString quickResultHtml(const QString&)
{
    return {};
}

QString fullEntryHtml(const QString&, const QString&, const QString&, const QString&)
{
    return {};
}

}  // namespace readers
