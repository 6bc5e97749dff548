// The instrument's editor windows as a user sees them: where the windows of a
// song's first four ports open and follow each other, what they are called,
// that the instrument is idled and called only on the host thread, and that
// closing a song leaves no window and no window class behind.
#include <windows.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "decoder_fixture.h"
#include "frame/module_state.h"
#include "vsthost/editor_grid.h"
#include "vsthost/editor_window.h"
#include "vsthost/host_thread.h"
#include "vsthost/instance.h"
#include "window_box.h"

namespace tavren::test {
namespace {

constexpr int kEditorWidth = 400, kEditorHeight = 300;

SIZE ClientSize(HWND window) {
    RECT r = {};
    GetClientRect(window, &r);
    return {r.right, r.bottom};
}

std::wstring ClassOf(HWND window) {
    wchar_t name[256] = {};
    GetClassNameW(window, name, 256);
    return name;
}

bool ClassRegistered(const std::wstring& name) {
    WNDCLASSEXW info = {};
    info.cbSize = sizeof info;
    return GetClassInfoExW(GetModuleHandleW(nullptr), name.c_str(), &info) != 0;
}

VstiHost* Host() {
    platform::LockGuard guard(HostLock);
    return CurrentHost;
}

struct ThreadWindows {
    HWND hidden;
    std::vector<HWND> windows;
};

BOOL CALLBACK CollectWindow(HWND window, LPARAM param) {
    auto* found = reinterpret_cast<ThreadWindows*>(param);
    if (window != found->hidden && ClassOf(window).rfind(L"tavren.hmx:", 0) == 0) found->windows.push_back(window);
    return TRUE;
}

// The host thread's windows of our own classes other than its hidden one
// (Wine gives a thread windows of its own, such as the input method's).
std::vector<HWND> EditorWindowsOnHost() {
    ThreadWindows found{static_cast<HWND>(Host()->window), {}};
    EnumThreadWindows(Host()->threadId, CollectWindow, reinterpret_cast<LPARAM>(&found));
    return found.windows;
}

void MoveTo(HWND window, int x, int y) {
    SetWindowPos(window, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

class EditorTest : public DecoderTest {
protected:
    void SetUp() override {
        DecoderTest::SetUp();
        ClearEnv("PROBE_EDITOR_NO_RECT");
        SetEnv("PROBE_FLAGS", "0x111");  // HasEditor
        SetEnv("PROBE_EDITOR_SIZE", std::to_string(kEditorWidth) + "x" + std::to_string(kEditorHeight));
        store_.Put(u"ShowEditor", u"1");
    }
    void TearDown() override {
        ClearEnv("PROBE_EDITOR_SIZE");
        ClearEnv("PROBE_EDITOR_NO_RECT");
        DecoderTest::TearDown();
    }

    // A song with one short track on each of ports 0 to ports - 1, rendered
    // once, which opens the editors.
    AxVstiDecoder* OpenAndRender(int ports) {
        std::vector<Bytes> tracks;
        for (int p = 0; p < ports; ++p) tracks.push_back(TrackAt(p, {{0, NoteOn(0, 60)}}, 44100));
        AxVstiDecoder* d = Open(Song(tracks));
        EXPECT_NE(d, nullptr);
        if (!d) return nullptr;
        EXPECT_EQ(d->Playback().instanceCount, ports);
        RenderOne(d);
        return d;
    }

    static HWND WindowOf(AxVstiDecoder* d, int i) {
        return static_cast<HWND>(d->Playback().instances[i]->editorWindow);
    }

    void PutEditorPos(int32_t x, int32_t y) {
        uint64_t packed = (uint64_t(uint32_t(y)) << 32) | uint32_t(x);
        std::string text = std::to_string(int64_t(packed));
        store_.Put(u"EditorPos", std::u16string(text.begin(), text.end()));
    }
    bool SavedEditorPos(int32_t* x, int32_t* y) {
        const int64_t absent = 0x7EADBEEF7EADBEEF;
        int64_t v = store_.GetInt(u"General", u"EditorPos", absent);
        *x = int32_t(uint32_t(uint64_t(v)));
        *y = int32_t(uint32_t(uint64_t(v) >> 32));
        return v != absent;
    }

    void UpdateShowEditor(AxVstiDecoder* d, bool on) {
        store_.Put(u"ShowEditor", on ? u"1" : u"0");
        d->UpdateConfig(0);
    }
};

TEST(EditorGrid, ColumnsTakeTheWiderOfPorts0And2RowsTheTallerOfPorts0And1) {
    const GridSize sizes[3] = {{100, 50}, {120, 70}, {90, 60}};  // column 100, row 70
    struct Case {
        int from, to;
        GridPoint expected;
    } cases[] = {
        {3, 0, {400, 330}}, {3, 1, {500, 330}}, {3, 2, {400, 400}}, {3, 3, {500, 400}},
        {0, 3, {600, 470}}, {1, 2, {400, 470}}, {2, 1, {600, 330}},
        {4, 0, {500, 400}},  // a port outside the grid stays where it is
    };
    for (const Case& c : cases) {
        GridPoint at = GridCellPosition(sizes, c.from, 500, 400, c.to);
        EXPECT_EQ(at.x, c.expected.x) << c.from << " -> " << c.to;
        EXPECT_EQ(at.y, c.expected.y) << c.from << " -> " << c.to;
    }
}

TEST_F(EditorTest, FourEqualEditorsOpenAsAGridAtTheSavedPositionAndFollowADraggedWindow) {
    PutEditorPos(100, 50);
    AxVstiDecoder* d = OpenAndRender(4);
    ASSERT_NE(d, nullptr);
    HWND w[4];
    for (int i = 0; i < 4; ++i) {
        w[i] = WindowOf(d, i);
        ASSERT_NE(w[i], nullptr) << i;
        EXPECT_TRUE(IsWindowVisible(w[i])) << i;
        SIZE client = ClientSize(w[i]);
        EXPECT_EQ(client.cx, kEditorWidth) << i;  // sized to the editor's rectangle
        EXPECT_EQ(client.cy, kEditorHeight) << i;
    }
    const int width = BoxOf(w[0]).width, height = BoxOf(w[0]).height;
    EXPECT_GT(width, kEditorWidth);  // caption and frame around the editor
    EXPECT_GT(height, kEditorHeight);
    EXPECT_AT(w[0], 100, 50);
    EXPECT_AT(w[1], 100 + width, 50);
    EXPECT_AT(w[2], 100, 50 + height);
    EXPECT_AT(w[3], 100 + width, 50 + height);

    const int a = 700, b = 650;
    MoveTo(w[3], a, b);
    EXPECT_AT(w[3], a, b);
    EXPECT_AT(w[0], a - width, b - height);
    EXPECT_AT(w[1], a, b - height);
    EXPECT_AT(w[2], a - width, b);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(BoxOf(w[i]).width, width) << i;  // moved, never resized
        EXPECT_EQ(BoxOf(w[i]).height, height) << i;
    }

    MoveTo(w[1], 900, 40);
    EXPECT_AT(w[0], 900 - width, 40);
    EXPECT_AT(w[3], 900, 40 + height);

    // The first window's last position is what closing keeps.
    Close(d);
    int32_t x = 0, y = 0;
    ASSERT_TRUE(SavedEditorPos(&x, &y));
    EXPECT_EQ(x, 900 - width);
    EXPECT_EQ(y, 40);
}

TEST_F(EditorTest, WithoutAnEditorRectangleWindowsKeepTheirSizeAndNeighboursCountAsEmpty) {
    SetEnv("PROBE_EDITOR_NO_RECT", "1");
    PutEditorPos(200, 100);
    AxVstiDecoder* d = OpenAndRender(2);
    ASSERT_NE(d, nullptr);
    HWND first = WindowOf(d, 0), second = WindowOf(d, 1);
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_NE(ClientSize(first).cx, kEditorWidth);
    EXPECT_AT(first, 200, 100);
    EXPECT_AT(second, 200, 100);  // a 0 x 0 neighbour: no offset
}

TEST_F(EditorTest, SixInstancesGiveFourWindowsAndClosingLeavesNoWindowOrClass) {
    ProbeLog log;
    AxVstiDecoder* d = OpenAndRender(6);
    ASSERT_NE(d, nullptr);
    std::vector<std::wstring> classes;
    for (int i = 0; i < 4; ++i) {
        ASSERT_NE(WindowOf(d, i), nullptr) << i;
        classes.push_back(ClassOf(WindowOf(d, i)));
        EXPECT_TRUE(ClassRegistered(classes.back())) << i;
    }
    EXPECT_EQ(WindowOf(d, 4), nullptr);
    EXPECT_EQ(WindowOf(d, 5), nullptr);
    EXPECT_EQ(EditorWindowsOnHost().size(), 4u);
    EXPECT_EQ(log.Matching({" op=14 "}).size(), 4u);

    Close(d);
    EXPECT_TRUE(EditorWindowsOnHost().empty());
    EXPECT_EQ(log.Matching({" op=15 "}).size(), 4u);
    for (const std::wstring& name : classes) EXPECT_FALSE(ClassRegistered(name));
}

TEST_F(EditorTest, AnOffScreenPositionIsPulledBackToLeave100PixelsOnScreen) {
    const int screenWidth = GetSystemMetrics(SM_CXSCREEN), screenHeight = GetSystemMetrics(SM_CYSCREEN);
    ASSERT_GT(screenWidth, 100);
    ASSERT_GT(screenHeight, 100);
    struct Case {
        int32_t savedX, savedY, x, y;
    } cases[] = {
        {-50, 5000, 0, screenHeight - 100},
        {screenWidth + 300, -40, screenWidth - 100, 0},
        {30, 20, 30, 20},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.savedX) + "," + std::to_string(c.savedY));
        PutEditorPos(c.savedX, c.savedY);
        AxVstiDecoder* d = OpenAndRender(1);
        ASSERT_NE(d, nullptr);
        ASSERT_NE(WindowOf(d, 0), nullptr);
        EXPECT_AT(WindowOf(d, 0), c.x, c.y);
        Close(d);
        int32_t x = 0, y = 0;
        ASSERT_TRUE(SavedEditorPos(&x, &y));
        EXPECT_EQ(x, c.x);
        EXPECT_EQ(y, c.y);
    }
}

TEST_F(EditorTest, TitleNamesVendorProductAndPortLetter) {
    store_.Put(u"Cache_x86", u"0");  // each song's effects take that song's names
    SetEnv("PROBE_VENDOR", "YAMAHA");
    SetEnv("PROBE_PRODUCT", "S-YXG50");
    AxVstiDecoder* d = OpenAndRender(2);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(TitleOf(WindowOf(d, 0)), L"YAMAHA: S-YXG50 (Port-A)");
    EXPECT_EQ(TitleOf(WindowOf(d, 1)), L"YAMAHA: S-YXG50 (Port-B)");
    Close(d);

    // Names longer than the published limit are cut to 64 characters.
    SetEnv("PROBE_VENDOR", std::string(100, 'V'));
    SetEnv("PROBE_PRODUCT", std::string(70, 'p'));
    d = OpenAndRender(1);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(TitleOf(WindowOf(d, 0)), std::wstring(64, L'V') + L": " + std::wstring(64, L'p') + L" (Port-A)");
}

TEST_F(EditorTest, EveryEditorCallRunsOnTheHostThreadAndIdlingStopsWithTheWindow) {
    ProbeLog log;
    AxVstiDecoder* d = OpenAndRender(2);
    ASSERT_NE(d, nullptr);
    const uint32_t hostThread = Host()->threadId;
    ASSERT_NE(hostThread, GetCurrentThreadId());
    Sleep(300);  // the decoding thread sleeps; only the host thread's timer runs
    d->UpdateConfig(0);  // still wanted: the same two windows stay
    EXPECT_EQ(EditorWindowsOnHost().size(), 2u);
    Close(d);

    for (const char* op : {" op=13 ", " op=14 ", " op=15 ", " op=19 ", " op=47 ", " op=48 "}) {
        std::vector<std::string> lines = log.Matching({" dispatch ", op});
        EXPECT_FALSE(lines.empty()) << op;
        for (const std::string& line : lines) EXPECT_EQ(LineThread(line), hostThread) << line;
    }
    // Each editor was idled while open (10 ms timer) and never after its close.
    for (const std::string& close : log.Matching({" op=15 "})) {
        long long serial = LineValue(close, "serial=");
        std::string tag = "serial=" + std::to_string(serial) + " ";
        size_t idles = log.Matching({" op=19 ", tag.c_str()}).size();
        EXPECT_GE(idles, 3u) << close;
        EXPECT_EQ(LineValue(close, "idles="), static_cast<long long>(idles)) << close;
    }
    size_t before = log.Matching({" op=19 "}).size();
    Sleep(100);
    EXPECT_EQ(log.Matching({" op=19 "}).size(), before);
}

TEST_F(EditorTest, AWindowTheUserClosesStaysClosedUntilShowEditorIsTurnedOffAndOn) {
    ProbeLog log;
    PutEditorPos(100, 100);
    AxVstiDecoder* d = OpenAndRender(2);
    ASSERT_NE(d, nullptr);
    HWND second = WindowOf(d, 1);
    ASSERT_NE(second, nullptr);
    const int width = BoxOf(WindowOf(d, 0)).width;
    std::wstring secondClass = ClassOf(second);

    SendMessageW(second, WM_CLOSE, 0, 0);  // as the close box does
    EXPECT_FALSE(IsWindow(second));
    EXPECT_EQ(WindowOf(d, 1), nullptr);
    EXPECT_FALSE(ClassRegistered(secondClass));
    EXPECT_EQ(log.Matching({" op=15 "}).size(), 1u);

    RenderOne(d);
    UpdateShowEditor(d, true);
    EXPECT_EQ(WindowOf(d, 1), nullptr);
    EXPECT_TRUE(d->Editors().editorShown);
    EXPECT_EQ(EditorWindowsOnHost().size(), 1u);

    UpdateShowEditor(d, false);
    EXPECT_FALSE(d->Editors().editorShown);
    EXPECT_TRUE(EditorWindowsOnHost().empty());
    UpdateShowEditor(d, true);
    ASSERT_NE(WindowOf(d, 1), nullptr);
    EXPECT_AT(WindowOf(d, 1), 100 + width, 100);
    EXPECT_EQ(EditorWindowsOnHost().size(), 2u);
}

// The window procedure changes the editor state on the host thread at any
// moment (the user drags or closes a window), so the decoder's thread must
// leave it alone: opening, moving, closing and reopening, and a user
// dragging one window while the decoder closes and reopens them, touch it
// only on the host thread and leave no window behind.
TEST_F(EditorTest, EditorStateIsTouchedOnlyOnTheHostThread) {
    PutEditorPos(100, 100);
    const int32_t before = EditorStateTouchedOffHostThread.load();
    AxVstiDecoder* d = OpenAndRender(4);
    ASSERT_NE(d, nullptr);
    MoveTo(WindowOf(d, 3), 700, 500);

    std::atomic<bool> stop{false};
    HWND first = WindowOf(d, 0);
    std::thread user([&] {
        for (int i = 0; !stop.load(); ++i) {
            if (IsWindow(first)) MoveTo(first, 100 + i % 50, 120);
            Sleep(1);
        }
    });
    for (int round = 0; round < 10; ++round) {
        UpdateShowEditor(d, false);
        UpdateShowEditor(d, true);
        first = WindowOf(d, 0);  // read while the user thread may move it: a test's liberty
    }
    stop = true;
    user.join();
    Close(d);
    EXPECT_TRUE(EditorWindowsOnHost().empty());
    int32_t x = 0, y = 0;
    EXPECT_TRUE(SavedEditorPos(&x, &y));
    EXPECT_EQ(EditorStateTouchedOffHostThread.load(), before);
}

TEST_F(EditorTest, AnInstrumentWithoutAnEditorOpensNoWindow) {
    ProbeLog log;
    SetEnv("PROBE_FLAGS", "0x110");
    AxVstiDecoder* d = OpenAndRender(2);
    ASSERT_NE(d, nullptr);
    EXPECT_FALSE(d->Editors().editorWanted);
    EXPECT_FALSE(d->Editors().editorShown);
    EXPECT_TRUE(EditorWindowsOnHost().empty());
    Close(d);
    int32_t x = 0, y = 0;
    EXPECT_FALSE(SavedEditorPos(&x, &y));

    // Turned on during playback: "shown" with no window, and closing saves.
    d = OpenAndRender(2);
    ASSERT_NE(d, nullptr);
    store_.Put(u"ShowEditor", u"1");
    d->UpdateConfig(0);
    EXPECT_TRUE(d->Editors().editorWanted);
    RenderOne(d);
    EXPECT_TRUE(d->Editors().editorShown);
    EXPECT_TRUE(EditorWindowsOnHost().empty());
    Close(d);
    EXPECT_TRUE(SavedEditorPos(&x, &y));
    EXPECT_TRUE(log.Matching({" op=14 "}).empty());
}

}  // namespace
}  // namespace tavren::test
