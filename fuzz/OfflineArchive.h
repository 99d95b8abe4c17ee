#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The input of fuzz_offline_dict: a whole offline dictionary (index and
// numbered data files) in one byte string, so the fuzzer can mutate any of
// its files.
//   [u32 LE length][index bytes]  then, repeated:  [u8 file number][u32 LE length][bytes]
// A length running past the end takes what is left.
namespace offline_archive {

struct File {
    int number = -1;  // -1: the index
    std::string_view bytes;
};

inline std::uint32_t readLE32(std::string_view in, std::size_t pos) {
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = v << 8 | std::uint8_t(in[pos + std::size_t(i)]);
    return v;
}

inline std::vector<File> unpack(std::string_view in) {
    std::vector<File> files;
    std::size_t pos = 0;
    auto take = [&](int number) {
        const std::size_t length = std::min<std::size_t>(readLE32(in, pos), in.size() - pos - 4);
        files.push_back({number, in.substr(pos + 4, length)});
        pos += 4 + length;
    };
    if (in.size() < 4) return files;
    take(-1);
    while (in.size() - pos >= 5) {
        const int number = std::uint8_t(in[pos++]);
        take(number);
    }
    return files;
}

inline void appendLE32(std::string& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(char(v >> (8 * i) & 0xFF));
}

inline std::string pack(const std::vector<std::pair<int, std::string>>& files) {
    std::string out;
    for (const auto& [number, bytes] : files) {
        if (number >= 0) out.push_back(char(number));
        appendLE32(out, std::uint32_t(bytes.size()));
        out += bytes;
    }
    return out;
}

}  // namespace offline_archive
