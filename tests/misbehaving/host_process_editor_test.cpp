// Windows build only: the editors of an instrument in a host process, through
// the real plug-in file. The windows belong to the host process, yet open as
// a grid at the saved position, follow a dragged window, answer while the
// song plays, and leave their last position in "EditorPos" when it closes.
#include <windows.h>
#include <tlhelp32.h>

#include <algorithm>
#include <string>
#include <vector>

#include "plugin_test.h"
#include "window_box.h"

namespace tavren::test {
namespace {

constexpr int kEditorWidth = 400, kEditorHeight = 300;

// This process's children: other runs' host processes may show editors too.
std::vector<DWORD> ChildProcesses() {
    std::vector<DWORD> children;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return children;
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry))
        if (entry.th32ParentProcessID == GetCurrentProcessId()) children.push_back(entry.th32ProcessID);
    CloseHandle(snapshot);
    return children;
}

struct Search {
    std::vector<DWORD> children;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectEditor(HWND window, LPARAM param) {
    auto* search = reinterpret_cast<Search*>(param);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    wchar_t name[256] = {};
    GetClassNameW(window, name, 256);
    // A child's visible windows of our classes: the hidden host window has no caption.
    if (std::find(search->children.begin(), search->children.end(), process) != search->children.end() &&
        std::wstring(name).rfind(L"tavren.hmx:", 0) == 0 && IsWindowVisible(window))
        search->found.push_back(window);
    return TRUE;
}

// The host process's editor windows, by their titles' port letters.
std::vector<HWND> HostProcessEditors() {
    Search search;
    search.children = ChildProcesses();
    EnumWindows(CollectEditor, reinterpret_cast<LPARAM>(&search));
    const std::vector<HWND>& found = search.found;
    std::vector<HWND> byPort(found.size());
    for (HWND window : found) {
        const std::wstring title = TitleOf(window);
        const size_t at = title.rfind(L"(Port-");
        const size_t port = at == std::wstring::npos ? found.size() : size_t(title[at + 6] - L'A');
        if (port < byPort.size()) byPort[port] = window;
    }
    return byPort;
}

class HostProcessEditor : public PluginTest {
protected:
    void SetUp() override {
        if (SuiteBridged()) GTEST_SKIP() << "runs in the plain registration";
        PluginTest::SetUp();
        store_.Put(u"VSTiBridge_x86", u"2");
        store_.Put(u"ShowEditor", u"1");
        SetEnv("PROBE_FLAGS", "0x111");  // HasEditor
        SetEnv("PROBE_EDITOR_SIZE", std::to_string(kEditorWidth) + "x" + std::to_string(kEditorHeight));
        SetEnv("PROBE_VENDOR", "YAMAHA");
        SetEnv("PROBE_PRODUCT", "S-YXG50");
    }
};

TEST_F(HostProcessEditor, OpenAsAGridFollowADraggedWindowStayLiveAndSaveTheirPosition) {
    const std::string position = std::to_string(int64_t((uint64_t(50) << 32) | 100));  // x 100, y 50
    store_.Put(u"EditorPos", std::u16string(position.begin(), position.end()));
    IHmxDecoder* d = Open(HeldNotesSong(4, 441000));
    ASSERT_NE(d, nullptr);
    ASSERT_EQ(RenderGuarded(d).frames, kBlockFrames);

    std::vector<HWND> w = HostProcessEditors();
    ASSERT_EQ(w.size(), 4u) << "one window for each of the first four ports, in the host process";
    for (size_t i = 0; i < 4; ++i) {
        ASSERT_NE(w[i], nullptr) << i;
        EXPECT_EQ(TitleOf(w[i]), std::wstring(L"YAMAHA: S-YXG50 (Port-") + wchar_t(L'A' + i) + L")");
        RECT client = {};
        GetClientRect(w[i], &client);
        EXPECT_EQ(client.right, kEditorWidth) << i;
        EXPECT_EQ(client.bottom, kEditorHeight) << i;
    }
    const int width = BoxOf(w[0]).width, height = BoxOf(w[0]).height;
    EXPECT_AT(w[0], 100, 50);
    EXPECT_AT(w[1], 100 + width, 50);
    EXPECT_AT(w[2], 100, 50 + height);
    EXPECT_AT(w[3], 100 + width, 50 + height);

    // Not modal: the windows answer while the song plays.
    for (int b = 0; b < 20; ++b) {
        ASSERT_EQ(RenderGuarded(d).frames, kBlockFrames);
        DWORD_PTR answer = 0;
        EXPECT_NE(SendMessageTimeoutW(w[b % 4], WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, &answer), 0) << b;
    }

    SetWindowPos(w[3], nullptr, 700, 650, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    DWORD_PTR answer = 0;
    SendMessageTimeoutW(w[0], WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, &answer);  // the moves have been handled
    EXPECT_AT(w[0], 700 - width, 650 - height);
    EXPECT_AT(w[1], 700, 650 - height);
    EXPECT_AT(w[2], 700 - width, 650);

    Close(d);
    EXPECT_TRUE(HostProcessEditors().empty()) << "closing the song closes its windows";
    const int64_t absent = 0x7EADBEEF7EADBEEF;
    const uint64_t saved = uint64_t(store_.GetInt(u"General", u"EditorPos", absent));
    ASSERT_NE(int64_t(saved), absent);
    EXPECT_EQ(int32_t(uint32_t(saved)), 700 - width);
    EXPECT_EQ(int32_t(uint32_t(saved >> 32)), 650 - height);
}

}  // namespace
}  // namespace tavren::test
