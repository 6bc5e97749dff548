#include "config/failure_box.h"

#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "config/arch.h"
#include "config/format_key.h"
#include "platform/platform.h"

namespace tavren {

namespace {

constexpr uint32_t kFailureBoxStyle = 0x41000;  // MB_OK | MB_SYSTEMMODAL | MB_TOPMOST
constexpr size_t kReasonChars = 256;
constexpr size_t kBoxTextChars = 1024;

const char16_t kCrashedText[] = u"VSTi プラグインがクラッシュしました。(コード 0x%08X)";
const char16_t kStoppedRespondingText[] = u"VSTi プラグインが応答しなくなりました。";
const char16_t kFailureBoxText[] = u"%s\r\n\r\n演奏を停止しました。\r\n\r\nVSTiPath=%s";

// The threads of the boxes shown since the last wait.
std::mutex boxLock;
std::vector<std::thread> boxThreads;

}  // namespace

void DescribeInstrumentFailure(char16_t* text, size_t capacity, InstrumentFailure what, uint32_t code) {
    if (what == InstrumentFailure::Crashed)
        FormatKey(text, capacity, kCrashedText, code);
    else
        FormatKey(text, capacity, kStoppedRespondingText);
}

void ShowInstrumentFailure(const char16_t* path, InstrumentFailure what, uint32_t code) {
    char16_t reason[kReasonChars];
    DescribeInstrumentFailure(reason, kReasonChars, what, code);
    char16_t text[kBoxTextChars];
    FormatKey(text, kBoxTextChars, kFailureBoxText, static_cast<const char16_t*>(reason), path);
    try {
        std::lock_guard<std::mutex> lock(boxLock);
        boxThreads.reserve(boxThreads.size() + 1);  // so that the thread, once started, is always kept
        boxThreads.emplace_back([owned = std::u16string(text)] {
            platform::ShowMessageBox(owned.c_str(), TAVREN_PLUGIN_FILE, kFailureBoxStyle);
        });
    } catch (...) {
        // No memory or no thread: the song has stopped all the same.
    }
}

void WaitForFailureBoxes() {
    std::vector<std::thread> waiting;
    {
        std::lock_guard<std::mutex> lock(boxLock);
        waiting.swap(boxThreads);
    }
    for (std::thread& thread : waiting) thread.join();
}

}  // namespace tavren
