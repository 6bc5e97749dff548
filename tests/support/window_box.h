// Windows build only: where a window stands and what it is called, as the
// editor tests read them.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

namespace tavren::test {

struct Box {
    int x, y, width, height;
};

inline Box BoxOf(HWND window) {
    RECT r = {};
    GetWindowRect(window, &r);
    return {r.left, r.top, r.right - r.left, r.bottom - r.top};
}

inline std::wstring TitleOf(HWND window) {
    wchar_t text[600] = {};
    GetWindowTextW(window, text, 600);
    return text;
}

}  // namespace tavren::test

// Expects window's top left corner at (ex, ey).
#define EXPECT_AT(window, ex, ey)            \
    do {                                     \
        tavren::test::Box box_ = tavren::test::BoxOf(window);            \
        EXPECT_EQ(box_.x, (ex)) << #window;  \
        EXPECT_EQ(box_.y, (ey)) << #window;  \
    } while (0)
