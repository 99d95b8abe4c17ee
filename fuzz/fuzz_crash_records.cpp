// The record files a crashed run left (one JSON object a line, possibly cut
// mid-write), read at the next start.
#include "FuzzSupport.h"

#include "crash/CRKRecordReader.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::quietQt();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    for (const QJsonObject& section : CRKRecordSectionsFromData(fuzz::bytes(data, size)))
        for (const QJsonValue& value : section) (void)CRKRecordUnsigned(value);
    return 0;
}
