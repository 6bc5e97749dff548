// Message boxes the plug-in raises must not hang a run: hmxplay prints each
// as "messagebox CAPTION: TEXT" and closes it. The Windows build watches
// for the boxes on a thread of its own; the native plug-in prints the same
// line itself instead of showing a window.
#pragma once

namespace hmxplay {

class MessageBoxes {
public:
    MessageBoxes();
    ~MessageBoxes();
    MessageBoxes(const MessageBoxes&) = delete;
    MessageBoxes& operator=(const MessageBoxes&) = delete;
    // Ends the watch; a box still open is handled first.
    void Stop();

private:
    void* state = nullptr;
};

}  // namespace hmxplay
