// The XML property-list reader (Info.plist, the crash kit's defaults file),
// and the writer on whatever it read: what we write must read back.
#include "FuzzSupport.h"

#include "platform/PropertyList.h"

#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::quietQt();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    bool ok = false;
    const QVariant root = PropertyList::parse(fuzz::bytes(data, size), &ok);
    bool again = false;
    PropertyList::parse(PropertyList::serialize(root), &again);
    if (ok && !again) {
        std::fprintf(stderr, "a property list read from the input does not read back once written\n");
        std::abort();
    }
    return 0;
}
