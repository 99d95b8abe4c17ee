// The suggestion answer, through both of its readers (the document reader
// of the suggestion window and the streaming one that builds table rows).
#include "FuzzSupport.h"

#include "query/SuggestXMLResultParser.h"
#include "query/xml/FullEntryXMLReaders.h"

#include <QObject>

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::quietQt();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QString text = fuzz::text(data, size);
    (void)SuggestXMLResultParser().parseXML(text);
    QObject owner;
    SuggestXMLParserDelegate stream;
    qsizetype rows = 0;
    stream.setCallBackTarget(&owner, [&rows](const QStringList& got) { rows += got.size(); });
    stream.parse(text);
    return 0;
}
