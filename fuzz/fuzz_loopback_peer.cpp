// The kernel's socket tables as the bridge reads them to tell who connects
// (/proc/net/tcp and tcp6): any bytes, and a lookup in what came out.
#include "FuzzSupport.h"

#include "capture/LoopbackPeer.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::quietQt();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QList<loopbackpeer::Socket> sockets = loopbackpeer::readTable(fuzz::bytes(data, size));
    if (!sockets.isEmpty()) (void)loopbackpeer::ownerOf(sockets, sockets[0].localAddress, sockets[0].localPort, 32445);
    return 0;
}
