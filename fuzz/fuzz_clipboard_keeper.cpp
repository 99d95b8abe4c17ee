// What the clipboard keeper reads on its standard input (what Mirvok
// sends at exit, but read by a separate process): any bytes, and what came
// out written back, which must read back the same.
#include "FuzzSupport.h"

#include "capture/x11/ClipboardKeeper.h"

#include <cstdlib>

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::quietQt();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto formats = clipboardkeeper::read(fuzz::bytes(data, size));
    if (formats && clipboardkeeper::read(clipboardkeeper::write(*formats)) != formats) std::abort();
    return 0;
}
