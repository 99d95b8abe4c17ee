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
    const QByteArray bytes = fuzz::bytes(data, size);
    const auto read = wordbooktransfer::fromCsv(bytes);
    if (!read.errors.isEmpty() || read.records.isEmpty()) return 0;
    // The store parses a checked file again in pieces, taking the rows as
    // they come: it must get the very rows the check saw.
    wordbooktransfer::CsvParser pieces;
    QList<WordBookRecord> taken;
    const qsizetype step = 1 + (size > 0 ? data[0] % 17 : 0);
    for (qsizetype at = 0; at < bytes.size(); at += step) {
        pieces.feed(QByteArrayView(bytes).sliced(at, qMin(step, bytes.size() - at)));
        taken += pieces.takeRecords();
    }
    const auto rest = pieces.finish();
    taken += rest.records;
    if (!rest.errors.isEmpty() || taken != read.records) __builtin_trap();
    const auto again = wordbooktransfer::fromCsv(wordbooktransfer::toCsv(read.records));
    if (!again.errors.isEmpty() || again.records != read.records) __builtin_trap();
    (void)wordbooktransfer::toAnki(read.records);
    return 0;
}
