// A CSV file the user picks for the word book's import (any program may have
// written it): read as the import reads it; what it accepted must come back
// unchanged through the export's writer.
#include "FuzzSupport.h"

#include "wordbook/WordBookTransfer.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::quietQt();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto read = wordbooktransfer::fromCsv(fuzz::bytes(data, size));
    if (!read.errors.isEmpty() || read.records.isEmpty()) return 0;
    const auto again = wordbooktransfer::fromCsv(wordbooktransfer::toCsv(read.records));
    if (!again.errors.isEmpty() || again.records != read.records) __builtin_trap();
    (void)wordbooktransfer::toAnki(read.records);
    return 0;
}
