#include "kithost/binary/HexString.h"

#include <cstdint>
#include <cstring>

void KTHHexStringFromBytes(const void* bytes, size_t length, char* buffer)
{
    if (!buffer)
        return;
    std::memset(buffer, 0, 2 * length + 1);
    if (!bytes)
        return;
    static const char digits[] = "0123456789abcdef";
    const auto* p = static_cast<const uint8_t*>(bytes);
    for (size_t i = 0; i < length; ++i) {
        buffer[2 * i] = digits[p[i] >> 4];
        buffer[2 * i + 1] = digits[p[i] & 0x0f];
    }
}
