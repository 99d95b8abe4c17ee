#pragma once

#include <string>
#include <string_view>

// The input of fuzz_offline_block: one decompressed key block and its
// content block, which the target compresses and places in a valid
// one-block dictionary, so mutations reach the block readers instead of
// dying in zlib.
//   [u8 flags][u16 LE key block length][key block][content block]
// flags bits 0-1: header width - 1; bits 2-3: word offset width - 1;
// bit 4: keep the key block's own C and L (else they are set to the
// content block's real place and length).
namespace offline_block {

inline std::string pack(int headerWidth, int wordOffsetWidth, const std::string& keyBlock,
                        const std::string& content) {
    std::string out;
    out.push_back(char((headerWidth - 1) | (wordOffsetWidth - 1) << 2));
    out.push_back(char(keyBlock.size() & 0xFF));
    out.push_back(char(keyBlock.size() >> 8 & 0xFF));
    return out + keyBlock + content;
}

}  // namespace offline_block
