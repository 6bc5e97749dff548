// The bridge natively: the shared memory is a memfd (no name in any file
// system; the host process gets it as an inherited descriptor), the two
// sides wake each other with futexes on the shared words, and the host
// process holds the read end of a pipe whose write end only the player
// holds: when the player ends, for whatever reason, the pipe reports it.
#include <fcntl.h>
#include <linux/futex.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <string>

#include "platform/text.h"
#include "vsthost/bridge_channel.h"
#include "vsthost/bridge_protocol.h"

extern char** environ;

namespace tavren::bridge {

namespace {

constexpr int kMemoryFd = 3;  // where the host process finds its descriptors
constexpr int kLifelineFd = 4;
// How often a sleeping side looks whether the other has ended.
constexpr uint32_t kLookMilliseconds = 100;

// Shared, not private: the other side is another process.
void FutexWait(std::atomic<uint32_t>* word, uint32_t value, uint32_t milliseconds) {
    timespec timeout{};
    timeout.tv_sec = milliseconds / 1000;
    timeout.tv_nsec = static_cast<long>(milliseconds % 1000) * 1000000L;
    syscall(SYS_futex, reinterpret_cast<uint32_t*>(word), FUTEX_WAIT, value, &timeout, nullptr, 0);
}

void FutexWake(std::atomic<uint32_t>* word) {
    syscall(SYS_futex, reinterpret_cast<uint32_t*>(word), FUTEX_WAKE, 1, nullptr, nullptr, 0);
}

uint64_t NowMilliseconds() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<uint64_t>(now.tv_sec) * 1000u + static_cast<uint64_t>(now.tv_nsec) / 1000000u;
}

void SetReason(char16_t* reason, size_t chars, const std::string& text) {
    if (reason && chars) CopyText(reason, chars, FromUtf8(text).c_str());
}

}  // namespace

struct Channel {
    void* memory = nullptr;
    int lifeline = -1;  // player: the pipe's write end; host process: its read end
    std::mutex lock;    // several player threads may look at the process at once
    pid_t pid = -1;     // [lock] until reaped
    Ending ending;      // [lock]
};

namespace {

// [holds channel->lock] Records how the process ended from a wait status.
void Reaped(Channel* channel, int status) {
    channel->ending.ended = true;
    channel->ending.signalled = WIFSIGNALED(status);
    channel->ending.code = static_cast<uint32_t>(WIFSIGNALED(status) ? WTERMSIG(status) : WEXITSTATUS(status));
    channel->pid = -1;
}

}  // namespace

Channel* LaunchHost(const char16_t* executable, char16_t* reason, size_t reasonChars) {
    const std::string path = ToUtf8(executable);
    if (access(path.c_str(), X_OK) != 0) {
        SetReason(reason, reasonChars, "the host program " + path + " cannot be started: " + std::strerror(errno));
        return nullptr;
    }
    auto* channel = new (std::nothrow) Channel();
    if (!channel) return nullptr;
    const int memoryFd = memfd_create("tavren-bridge", MFD_CLOEXEC);
    int pipeFds[2] = {-1, -1};
    bool ok = memoryFd >= 0 && ftruncate(memoryFd, static_cast<off_t>(SharedBytes())) == 0 && pipe2(pipeFds, O_CLOEXEC) == 0;
    if (ok) {
        channel->memory = mmap(nullptr, SharedBytes(), PROT_READ | PROT_WRITE, MAP_SHARED, memoryFd, 0);
        ok = channel->memory != MAP_FAILED;
        if (!ok) channel->memory = nullptr;
    }
    if (ok) {
        auto* header = static_cast<Header*>(channel->memory);
        header->magic = kMagic;
        header->version = kVersion;
        header->slotCount = kSlotCount;
        header->slotBytes = kSlotBytes;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        // dup2 clears close-on-exec on the copies: only these two reach the child.
        posix_spawn_file_actions_adddup2(&actions, memoryFd, kMemoryFd);
        posix_spawn_file_actions_adddup2(&actions, pipeFds[0], kLifelineFd);
        const std::string memoryArg = std::to_string(kMemoryFd), lifelineArg = std::to_string(kLifelineFd);
        char* argv[] = {const_cast<char*>(path.c_str()), const_cast<char*>("--bridge"),
                        const_cast<char*>(memoryArg.c_str()), const_cast<char*>(lifelineArg.c_str()), nullptr};
        const int error = posix_spawn(&channel->pid, path.c_str(), &actions, nullptr, argv, environ);
        posix_spawn_file_actions_destroy(&actions);
        if (error != 0) {
            channel->pid = -1;
            SetReason(reason, reasonChars, "the host program " + path + " cannot be started: " + std::strerror(error));
            ok = false;
        }
    }
    if (memoryFd >= 0) close(memoryFd);
    if (pipeFds[0] >= 0) close(pipeFds[0]);
    channel->lifeline = pipeFds[1];
    if (!ok) {
        if (reason && reasonChars && !reason[0]) SetReason(reason, reasonChars, "no shared memory for the host program");
        CloseChannel(channel);
        return nullptr;
    }
    return channel;
}

void* Memory(Channel* channel) { return channel->memory; }

void WakeHost(Channel* channel) { FutexWake(&static_cast<Header*>(channel->memory)->signal); }

bool WakingIsDear() { return false; }  // a futex: one system call

WaitEnd WaitForAnswer(Channel* channel, uint32_t, std::atomic<uint32_t>* state, uint32_t value,
                      uint32_t timeoutMilliseconds) {
    const uint64_t deadline = NowMilliseconds() + timeoutMilliseconds;
    for (;;) {
        if (state->load(std::memory_order_acquire) != value) return WaitEnd::Changed;
        if (HostEnding(channel).ended) return state->load() != value ? WaitEnd::Changed : WaitEnd::HostEnded;
        const uint64_t now = NowMilliseconds();
        if (now >= deadline) return WaitEnd::TimedOut;
        const uint64_t left = deadline - now;
        FutexWait(state, value, static_cast<uint32_t>(left < kLookMilliseconds ? left : kLookMilliseconds));
    }
}

Ending HostEnding(Channel* channel) {
    std::lock_guard<std::mutex> guard(channel->lock);
    int status = 0;
    if (channel->pid > 0 && waitpid(channel->pid, &status, WNOHANG) == channel->pid) Reaped(channel, status);
    return channel->ending;
}

Ending EndHost(Channel* channel, uint32_t milliseconds) {
    std::lock_guard<std::mutex> guard(channel->lock);
    // Closing the lifeline tells a host process that still waits to go.
    if (channel->lifeline >= 0) close(channel->lifeline);
    channel->lifeline = -1;
    const uint64_t deadline = NowMilliseconds() + milliseconds;
    int status = 0;
    while (channel->pid > 0 && NowMilliseconds() < deadline) {
        if (waitpid(channel->pid, &status, WNOHANG) == channel->pid) Reaped(channel, status);
        else usleep(2000);
    }
    if (channel->pid > 0) {
        kill(channel->pid, SIGKILL);
        if (waitpid(channel->pid, &status, 0) == channel->pid) Reaped(channel, status);
        channel->pid = -1;
    }
    return channel->ending;
}

void CloseChannel(Channel* channel) {
    if (!channel) return;
    EndHost(channel, 0);
    if (channel->lifeline >= 0) close(channel->lifeline);
    if (channel->memory) munmap(channel->memory, SharedBytes());
    delete channel;
}

Channel* AttachToPlayer(int argc, char** argv) {
    if (argc < 4 || std::strcmp(argv[1], "--bridge") != 0) return nullptr;
    const int memoryFd = std::atoi(argv[2]);
    const int lifeline = std::atoi(argv[3]);
    void* memory = mmap(nullptr, SharedBytes(), PROT_READ | PROT_WRITE, MAP_SHARED, memoryFd, 0);
    close(memoryFd);
    if (memory == MAP_FAILED) return nullptr;
    const auto* header = static_cast<const Header*>(memory);
    if (header->magic != kMagic || header->version != kVersion || header->slotCount != kSlotCount ||
        header->slotBytes != kSlotBytes) {
        munmap(memory, SharedBytes());
        return nullptr;
    }
    auto* channel = new (std::nothrow) Channel();
    if (!channel) return nullptr;
    channel->memory = memory;
    channel->lifeline = lifeline;
    return channel;
}

bool WaitForRequest(Channel* channel, uint32_t seen) {
    auto* header = static_cast<Header*>(channel->memory);
    for (;;) {
        header->hostSleeping.store(1);
        if (header->signal.load() != seen) break;
        FutexWait(&header->signal, seen, kLookMilliseconds);
        if (header->signal.load() != seen) break;
        // The player gone: the pipe's write end is closed (end of file), or it is broken.
        pollfd look{channel->lifeline, POLLIN, 0};
        if (poll(&look, 1, 0) != 0) {
            header->hostSleeping.store(0);
            return false;
        }
    }
    header->hostSleeping.store(0);
    return true;
}

void EndThisProcess(uint32_t code) { _exit(static_cast<int>(code & 0xff)); }

void WakePlayer(Channel* channel, uint32_t slot) { FutexWake(&SlotAt(channel->memory, slot)->state); }

}  // namespace tavren::bridge
