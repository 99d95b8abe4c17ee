// The quick-result answer for a word captured from the desktop, rendered for
// its popup.
#include "FuzzSupport.h"

#include "capture/WordStrokeXMLResultParser.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::quietQt();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    WordStrokeXMLResultParser parser;
    (void)parser.genHTML(fuzz::text(data, size));
    return 0;
}
