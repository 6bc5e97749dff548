// UTF-16 text helpers shared by the portable code: the host boundary and
// every settings text are UTF-16 (char16_t) in both builds.
#pragma once

#include <cstddef>
#include <string>

namespace tavren {

// Characters before the terminator.
size_t TextLength(const char16_t* text);

// Copies text into buffer (capacity characters, terminator included), cut
// short when longer; gives the characters copied.
size_t CopyText(char16_t* buffer, size_t capacity, const char16_t* text);

// Appends text to the terminated contents of buffer, never writing past
// capacity characters (terminator included); text that does not fit is cut.
void AppendText(char16_t* buffer, size_t capacity, const char16_t* text);

bool TextEquals(const char16_t* a, const char16_t* b);

// UTF-16 to UTF-8 (unpaired surrogates become U+FFFD).
std::string ToUtf8(const char16_t* text);
std::string ToUtf8(const std::u16string& text);
// UTF-8 to UTF-16 (invalid bytes are taken as Latin-1).
std::u16string FromUtf8(const std::string& text);

// UTF-8 with backslash, tab, carriage return and line feed written as
// \\, \t, \r and \n, so that one text stays on one line of a log.
std::string EscapeForLine(const char16_t* text);

}  // namespace tavren
