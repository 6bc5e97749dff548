#include "config/compare_no_case.h"

namespace tavren {

static char16_t FoldAscii(char16_t c) { return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c; }

int CompareNoCase(const char16_t* a, const char16_t* b) {
    if (!a) a = u"";
    if (!b) b = u"";
    for (;; ++a, ++b) {
        char16_t x = FoldAscii(*a);
        char16_t y = FoldAscii(*b);
        if (x != y) return x < y ? -1 : 1;
        if (!x) return 0;
    }
}

ptrdiff_t FindText(const char16_t* text, const char16_t* part) {
    if (!text || !part) return -1;
    for (ptrdiff_t i = 0; text[i]; ++i) {
        ptrdiff_t k = 0;
        while (part[k] && text[i + k] == part[k]) ++k;
        if (!part[k]) return i;
    }
    return part[0] ? -1 : 0;
}

}  // namespace tavren
