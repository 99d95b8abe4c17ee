// What the Wayland primary selection watch prints (wl-paste's child for
// every new selection of any client): the input arrives in two reads split
// at its first byte's value, as a pipe may hand it over.
#include "FuzzSupport.h"

#include "capture/wayland/PrimarySelectionLines.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::quietQt();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray all = fuzz::bytes(data, size);
    const qsizetype cut = all.isEmpty() ? 0 : qsizetype(std::uint8_t(all[0])) % (all.size() + 1);
    QByteArray pending = all.left(cut);
    bool dropping = false;
    qsizetype reports = 0;
    for (int round = 0; round < 2; ++round) {
        for (const auto& text : primaryselection::takeLines(pending, dropping, 4096)) {
            if (text && text->size() > 4096) __builtin_trap();
            ++reports;
        }
        if (pending.contains('\n')) __builtin_trap();
        pending += all.mid(cut);
    }
    // Every line is one change, however long: none is lost, none split in two.
    if (reports != all.count('\n')) __builtin_trap();
    return 0;
}
