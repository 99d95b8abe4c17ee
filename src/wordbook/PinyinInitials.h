#pragma once

#include <QChar>

namespace pinyin {

constexpr char16_t kFirst = 0x4E00;
constexpr char16_t kLast = 0x9FA6;
constexpr int kInitialsCount = kLast - kFirst + 1;  // 20,903

// Lower-case initial of the Mandarin reading of each character from kFirst to
// kLast, in code-point order; a space where there is none.
extern const char kInitials[kInitialsCount + 1];

// The initial of c, or 0 when c lies outside the table.
inline char initialOf(char16_t c)
{
    return (c >= kFirst && c <= kLast) ? kInitials[c - kFirst] : 0;
}

}  // namespace pinyin
