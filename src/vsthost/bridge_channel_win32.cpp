// The bridge on Windows: an unnamed file mapping and unnamed events, all
// inherited by the host process and by nothing else (the list of handles
// it may inherit is given explicitly), and a handle of the player's process
// that the host process watches. Waking across processes takes an event: a
// side sets one only when the other has said it sleeps.
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <mutex>
#include <new>
#include <string>

#include "platform/text.h"
#include "vsthost/bridge_channel.h"
#include "vsthost/bridge_protocol.h"

namespace tavren::bridge {

namespace {

const wchar_t* W(const char16_t* text) { return reinterpret_cast<const wchar_t*>(text); }

void SetReason(char16_t* reason, size_t chars, const char16_t* text) {
    if (reason && chars) CopyText(reason, chars, text);
}

}  // namespace

struct Channel {
    HANDLE mapping = nullptr;
    void* memory = nullptr;
    HANDLE hostEvent = nullptr;              // wakes the host process
    HANDLE slotEvents[kSlotCount] = {};      // wake the player waiting on a slot
    HANDLE other = nullptr;                  // the host process (player), the player (host process)
    std::mutex lock;                         // [player] the process's end, looked at from several threads
    Ending ending;                           // [lock]
};

namespace {

// Handles given to the host process: the mapping, the host event, the
// player's process, the slot events, in this order on its command line.
constexpr size_t kHandleCount = 3 + kSlotCount;

HANDLE Inheritable(HANDLE handle) {
    if (handle) SetHandleInformation(handle, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
    return handle;
}

bool StartProcess(const char16_t* executable, HANDLE* handles, Channel* channel) {
    std::wstring command = L"\"";
    command += W(executable);
    command += L"\" --bridge";
    for (size_t i = 0; i < kHandleCount; ++i) {
        command += L' ';
        // Handle values are 32-bit significant in both widths, by design.
        command += std::to_wstring(static_cast<unsigned long>(reinterpret_cast<uintptr_t>(handles[i])));
    }
    STARTUPINFOEXW info = {};
    info.StartupInfo.cb = sizeof info;
    SIZE_T attributeBytes = 0;
    InitializeProcThreadAttributeList(nullptr, 1, 0, &attributeBytes);
    std::string attributes(attributeBytes, '\0');
    auto* list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(&attributes[0]);
    DWORD flags = CREATE_NO_WINDOW;
    // Only our handles reach the host process, not whatever else the player made inheritable.
    if (attributeBytes && InitializeProcThreadAttributeList(list, 1, 0, &attributeBytes)) {
        if (UpdateProcThreadAttribute(list, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, handles, kHandleCount * sizeof(HANDLE),
                                      nullptr, nullptr)) {
            info.lpAttributeList = list;
            flags |= EXTENDED_STARTUPINFO_PRESENT;
        }
    }
    PROCESS_INFORMATION process = {};
    // No environment and no folder given: the host process has the player's.
    const BOOL started = CreateProcessW(W(executable), &command[0], nullptr, nullptr, TRUE, flags, nullptr, nullptr,
                                        &info.StartupInfo, &process);
    if (info.lpAttributeList) DeleteProcThreadAttributeList(list);
    if (!started) return false;
    CloseHandle(process.hThread);
    channel->other = process.hProcess;
    return true;
}

}  // namespace

Channel* LaunchHost(const char16_t* executable, char16_t* reason, size_t reasonChars) {
    const DWORD attributes = GetFileAttributesW(W(executable));
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        SetReason(reason, reasonChars, u"VSTi を別プロセスで動作させるプログラムが見つかりません。");
        if (reason && reasonChars) {
            AppendText(reason, reasonChars, u"\r\n");
            AppendText(reason, reasonChars, executable);
        }
        return nullptr;
    }
    auto* channel = new (std::nothrow) Channel();
    if (!channel) return nullptr;
    const DWORD bytes = static_cast<DWORD>(SharedBytes());
    channel->mapping = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, bytes, nullptr);
    channel->memory = channel->mapping ? MapViewOfFile(channel->mapping, FILE_MAP_ALL_ACCESS, 0, 0, 0) : nullptr;
    channel->hostEvent = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    bool ok = channel->memory && channel->hostEvent;
    for (HANDLE& event : channel->slotEvents) {
        event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
        ok = ok && event;
    }
    HANDLE player = nullptr;
    ok = ok && DuplicateHandle(GetCurrentProcess(), GetCurrentProcess(), GetCurrentProcess(), &player, SYNCHRONIZE,
                               FALSE, 0);
    if (ok) {
        auto* header = static_cast<Header*>(channel->memory);
        header->magic = kMagic;
        header->version = kVersion;
        header->slotCount = kSlotCount;
        header->slotBytes = kSlotBytes;
        HANDLE handles[kHandleCount] = {Inheritable(channel->mapping), Inheritable(channel->hostEvent),
                                        Inheritable(player)};
        for (size_t i = 0; i < kSlotCount; ++i) handles[3 + i] = Inheritable(channel->slotEvents[i]);
        ok = StartProcess(executable, handles, channel);
        // Inheritable only for this start: a later process of the player's must not get them.
        for (HANDLE handle : handles) SetHandleInformation(handle, HANDLE_FLAG_INHERIT, 0);
        if (!ok) SetReason(reason, reasonChars, u"VSTi を別プロセスで動作させるプログラムを起動出来ません。");
    }
    if (player) CloseHandle(player);
    if (!ok) {
        CloseChannel(channel);
        return nullptr;
    }
    return channel;
}

void* Memory(Channel* channel) { return channel->memory; }

void WakeHost(Channel* channel) { SetEvent(channel->hostEvent); }

bool WakingIsDear() { return true; }

WaitEnd WaitForAnswer(Channel* channel, uint32_t slot, std::atomic<uint32_t>* state, uint32_t value,
                      uint32_t timeoutMilliseconds) {
    if (state->load(std::memory_order_acquire) != value) return WaitEnd::Changed;
    HANDLE handles[2] = {channel->slotEvents[slot], channel->other};
    switch (WaitForMultipleObjects(2, handles, FALSE, timeoutMilliseconds)) {
        case WAIT_OBJECT_0: return WaitEnd::Changed;
        case WAIT_OBJECT_0 + 1: return state->load() != value ? WaitEnd::Changed : WaitEnd::HostEnded;
        default: return WaitEnd::TimedOut;
    }
}

Ending HostEnding(Channel* channel) {
    std::lock_guard<std::mutex> guard(channel->lock);
    DWORD code = 0;
    if (!channel->ending.ended && channel->other && GetExitCodeProcess(channel->other, &code) && code != STILL_ACTIVE) {
        channel->ending.ended = true;
        channel->ending.code = code;
    }
    return channel->ending;
}

Ending EndHost(Channel* channel, uint32_t milliseconds) {
    std::lock_guard<std::mutex> guard(channel->lock);
    if (!channel->other) return channel->ending;
    if (WaitForSingleObject(channel->other, milliseconds) != WAIT_OBJECT_0) {
        TerminateProcess(channel->other, 1);
        WaitForSingleObject(channel->other, 5000);
    }
    DWORD code = 0;
    if (!channel->ending.ended && GetExitCodeProcess(channel->other, &code)) {
        channel->ending.ended = true;
        channel->ending.code = code;
    }
    CloseHandle(channel->other);
    channel->other = nullptr;
    return channel->ending;
}

void CloseChannel(Channel* channel) {
    if (!channel) return;
    if (channel->other) CloseHandle(channel->other);
    if (channel->memory) UnmapViewOfFile(channel->memory);
    if (channel->mapping) CloseHandle(channel->mapping);
    if (channel->hostEvent) CloseHandle(channel->hostEvent);
    for (HANDLE event : channel->slotEvents)
        if (event) CloseHandle(event);
    delete channel;
}

Channel* AttachToPlayer(int argc, char** argv) {
    if (argc < 2 + static_cast<int>(kHandleCount) || std::strcmp(argv[1], "--bridge") != 0) return nullptr;
    HANDLE handles[kHandleCount];
    for (size_t i = 0; i < kHandleCount; ++i)
        handles[i] = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(std::strtoul(argv[2 + i], nullptr, 10)));
    void* memory = MapViewOfFile(handles[0], FILE_MAP_ALL_ACCESS, 0, 0, 0);
    const auto* header = static_cast<const Header*>(memory);
    if (!memory || header->magic != kMagic || header->version != kVersion || header->slotCount != kSlotCount ||
        header->slotBytes != kSlotBytes) {
        if (memory) UnmapViewOfFile(memory);
        return nullptr;
    }
    auto* channel = new (std::nothrow) Channel();
    if (!channel) return nullptr;
    channel->mapping = handles[0];
    channel->memory = memory;
    channel->hostEvent = handles[1];
    channel->other = handles[2];
    for (size_t i = 0; i < kSlotCount; ++i) channel->slotEvents[i] = handles[3 + i];
    return channel;
}

bool WaitForRequest(Channel* channel, uint32_t seen) {
    auto* header = static_cast<Header*>(channel->memory);
    header->hostSleeping.store(1);
    bool playerAlive = true;
    if (header->signal.load() == seen) {
        HANDLE handles[2] = {channel->hostEvent, channel->other};
        playerAlive = WaitForMultipleObjects(2, handles, FALSE, INFINITE) != WAIT_OBJECT_0 + 1;
    }
    header->hostSleeping.store(0);
    return playerAlive;
}

void EndThisProcess(uint32_t code) {
    // Not ExitProcess: that would run the faulted library's detach code.
    TerminateProcess(GetCurrentProcess(), code);
    for (;;) Sleep(INFINITE);
}

void WakePlayer(Channel* channel, uint32_t slot) { SetEvent(channel->slotEvents[slot]); }

}  // namespace tavren::bridge
