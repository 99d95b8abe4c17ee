// The cookie jar's file, read when the jar is given its folder at start.
#include "FuzzSupport.h"

#include "platform/CookieJar.h"

#include <QUrl>

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::quietQt();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::writeScratchFile(QStringLiteral("cookies"), reinterpret_cast<const char*>(data), size);
    CookieJar jar;
    jar.setStorageFolder(fuzz::scratchFolder());
    (void)jar.cookieHeaderForUrl(QUrl(QStringLiteral("http://dict.mirvok.example/wordbook/sync")));
    return 0;
}
