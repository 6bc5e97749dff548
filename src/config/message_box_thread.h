// A message box on a thread of its own, so that it has its own message loop
// while the thread that raised it waits (a song open's load failure):
//   platform::RunOnNewThreadAndWait(MessageBoxThreadProc, &request)
#pragma once

#include <cstdint>

namespace tavren {

struct MessageBoxRequest {
    const char16_t* text;
    const char16_t* caption;
    uint32_t style;  // MessageBoxW style flags
};

// [its own thread] Shows the box with no owner window; gives 0 once the
// user has closed it. request is a MessageBoxRequest*.
unsigned MessageBoxThreadProc(void* request);

}  // namespace tavren
