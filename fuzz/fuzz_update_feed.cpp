// The product web site's update feed.
#include "FuzzSupport.h"

#include "window/UpdateCheck.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::quietQt();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    UpdateCheck::Feed feed;
    UpdateCheck::parseFeed(fuzz::bytes(data, size), &feed);
    return 0;
}
