// Bounded, truncating UTF-16 formatting into fixed buffers, the same code in
// both builds (the C libraries' wide formatters disagree on wchar_t's width
// and on what "%s" takes).
//   FormatKey(buffer, capacity, format, args...)  printf-like; gives the
//       characters written, or -1 when the text was cut to fit capacity
//       (terminator included; capacity 0 writes nothing and gives -1).
// Directives: %[-][0][width][h|l|ll]{d,i,u,x,X,c,s} and %%. "%s" takes a
// char16_t string (null prints as nothing), "%c" a char16_t or an integer,
// the integer directives any integer type; "%d" and "%x" without "ll" use
// the low 32 bits, as the C formatter does with an int argument. A directive
// without an argument of a fitting kind prints nothing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

namespace tavren {

// One argument of FormatKey, kept with its kind.
struct FormatArg {
    enum Kind { Integer, Character, Text } kind;
    uint64_t bits;  // integer value as a two's-complement pattern, or the character
    const char16_t* text;

    FormatArg(const char16_t* value) : kind(Text), bits(0), text(value) {}
    FormatArg(char16_t value) : kind(Character), bits(value), text(nullptr) {}
    template <typename T, typename = std::enable_if_t<std::is_integral_v<T> && !std::is_same_v<T, bool> &&
                                                      !std::is_same_v<T, char16_t>>>
    FormatArg(T value) : kind(Integer), bits(static_cast<uint64_t>(static_cast<int64_t>(value))), text(nullptr) {
        if constexpr (std::is_unsigned_v<T>) bits = static_cast<uint64_t>(value);
    }
};

int FormatKeyArgs(char16_t* buffer, size_t capacity, const char16_t* format, const FormatArg* args,
                  size_t argCount);

template <typename... Args>
int FormatKey(char16_t* buffer, size_t capacity, const char16_t* format, const Args&... args) {
    if constexpr (sizeof...(Args) == 0) {
        return FormatKeyArgs(buffer, capacity, format, nullptr, 0);
    } else {
        const FormatArg list[] = {FormatArg(args)...};
        return FormatKeyArgs(buffer, capacity, format, list, sizeof...(Args));
    }
}

}  // namespace tavren
