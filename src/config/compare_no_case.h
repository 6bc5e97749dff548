// Comparison of paths and display names without regard to case, where only
// the ASCII letters A to Z are folded (what the C library's wide
// case-insensitive comparison does in its default locale; other letters,
// full-width ones included, compare exactly).
//   CompareNoCase(a, b)  <0, 0 or >0 like a string comparison; null = ""
//   EqualsNoCase(a, b)   CompareNoCase(a, b) == 0
//   FindText(text, part) index of the first occurrence of part, or -1
#pragma once

#include <cstddef>

namespace tavren {

int CompareNoCase(const char16_t* a, const char16_t* b);

inline bool EqualsNoCase(const char16_t* a, const char16_t* b) { return CompareNoCase(a, b) == 0; }

// Exact (case-sensitive) search, as keys are compared exactly.
ptrdiff_t FindText(const char16_t* text, const char16_t* part);

}  // namespace tavren
