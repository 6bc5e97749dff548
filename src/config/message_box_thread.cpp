#include "config/message_box_thread.h"

#include "platform/platform.h"

namespace tavren {

unsigned MessageBoxThreadProc(void* request) {
    const auto* box = static_cast<const MessageBoxRequest*>(request);
    platform::ShowMessageBox(box->text, box->caption, box->style);
    return 0;
}

}  // namespace tavren
