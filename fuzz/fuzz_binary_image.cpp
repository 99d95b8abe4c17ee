// The executable-image readers of the kit host (Mach-O slices and load
// commands, ELF headers and build-id notes). They run at crash time on
// whatever file or mapping they are given, so every path is walked.
#include "kithost/binary/ElfNote.h"
#include "kithost/binary/HexString.h"
#include "kithost/binary/MachO.h"

#include <cstdint>
#include <vector>

namespace {
void hex(const std::uint8_t* bytes, std::size_t length) {
    std::vector<char> text(2 * length + 1);
    KTHHexStringFromBytes(bytes, length, text.data());
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    CRKMachOEnumerateSlices(data, size, [](const CRKMachOSlice& found) {
        CRKMachOSlice slice = found;
        (void)CRKMachOSliceIs64Bit(slice);
        (void)CRKMachOSliceArchitectureName(slice);
        CRKMachOSliceEnumerateLoadCommands(&slice, [](const CRKMachOLoadCommand& command) {
            if (const std::uint8_t* uuid = CRKMachOUUIDCommandBytes(command)) hex(uuid, 16);
            (void)CRKMachOEncryptionCommandIsEncrypted(command);
            CRKMachOVersion version;
            CRKMachOVersionMinCommandMinimum(command, &version);
            CRKMachOVersionMinCommandSDK(command, &version);
        });
    });

    CRKElfImageInfo info;
    if (CRKElfIsElf(data, size) && CRKElfReadImageInfo(data, size, &info) && info.buildId)
        hex(info.buildId, info.buildIdLength);
    // The same bytes as a loaded note segment, in each padding and byte order.
    for (std::size_t alignment : {4, 8})
        for (bool bigEndian : {false, true}) {
            const std::uint8_t* id = nullptr;
            std::size_t idLength = 0;
            if (CRKElfNotesFindGNUBuildId(data, size, alignment, bigEndian, &id, &idLength)) hex(id, idLength);
        }
    return 0;
}
