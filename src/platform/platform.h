// The few operating-system services the portable code needs. The Windows
// build maps each one onto the Win32 call of the same purpose
// (platform_win32.cpp); the native build has a small layer of our own
// (platform_posix.cpp) that behaves as the code expects of Windows.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tavren::platform {

// [any thread] Identifier of the calling thread (GetCurrentThreadId).
uint32_t CurrentThreadId();

// [any thread] Milliseconds since an arbitrary start, wrapping at 2^32 (GetTickCount).
uint32_t TickCount();

// [any thread] High-resolution counter value (QueryPerformanceCounter).
uint64_t PerformanceCounter();

// [any thread] number * numerator / denominator rounded to the nearest integer
// from a 64-bit intermediate; -1 when the denominator is 0 or the result
// does not fit (MulDiv).
int32_t MulDiv(int32_t number, int32_t numerator, int32_t denominator);

// A recursive lock with the semantics of a Win32 critical section. Its
// storage lives inside the object; Init and Delete bracket its use, as the
// module-wide lock's lifetime follows the module objects, not the process.
class CriticalSection {
public:
    void Init();
    void Delete();
    void Enter();
    void Leave();

private:
    alignas(16) unsigned char storage_[64];
};

// Scoped Enter/Leave.
class LockGuard {
public:
    explicit LockGuard(CriticalSection& section) : section_(section) { section_.Enter(); }
    ~LockGuard() { section_.Leave(); }
    LockGuard(const LockGuard&) = delete;
    LockGuard& operator=(const LockGuard&) = delete;

private:
    CriticalSection& section_;
};

// [any thread] Shows a message box with no owner window and returns when the
// user closes it (MessageBoxW). The native build has no windows: it hands
// caption and text to the message-box sink (by default a line
// "messagebox CAPTION: TEXT" on standard output) and returns at once.
void ShowMessageBox(const char16_t* text, const char16_t* caption, uint32_t style);

using MessageBoxSink = void (*)(const char16_t* caption, const char16_t* text);
// Native build only: replaces the default sink (tests capture boxes this way);
// null restores the default. Does nothing in the Windows build.
void SetMessageBoxSink(MessageBoxSink sink);

// [any thread] Runs proc(arg) on a new thread (_beginthreadex) and waits
// without time limit for it to end. False when no thread could be started.
bool RunOnNewThreadAndWait(unsigned (*proc)(void*), void* arg);

// The Program Files folder (SHGetFolderPathW, CSIDL_PROGRAM_FILES) into a
// buffer of capacity characters; false, with an empty buffer, when it cannot
// be had (always in the native build).
bool ProgramFilesFolder(char16_t* buffer, size_t capacity);

constexpr uint32_t kInvalidFileAttributes = 0xFFFFFFFFu;
constexpr uint32_t kFileAttributeDirectory = 0x10;
// GetFileAttributesW; kInvalidFileAttributes when the path does not exist.
uint32_t FileAttributes(const char16_t* path);

// Converts system-code-page text (CP_ACP) up to its terminator into at most
// capacity - 1 wide characters plus a terminator; gives the characters
// written without the terminator. The native build takes the bytes as UTF-8
// and falls back to Latin-1 for invalid sequences.
size_t AnsiToWide(const char* text, char16_t* buffer, size_t capacity);

// Reads up to size bytes at offset of the file at path; gives the bytes
// read, 0 when it cannot be read.
size_t ReadFileAt(const char16_t* path, uint64_t offset, void* buffer, size_t size);

// The folder of the file this code was loaded from (the plug-in's, or the
// program's when linked into one), with its trailing separator, into a
// buffer of capacity characters; false, with an empty buffer, when unknown.
bool ModuleFolder(char16_t* buffer, size_t capacity);

// A handle of a loaded library (LoadLibraryExW / dlopen).
void* LoadLibraryFile(const char16_t* path);
void* LibrarySymbol(void* library, const char* name);
void FreeLibraryFile(void* library);

}  // namespace tavren::platform
