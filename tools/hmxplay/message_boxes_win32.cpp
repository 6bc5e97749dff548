#include <cstdio>
#include <string>

#include "message_box_watcher.h"
#include "message_boxes.h"
#include "platform/text.h"

namespace hmxplay {

namespace {

void PrintBox(const tavren::MessageBoxSeen& box, void*) {
    std::string line = "messagebox " + tavren::EscapeForLine(box.caption.c_str()) + ": " +
                       tavren::EscapeForLine(box.text.c_str()) + "\n";
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fflush(stdout);
}

}  // namespace

MessageBoxes::MessageBoxes() { state = new tavren::MessageBoxWatcher(PrintBox); }

MessageBoxes::~MessageBoxes() { Stop(); }

void MessageBoxes::Stop() {
    delete static_cast<tavren::MessageBoxWatcher*>(state);
    state = nullptr;
}

}  // namespace hmxplay
