// The request lines browser extensions send to the local bridge (any
// process on the machine can connect): each line of the input as one request.
#include "FuzzSupport.h"

#include "capture/BrowserBridgeRequest.h"

#include <QList>

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::quietQt();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    for (const QByteArray& line : fuzz::bytes(data, size).split('\n'))
        if (const auto word = browserbridge::parseRequestLine(line)) (void)browserbridge::notificationObject(*word);
    return 0;
}
