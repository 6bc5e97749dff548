// Native: no windows; the platform hands each box to a sink instead.
#include <atomic>

#include "message_box_watcher.h"
#include "platform/platform.h"

namespace tavren {

namespace {

std::atomic<MessageBoxWatcher*> activeWatcher{nullptr};

void Sink(const char16_t* caption, const char16_t* text) {
    if (MessageBoxWatcher* watcher = activeWatcher.load())
        watcher->Record(MessageBoxSeen{caption ? caption : u"", text ? text : u""});
}

}  // namespace

void MessageBoxWatcher::Start() {
    activeWatcher.store(this);
    platform::SetMessageBoxSink(Sink);
}

void MessageBoxWatcher::Stop() {
    platform::SetMessageBoxSink(nullptr);
    activeWatcher.store(nullptr);
}

}  // namespace tavren
