#include <windows.h>

#include <atomic>
#include <cstdio>
#include <string>
#include <thread>

#include "message_boxes.h"
#include "platform/text.h"

namespace hmxplay {

namespace {

struct Watch {
    std::atomic<bool> stop{false};
    std::thread thread;
};

BOOL CALLBACK CloseIfMessageBox(HWND window, LPARAM) {
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    wchar_t className[32] = {};
    if (pid != GetCurrentProcessId() || !GetClassNameW(window, className, 32) ||
        std::wstring(className) != L"#32770")
        return TRUE;
    wchar_t caption[512] = {};
    wchar_t text[4096] = {};
    GetWindowTextW(window, caption, 512);
    GetDlgItemTextW(window, 0xFFFF, text, 4096);  // the box's static text control
    std::string line = "messagebox " + tavren::EscapeForLine(reinterpret_cast<const char16_t*>(caption)) + ": " +
                       tavren::EscapeForLine(reinterpret_cast<const char16_t*>(text)) + "\n";
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fflush(stdout);
    PostMessageW(window, WM_COMMAND, IDOK, 0);
    // Wait until it is gone, so that one box prints once.
    for (int i = 0; i < 500 && IsWindow(window); ++i) Sleep(10);
    return TRUE;
}

}  // namespace

MessageBoxes::MessageBoxes() {
    auto* watch = new Watch();
    watch->thread = std::thread([watch] {
        while (!watch->stop.load()) {
            EnumWindows(CloseIfMessageBox, 0);
            Sleep(20);
        }
        EnumWindows(CloseIfMessageBox, 0);
    });
    state = watch;
}

MessageBoxes::~MessageBoxes() { Stop(); }

void MessageBoxes::Stop() {
    auto* watch = static_cast<Watch*>(state);
    if (!watch) return;
    watch->stop = true;
    watch->thread.join();
    delete watch;
    state = nullptr;
}

}  // namespace hmxplay
