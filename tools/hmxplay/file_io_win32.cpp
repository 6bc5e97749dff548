#include <windows.h>

#include <string>

#include "file_io.h"

namespace hmxplay {

namespace {

// The system's words for a Windows error, else its number. The narrow names
// below are read as the C library's fopen reads them.
std::string WindowsError(DWORD code) {
    char text[256] = {};
    DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, text,
                             sizeof text, nullptr);
    while (n > 0 && (text[n - 1] == '\n' || text[n - 1] == '\r' || text[n - 1] == '.' || text[n - 1] == ' ')) --n;
    return n ? std::string(text, n) : "Windows error " + std::to_string(code);
}

std::string CannotCreateIn(const std::string& folder, DWORD code) {
    if (code == ERROR_PATH_NOT_FOUND || code == ERROR_FILE_NOT_FOUND) return "its folder " + folder + " does not exist";
    return "cannot create a file in its folder " + folder + ": " + WindowsError(code);
}

}  // namespace

std::string SaveTarget(const std::string& path) { return path; }

SaveLock::~SaveLock() {
    if (handle == -1) return;
    HANDLE file = reinterpret_cast<HANDLE>(handle);
    OVERLAPPED at = {};
    UnlockFileEx(file, 0, 1, 0, &at);
    CloseHandle(file);
}

bool SaveLock::Acquire(const std::string& path, Mode mode, std::string* error) {
    const std::string name = path + ".lock";
    HANDLE file = CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              mode == Mode::Save ? OPEN_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        *error = mode == Mode::Save ? CannotCreateIn(FolderOf(path), GetLastError()) : WindowsError(GetLastError());
        return false;
    }
    handle = reinterpret_cast<intptr_t>(file);
    // One byte, past the end of the empty file, which Windows allows: it
    // blocks nobody's reading of anything.
    OVERLAPPED at = {};
    if (!LockFileEx(file, mode == Mode::Save ? LOCKFILE_EXCLUSIVE_LOCK : 0, 0, 1, 0, &at)) {
        *error = "cannot lock " + name + ": " + WindowsError(GetLastError());
        return false;
    }
    return true;
}

bool ReplaceWholeFile(const std::string& path, const std::string& bytes, std::string* error) {
    // A name no other run picks: the process id and a count.
    static unsigned counter = 0;
    std::string fresh;
    HANDLE file = INVALID_HANDLE_VALUE;
    DWORD code = 0;
    for (int attempt = 0; attempt < 100 && file == INVALID_HANDLE_VALUE; ++attempt) {
        fresh = path + ".new-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++counter);
        file = CreateFileA(fresh.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        code = GetLastError();
        if (file == INVALID_HANDLE_VALUE && code != ERROR_FILE_EXISTS && code != ERROR_ALREADY_EXISTS) break;
    }
    if (file == INVALID_HANDLE_VALUE) {
        *error = CannotCreateIn(FolderOf(path), code);
        return false;
    }
    DWORD written = 0;
    bool ok = bytes.empty() ||
              (WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
               written == bytes.size());
    if (!ok) *error = "cannot write " + fresh + ": " + WindowsError(GetLastError());
    // On the disk before it takes the old file's name.
    if (ok && !FlushFileBuffers(file)) {
        ok = false;
        *error = "cannot write " + fresh + " to the disk: " + WindowsError(GetLastError());
    }
    CloseHandle(file);
    // MoveFileA will not replace an existing file; MoveFileExA does. Windows
    // refuses while another process has the file open (a run loading it, a
    // virus scanner): that takes milliseconds, so the move is tried again
    // for a few seconds.
    for (int attempt = 0; ok; ++attempt) {
        if (MoveFileExA(fresh.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) break;
        code = GetLastError();
        if (attempt >= 100 || (code != ERROR_ACCESS_DENIED && code != ERROR_SHARING_VIOLATION)) {
            ok = false;
            *error = WindowsError(code);
        } else {
            Sleep(50);
        }
    }
    if (!ok) DeleteFileA(fresh.c_str());
    return ok;
}

}  // namespace hmxplay
