// Windows: a thread that finds this process's message boxes and presses OK.
#include <windows.h>

#include <atomic>
#include <set>
#include <thread>

#include "message_box_watcher.h"

namespace tavren {

namespace {

constexpr DWORD kPollMs = 5;
constexpr int kTextChars = 4096;

struct WatchThread {
    std::thread thread;
    std::atomic<bool> stop{false};
    std::set<HWND> handled;  // boxes already recorded, until they are gone
};

struct Search {
    std::vector<HWND> boxes;
};

BOOL CALLBACK CollectBox(HWND window, LPARAM param) {
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process != GetCurrentProcessId() || !IsWindowVisible(window)) return TRUE;
    wchar_t className[16] = {};
    GetClassNameW(window, className, 16);
    // Visible only once its dialog initialisation has set the text.
    if (lstrcmpW(className, L"#32770") == 0) reinterpret_cast<Search*>(param)->boxes.push_back(window);
    return TRUE;
}

std::u16string WindowText(HWND window) {
    wchar_t text[kTextChars] = {};
    GetWindowTextW(window, text, kTextChars);
    return std::u16string(reinterpret_cast<const char16_t*>(text));
}

std::u16string BoxText(HWND box) {
    wchar_t text[kTextChars] = {};
    GetDlgItemTextW(box, 0xFFFF, text, kTextChars);
    return std::u16string(reinterpret_cast<const char16_t*>(text));
}

void Watch(MessageBoxWatcher* watcher, WatchThread* state) {
    while (!state->stop.load()) {
        Search search;
        EnumWindows(CollectBox, reinterpret_cast<LPARAM>(&search));
        for (auto it = state->handled.begin(); it != state->handled.end();)
            it = IsWindow(*it) ? std::next(it) : state->handled.erase(it);
        for (HWND box : search.boxes) {
            if (!state->handled.insert(box).second) continue;
            watcher->Record(MessageBoxSeen{WindowText(box), BoxText(box)});
            PostMessageW(box, WM_COMMAND, IDOK, 0);
        }
        Sleep(kPollMs);
    }
}

}  // namespace

void MessageBoxWatcher::Start() {
    auto* state = new WatchThread();
    state->thread = std::thread(Watch, this, state);
    platform_ = state;
}

void MessageBoxWatcher::Stop() {
    auto* state = static_cast<WatchThread*>(platform_);
    state->stop.store(true);
    state->thread.join();
    delete state;
    platform_ = nullptr;
}

}  // namespace tavren
