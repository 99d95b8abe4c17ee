// The older XML answers (full entry, sentences, encyclopedia, translation).
// Each reader gets the same bytes: a document meant for one is still
// untrusted input for the others.
#include "FuzzSupport.h"

#include "query/xml/FullEntryXMLReaders.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::quietQt();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QString text = fuzz::text(data, size);
    (void)MainQueryXMLResultParser().genHTML(text);
    (void)LjSearchXMLResultParser().genHTML(text);
    (void)BaikeXMLResultParser().genHTML(text);
    (void)FanyiSearchXMLResultParser().genHTML(text);
    return 0;
}
