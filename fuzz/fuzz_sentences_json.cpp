// The example-sentence tab's JSON answer.
#include "FuzzSupport.h"

#include "query/controllers/LjSearchJSONResultParser.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::quietQt();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    (void)LjSearchJSONResultParser().genHTML(fuzz::text(data, size));
    return 0;
}
