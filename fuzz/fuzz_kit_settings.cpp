// The kit host's settings file (downloaded from the kit service, kept in
// the cache folder and read at every start).
#include "FuzzSupport.h"

#include "kithost/KTHSettings.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::quietQt();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    KTHSettings settings(
        fuzz::writeScratchFile(QStringLiteral("settings.json"), reinterpret_cast<const char*>(data), size));
    (void)settings.appStatus();
    (void)settings.appNeedsOnboarding();
    (void)settings.appUpdateRequired();
    return 0;
}
