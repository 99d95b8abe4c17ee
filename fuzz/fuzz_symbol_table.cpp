// The ELF symbol-table reader of crash symbolication (CRKSymbolResolver):
// an image file on disk is not ours and may be anything. The file is read
// and addresses taken from the input itself are named.
#include "FuzzSupport.h"

#include "crash/CRKSymbolResolver.h"

#include <cstring>

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::quietQt();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QString path = fuzz::writeScratchFile(QStringLiteral("image.so"), reinterpret_cast<const char*>(data), size);
    quint64 probe = 0;
    if (size >= 8) std::memcpy(&probe, data + size - 8, 8);
    for (quint64 address : {quint64(0), quint64(0x1000), probe})
        (void)CRKSymbolResolver::symbolInFile(path, address);
    return 0;
}
