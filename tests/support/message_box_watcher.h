// Finds, records and closes the message boxes this process shows, so that a
// test (or a command-line host) never waits for a person.
//   Windows: a thread looks every few milliseconds for visible top-level
//     dialog windows (class "#32770") of this process, reads the caption and
//     the text (static control 0xFFFF) and presses OK.
//   Native: installs the platform's message-box sink; the box "closes" at once.
// One watcher per process at a time. Used by the test suites and by hmxplay
// (which compiles message_box_watcher.cpp and this build's platform file).
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace tavren {

struct MessageBoxSeen {
    std::u16string caption;
    std::u16string text;
};

class MessageBoxWatcher {
public:
    // listener (optional) is called, on the watching thread, for every box found.
    using Listener = void (*)(const MessageBoxSeen& box, void* context);

    explicit MessageBoxWatcher(Listener listener = nullptr, void* context = nullptr);
    ~MessageBoxWatcher();
    MessageBoxWatcher(const MessageBoxWatcher&) = delete;
    MessageBoxWatcher& operator=(const MessageBoxWatcher&) = delete;

    // Waits until at least count boxes have been seen since the start or the
    // last Clear; false when timeoutMs (native time, stretched by
    // TimeScale() where 32-bit code is emulated) passed first.
    bool WaitForCount(size_t count, uint32_t timeoutMs);
    std::vector<MessageBoxSeen> Boxes() const;
    void Clear();

    // [platform file] called for each box found.
    void Record(MessageBoxSeen box);

private:
    void Start();  // [platform file]
    void Stop();   // [platform file]

    Listener listener_;
    void* context_;
    mutable std::mutex lock_;
    std::condition_variable changed_;
    std::vector<MessageBoxSeen> boxes_;
    void* platform_ = nullptr;  // the platform file's own state
};

}  // namespace tavren
