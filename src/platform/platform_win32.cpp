// The Windows services of platform.h: thin calls of the Win32 functions.
#include <windows.h>
#include <process.h>
#include <shlobj.h>

#include "platform/platform.h"
#include "platform/text.h"

namespace tavren::platform {

static const wchar_t* W(const char16_t* text) { return reinterpret_cast<const wchar_t*>(text); }
static_assert(sizeof(wchar_t) == sizeof(char16_t), "UTF-16 wide characters");

uint32_t CurrentThreadId() { return GetCurrentThreadId(); }
uint32_t TickCount() { return GetTickCount(); }

uint64_t PerformanceCounter() {
    LARGE_INTEGER value;
    QueryPerformanceCounter(&value);
    return static_cast<uint64_t>(value.QuadPart);
}

int32_t MulDiv(int32_t number, int32_t numerator, int32_t denominator) {
    return ::MulDiv(number, numerator, denominator);
}

static_assert(sizeof(CRITICAL_SECTION) <= 64, "lock storage");

void CriticalSection::Init() { InitializeCriticalSection(reinterpret_cast<CRITICAL_SECTION*>(storage_)); }
void CriticalSection::Delete() { DeleteCriticalSection(reinterpret_cast<CRITICAL_SECTION*>(storage_)); }
void CriticalSection::Enter() { EnterCriticalSection(reinterpret_cast<CRITICAL_SECTION*>(storage_)); }
void CriticalSection::Leave() { LeaveCriticalSection(reinterpret_cast<CRITICAL_SECTION*>(storage_)); }

void ShowMessageBox(const char16_t* text, const char16_t* caption, uint32_t style) {
    MessageBoxW(nullptr, W(text), W(caption), style);
}

void SetMessageBoxSink(MessageBoxSink) {}

struct ThreadStart {
    unsigned (*proc)(void*);
    void* arg;
};

static unsigned __stdcall ThreadTrampoline(void* param) {
    auto* start = static_cast<ThreadStart*>(param);
    return start->proc(start->arg);
}

bool RunOnNewThreadAndWait(unsigned (*proc)(void*), void* arg) {
    ThreadStart start{proc, arg};
    auto handle = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, ThreadTrampoline, &start, 0, nullptr));
    if (!handle) return false;
    WaitForSingleObject(handle, INFINITE);
    CloseHandle(handle);
    return true;
}

bool ProgramFilesFolder(char16_t* buffer, size_t capacity) {
    wchar_t folder[MAX_PATH] = {};
    if (capacity) buffer[0] = 0;
    if (SHGetFolderPathW(nullptr, CSIDL_PROGRAM_FILES, nullptr, SHGFP_TYPE_CURRENT, folder) != S_OK) return false;
    CopyText(buffer, capacity, reinterpret_cast<const char16_t*>(folder));
    return true;
}

uint32_t FileAttributes(const char16_t* path) { return GetFileAttributesW(W(path)); }

size_t AnsiToWide(const char* text, char16_t* buffer, size_t capacity) {
    if (capacity == 0) return 0;
    buffer[0] = 0;
    int n = MultiByteToWideChar(CP_ACP, 0, text, -1, reinterpret_cast<wchar_t*>(buffer), static_cast<int>(capacity));
    if (n <= 0) {
        // The buffer was too small: convert into a large one and cut.
        int needed = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
        if (needed <= 0) return 0;
        std::u16string all(static_cast<size_t>(needed), u'\0');
        MultiByteToWideChar(CP_ACP, 0, text, -1, reinterpret_cast<wchar_t*>(&all[0]), needed);
        return CopyText(buffer, capacity, all.c_str());
    }
    return static_cast<size_t>(n - 1);
}

size_t ReadFileAt(const char16_t* path, uint64_t offset, void* buffer, size_t size) {
    HANDLE file = CreateFileW(W(path), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 0;
    OVERLAPPED at = {};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD got = 0;
    const DWORD want = size > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<DWORD>(size);
    if (!ReadFile(file, buffer, want, &got, &at)) got = 0;
    CloseHandle(file);
    return got;
}

bool ModuleFolder(char16_t* buffer, size_t capacity) {
    if (capacity) buffer[0] = 0;
    HMODULE module = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            reinterpret_cast<LPCWSTR>(&ModuleFolder), &module))
        return false;
    wchar_t file[1024] = {};
    const DWORD length = GetModuleFileNameW(module, file, 1024);
    if (length == 0 || length >= 1024) return false;
    DWORD cut = length;
    while (cut > 0 && file[cut - 1] != L'\\' && file[cut - 1] != L'/') --cut;
    file[cut] = 0;
    CopyText(buffer, capacity, reinterpret_cast<const char16_t*>(file));
    return buffer[0] != 0;
}

void* LoadLibraryFile(const char16_t* path) { return LoadLibraryW(W(path)); }
void* LibrarySymbol(void* library, const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}
void FreeLibraryFile(void* library) {
    if (library) FreeLibrary(static_cast<HMODULE>(library));
}

}  // namespace tavren::platform
