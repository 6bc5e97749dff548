#include <gtest/gtest.h>

#include <string>

#include "config/message_box_thread.h"
#include "platform/platform.h"
#include "platform/text.h"

namespace tavren {
namespace {

#ifndef _WIN32
// The native platform layer hands boxes to a sink instead of a window.
std::string shown;
uint32_t shownOnThread = 0;
void Capture(const char16_t* caption, const char16_t* text) {
    shown = ToUtf8(caption) + ": " + ToUtf8(text);
    shownOnThread = platform::CurrentThreadId();
}

TEST(MessageBoxThread, ShowsTheRequestOnItsOwnThread) {
    platform::SetMessageBoxSink(Capture);
    MessageBoxRequest request{u"読み込めません", u"tavren_x86.hmx", 0x41010};
    EXPECT_TRUE(platform::RunOnNewThreadAndWait(MessageBoxThreadProc, &request));
    EXPECT_EQ(shown, "tavren_x86.hmx: 読み込めません");
    EXPECT_NE(shownOnThread, platform::CurrentThreadId());
    EXPECT_EQ(MessageBoxThreadProc(&request), 0u);
    platform::SetMessageBoxSink(nullptr);
}
#endif

}  // namespace
}  // namespace tavren
