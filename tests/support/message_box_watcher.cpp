#include "message_box_watcher.h"

#include <chrono>

#include "time_scale.h"

namespace tavren {

MessageBoxWatcher::MessageBoxWatcher(Listener listener, void* context) : listener_(listener), context_(context) {
    Start();
}

MessageBoxWatcher::~MessageBoxWatcher() { Stop(); }

void MessageBoxWatcher::Record(MessageBoxSeen box) {
    if (listener_) listener_(box, context_);
    std::lock_guard<std::mutex> lock(lock_);
    boxes_.push_back(std::move(box));
    changed_.notify_all();
}

bool MessageBoxWatcher::WaitForCount(size_t count, uint32_t timeoutMs) {
    std::unique_lock<std::mutex> lock(lock_);
    return changed_.wait_for(lock, std::chrono::milliseconds(test::ScaledMs(timeoutMs)), [&] { return boxes_.size() >= count; });
}

std::vector<MessageBoxSeen> MessageBoxWatcher::Boxes() const {
    std::lock_guard<std::mutex> lock(lock_);
    return boxes_;
}

void MessageBoxWatcher::Clear() {
    std::lock_guard<std::mutex> lock(lock_);
    boxes_.clear();
}

}  // namespace tavren
