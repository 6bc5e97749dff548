// The message boxes the real plug-in shows while a capture is alive, on
// either build: under Windows real boxes, found and closed by the watcher;
// natively the plug-in prints each as a "messagebox CAPTION: TEXT" line on
// standard output, which the capture takes over meanwhile (other lines are
// passed on when it ends).
#pragma once

#include <string>
#include <vector>

#include "message_box_watcher.h"

namespace tavren {

class BoxCapture {
public:
    BoxCapture();
    ~BoxCapture();
    BoxCapture(const BoxCapture&) = delete;
    BoxCapture& operator=(const BoxCapture&) = delete;

    // Ends the capture (natively) and gives every box seen, in order.
    std::vector<MessageBoxSeen> Boxes();
    // The same as "CAPTION: TEXT" lines (the text keeps its own "\r\n").
    std::string Text();

private:
    void* state = nullptr;
};

}  // namespace tavren
