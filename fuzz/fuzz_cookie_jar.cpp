// The cookie jar's file, read when the jar is given its folder at start, and
// the Set-Cookie lines of the account's answers, which the jar stores.
#include "FuzzSupport.h"

#include "platform/CookieJar.h"

#include <QUrl>

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::quietQt();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::writeScratchFile(QStringLiteral("cookies"), reinterpret_cast<const char*>(data), size);
    const QUrl service(QStringLiteral("http://dict.mirvok.example/wordbook/sync"));
    CookieJar jar;
    jar.setStorageFolder(fuzz::scratchFolder());
    (void)jar.cookieHeaderForUrl(service);
    // The same bytes as Set-Cookie lines of an account answer: whatever the
    // jar accepts is written to its file and read back by the next jar.
    jar.setCookiesFromUrl(QNetworkCookie::parseCookies(fuzz::bytes(data, size)), service);
    CookieJar next;
    next.setStorageFolder(fuzz::scratchFolder());
    (void)next.cookieHeaderForUrl(service);
    return 0;
}
