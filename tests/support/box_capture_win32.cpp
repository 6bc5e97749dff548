// Windows: the plug-in shows real boxes; the watcher records and closes them.
#include "box_capture.h"

#include "platform/text.h"

namespace tavren {

BoxCapture::BoxCapture() { state = new MessageBoxWatcher; }

BoxCapture::~BoxCapture() { delete static_cast<MessageBoxWatcher*>(state); }

// Each box is closed before the call that showed it returns.
std::vector<MessageBoxSeen> BoxCapture::Boxes() { return static_cast<MessageBoxWatcher*>(state)->Boxes(); }

std::string BoxCapture::Text() {
    std::string text;
    for (const MessageBoxSeen& box : Boxes()) text += ToUtf8(box.caption) + ": " + ToUtf8(box.text) + "\n";
    return text;
}

}  // namespace tavren
