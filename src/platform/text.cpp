#include "platform/text.h"

#include <cstdint>

namespace tavren {

size_t TextLength(const char16_t* text) {
    size_t n = 0;
    if (text)
        while (text[n]) ++n;
    return n;
}

size_t CopyText(char16_t* buffer, size_t capacity, const char16_t* text) {
    if (capacity == 0) return 0;
    size_t n = 0;
    if (text)
        for (; n + 1 < capacity && text[n]; ++n) buffer[n] = text[n];
    buffer[n] = 0;
    return n;
}

void AppendText(char16_t* buffer, size_t capacity, const char16_t* text) {
    size_t used = 0;
    while (used < capacity && buffer[used]) ++used;
    if (used >= capacity) return;
    CopyText(buffer + used, capacity - used, text);
}

bool TextEquals(const char16_t* a, const char16_t* b) {
    if (!a || !b) return a == b;
    for (; *a && *a == *b; ++a, ++b) {
    }
    return *a == *b;
}

static void PutUtf8(std::string& out, uint32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// Decodes one code point at text[i], advancing i.
static uint32_t NextCodePoint(const char16_t* text, size_t& i) {
    uint32_t c = text[i++];
    if (c >= 0xD800 && c < 0xDC00) {
        uint32_t low = text[i];
        if (low >= 0xDC00 && low < 0xE000) {
            ++i;
            return 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
        }
        return 0xFFFD;
    }
    if (c >= 0xDC00 && c < 0xE000) return 0xFFFD;
    return c;
}

std::string ToUtf8(const char16_t* text) {
    std::string out;
    if (!text) return out;
    for (size_t i = 0; text[i];) PutUtf8(out, NextCodePoint(text, i));
    return out;
}

std::string ToUtf8(const std::u16string& text) { return ToUtf8(text.c_str()); }

std::u16string FromUtf8(const std::string& text) {
    std::u16string out;
    const auto* s = reinterpret_cast<const unsigned char*>(text.data());
    size_t n = text.size();
    for (size_t i = 0; i < n;) {
        uint32_t c = s[i];
        size_t len = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
        bool ok = len != 0 && i + len <= n;
        uint32_t cp = len == 1 ? c : len == 2 ? (c & 0x1F) : len == 3 ? (c & 0x0F) : (c & 0x07);
        for (size_t k = 1; ok && k < len; ++k) {
            if ((s[i + k] & 0xC0) != 0x80) ok = false;
            cp = (cp << 6) | (s[i + k] & 0x3F);
        }
        if (!ok) {
            out += static_cast<char16_t>(c);
            ++i;
            continue;
        }
        i += len;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (cp >> 10));
            out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
        } else {
            out += static_cast<char16_t>(cp);
        }
    }
    return out;
}

std::string EscapeForLine(const char16_t* text) {
    std::string out;
    if (!text) return out;
    for (size_t i = 0; text[i];) {
        uint32_t cp = NextCodePoint(text, i);
        switch (cp) {
            case '\\': out += "\\\\"; break;
            case '\t': out += "\\t"; break;
            case '\r': out += "\\r"; break;
            case '\n': out += "\\n"; break;
            default: PutUtf8(out, cp);
        }
    }
    return out;
}

}  // namespace tavren
