// KTHIdentifiers: the hexadecimal and digest texts the kits make of bytes
// that come from files and answers (build-ids, install ids, report
// contents). What they print must stand for exactly those bytes.
#include "FuzzSupport.h"

#include "kithost/KTHIdentifiers.h"

#include <cstdlib>

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::quietQt();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray bytes = fuzz::bytes(data, size);
    if (QByteArray::fromHex(KTHHexStringFromData(bytes).toLatin1()) != bytes) std::abort();
    if (KTHSHA1HexStringFromBytes(data, size) != KTHSHA1HexStringFromData(bytes) ||
        KTHSHA1HexStringFromData(bytes).size() != 40)
        std::abort();
    if (size >= 16 && QByteArray::fromHex(KTHHexStringFromUUIDBytes(data).toLatin1()) != bytes.left(16))
        std::abort();
    return 0;
}
