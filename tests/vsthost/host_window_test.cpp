// Windows build only: the host thread's windows and their classes.
#include <windows.h>

#include "platform/text.h"
#include "probe_fixture.h"
#include "vsthost/host_window.h"

namespace tavren::test {
namespace {

std::wstring ClassOf(HWND window) {
    wchar_t name[kWindowClassChars] = {};
    GetClassNameW(window, name, static_cast<int>(kWindowClassChars));
    return name;
}

bool ClassRegistered(const std::wstring& name) {
    WNDCLASSEXW info = {};
    info.cbSize = sizeof info;
    return GetClassInfoExW(GetModuleHandleW(nullptr), name.c_str(), &info) != 0;
}

std::wstring ClassPrefix(DWORD threadId) {
    wchar_t prefix[32];
    wsprintfW(prefix, L"tavren.hmx:%08x:", threadId);
    return prefix;
}

TEST(HostWindow, TwoWindowsOnOneThreadEachHaveAndReleaseTheirOwnClass) {
    HWND first = CreateHostWindow(nullptr, DefWindowProcW, 10, 20, nullptr);
    HWND second = CreateHostWindow(nullptr, DefWindowProcW, 30, 40, nullptr);
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    std::wstring firstClass = ClassOf(first), secondClass = ClassOf(second);
    EXPECT_NE(firstClass, secondClass);
    for (const std::wstring& name : {firstClass, secondClass}) {
        EXPECT_EQ(name.rfind(ClassPrefix(GetCurrentThreadId()), 0), 0u) << name.c_str();
        EXPECT_EQ(name.size(), 11u + 8 + 1 + 16);
    }
    EXPECT_FALSE(IsWindowVisible(first));
    EXPECT_EQ(GetWindowLongW(first, GWL_EXSTYLE) & WS_EX_DLGMODALFRAME, WS_EX_DLGMODALFRAME);

    DestroyHostWindow(first);
    EXPECT_FALSE(IsWindow(first));
    EXPECT_FALSE(ClassRegistered(firstClass));
    EXPECT_TRUE(ClassRegistered(secondClass));
    DestroyHostWindow(second);
    EXPECT_FALSE(ClassRegistered(secondClass));
}

struct CreatedWindow {
    HWND window = nullptr;
    DWORD thread = 0;
};

LRESULT CALLBACK RecordingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_CREATE) {
        auto* created = static_cast<CreatedWindow*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        created->window = window;
        created->thread = GetCurrentThreadId();
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

class HostWindowTest : public ProbeTest {};

TEST_F(HostWindowTest, WindowsRequestedFromAnotherThreadLiveOnTheHostThread) {
    VstiHost* host = StartHost(probePath_.c_str());
    ASSERT_NE(host, nullptr);
    HWND hidden = static_cast<HWND>(host->window);
    ASSERT_NE(hidden, nullptr);
    std::wstring hiddenClass = ClassOf(hidden);
    EXPECT_EQ(hiddenClass.rfind(ClassPrefix(host->threadId), 0), 0u);
    EXPECT_FALSE(IsWindowVisible(hidden));

    CreatedWindow created;
    SendCreateWindow(host, 5, 6, RecordingProc, &created);
    ASSERT_NE(created.window, nullptr);
    EXPECT_EQ(created.thread, host->threadId);
    EXPECT_EQ(GetWindow(created.window, GW_OWNER), hidden);  // no WS_CHILD: owned, not contained
    EXPECT_TRUE(IsWindowVisible(created.window));
    std::wstring editorClass = ClassOf(created.window);
    EXPECT_NE(editorClass, hiddenClass);

    SendDestroyWindow(host, created.window);
    EXPECT_FALSE(IsWindow(created.window));
    EXPECT_FALSE(ClassRegistered(editorClass));

    StopHost(host);
    EXPECT_FALSE(IsWindow(hidden));
    EXPECT_FALSE(ClassRegistered(hiddenClass));
}

}  // namespace
}  // namespace tavren::test
