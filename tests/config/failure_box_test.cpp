#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "config/failure_box.h"
#include "platform/platform.h"
#include "platform/text.h"

namespace tavren {
namespace {

#ifndef _WIN32
// Natively boxes go to the platform's sink; this one stands for a user who
// closes each box only when the test says so.
std::mutex seenLock;
std::vector<std::string> seen;
std::atomic<bool> userCloses{false};
std::atomic<int> waitingForUser{0};

void SlowUser(const char16_t* caption, const char16_t* text) {
    ++waitingForUser;
    while (!userCloses.load()) std::this_thread::yield();
    std::lock_guard<std::mutex> lock(seenLock);
    seen.push_back(ToUtf8(caption) + ": " + ToUtf8(text));
}

TEST(FailureBox, ShownWithoutWaitingAndWaitedForAtTheEnd) {
    platform::SetMessageBoxSink(SlowUser);
    ShowInstrumentFailure(u"C:\\VSTi\\synth.dll", InstrumentFailure::Crashed, 0xC0000005u);
    ShowInstrumentFailure(u"C:\\VSTi\\other.dll", InstrumentFailure::StoppedResponding, 0);
    while (waitingForUser.load() < 2) std::this_thread::yield();  // both boxes up, neither caller waited
    userCloses.store(true);
    WaitForFailureBoxes();
    platform::SetMessageBoxSink(nullptr);
    std::lock_guard<std::mutex> lock(seenLock);
    ASSERT_EQ(seen.size(), 2u) << "every box was closed before the wait returned";
    std::sort(seen.begin(), seen.end());
    EXPECT_EQ(seen[0],
              "tavren_x86.hmx: VSTi プラグインがクラッシュしました。(コード 0xC0000005)\r\n\r\n"
              "演奏を停止しました。\r\n\r\nVSTiPath=C:\\VSTi\\synth.dll");
    EXPECT_EQ(seen[1],
              "tavren_x86.hmx: VSTi プラグインが応答しなくなりました。\r\n\r\n"
              "演奏を停止しました。\r\n\r\nVSTiPath=C:\\VSTi\\other.dll");
}
#endif

}  // namespace
}  // namespace tavren
