// The quick result shown while typing (XML).
#include "FuzzSupport.h"

#include "query/FSearchXMLResultParser.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::quietQt();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    (void)FSearchXMLResultParser().genHTML(fuzz::text(data, size));
    return 0;
}
