// The native build's stand-ins for the Windows services of platform.h.
#include "platform/platform.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <new>
#include <string>
#include <thread>

#include "platform/text.h"

namespace tavren::platform {

uint32_t CurrentThreadId() { return static_cast<uint32_t>(syscall(SYS_gettid)); }

uint32_t TickCount() {
    using namespace std::chrono;
    return static_cast<uint32_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

uint64_t PerformanceCounter() {
    using namespace std::chrono;
    return static_cast<uint64_t>(duration_cast<nanoseconds>(steady_clock::now().time_since_epoch()).count());
}

int32_t MulDiv(int32_t number, int32_t numerator, int32_t denominator) {
    if (denominator == 0) return -1;
    int64_t product = static_cast<int64_t>(number) * numerator;
    // Round half away from zero, as Windows does.
    int64_t half = (denominator < 0 ? -static_cast<int64_t>(denominator) : denominator) / 2;
    bool negative = (product < 0) != (denominator < 0);
    int64_t magnitude = (product < 0 ? -product : product);
    int64_t d = denominator < 0 ? -static_cast<int64_t>(denominator) : denominator;
    int64_t q = (magnitude + half) / d;
    if (q > INT32_MAX) return -1;
    return static_cast<int32_t>(negative ? -q : q);
}

static_assert(sizeof(std::recursive_mutex) <= 64, "lock storage");

void CriticalSection::Init() { new (storage_) std::recursive_mutex(); }
void CriticalSection::Delete() { reinterpret_cast<std::recursive_mutex*>(storage_)->~recursive_mutex(); }
void CriticalSection::Enter() { reinterpret_cast<std::recursive_mutex*>(storage_)->lock(); }
void CriticalSection::Leave() { reinterpret_cast<std::recursive_mutex*>(storage_)->unlock(); }

static void PrintMessageBox(const char16_t* caption, const char16_t* text) {
    std::string line = "messagebox " + EscapeForLine(caption) + ": " + EscapeForLine(text) + "\n";
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fflush(stdout);
}

static std::atomic<MessageBoxSink> messageBoxSink{nullptr};

void SetMessageBoxSink(MessageBoxSink sink) { messageBoxSink.store(sink); }

void ShowMessageBox(const char16_t* text, const char16_t* caption, uint32_t) {
    MessageBoxSink sink = messageBoxSink.load();
    (sink ? sink : PrintMessageBox)(caption, text);
}

bool RunOnNewThreadAndWait(unsigned (*proc)(void*), void* arg) {
    try {
        std::thread thread(proc, arg);
        thread.join();
        return true;
    } catch (const std::exception&) {
        return false;  // no thread could be started
    }
}

bool ProgramFilesFolder(char16_t* buffer, size_t capacity) {
    if (capacity) buffer[0] = 0;
    return false;
}

uint32_t FileAttributes(const char16_t* path) {
    struct stat st;
    if (stat(ToUtf8(path).c_str(), &st) != 0) return kInvalidFileAttributes;
    return S_ISDIR(st.st_mode) ? kFileAttributeDirectory : 0x80;  // FILE_ATTRIBUTE_NORMAL
}

size_t AnsiToWide(const char* text, char16_t* buffer, size_t capacity) {
    if (capacity == 0) return 0;
    std::u16string wide = FromUtf8(text ? text : "");
    return CopyText(buffer, capacity, wide.c_str());
}

size_t ReadFileAt(const char16_t* path, uint64_t offset, void* buffer, size_t size) {
    const int fd = open(ToUtf8(path).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return 0;
    const ssize_t got = pread(fd, buffer, size, static_cast<off_t>(offset));
    close(fd);
    return got > 0 ? static_cast<size_t>(got) : 0;
}

bool ModuleFolder(char16_t* buffer, size_t capacity) {
    if (capacity) buffer[0] = 0;
    Dl_info info{};
    if (!dladdr(reinterpret_cast<void*>(&ModuleFolder), &info) || !info.dli_fname) return false;
    std::string file = info.dli_fname;
    // A program started by a bare name reports it as such: its folder is /proc/self/exe's.
    if (file.find('/') == std::string::npos) {
        char self[4096] = {};
        const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
        if (n <= 0) return false;
        file.assign(self, static_cast<size_t>(n));
    }
    CopyText(buffer, capacity, FromUtf8(file.substr(0, file.rfind('/') + 1)).c_str());
    return buffer[0] != 0;
}

void* LoadLibraryFile(const char16_t* path) { return dlopen(ToUtf8(path).c_str(), RTLD_NOW | RTLD_LOCAL); }
void* LibrarySymbol(void* library, const char* name) { return dlsym(library, name); }
void FreeLibraryFile(void* library) {
    if (library) dlclose(library);
}

}  // namespace tavren::platform
