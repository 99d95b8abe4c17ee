// The translation service's JSON answer.
#include "FuzzSupport.h"

#include "query/controllers/FanyiSearchJSONResultParser.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::quietQt();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QString text = fuzz::text(data, size);
    const FanyiSearchJSONResultParser parser;
    (void)parser.parseJSON(text);
    (void)parser.genHTML(text);
    return 0;
}
