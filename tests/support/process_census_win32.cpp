#include <windows.h>
#include <tlhelp32.h>

#include "process_census.h"

namespace tavren::test {

namespace {

int CountChildren() {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return -1;
    const DWORD self = GetCurrentProcessId();
    int count = 0;
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry))
        if (entry.th32ParentProcessID == self) ++count;
    CloseHandle(snapshot);
    return count;
}

}  // namespace

Census TakeCensus() {
    Census census;
    census.threads = -1;
    DWORD handles = 0;
    census.handles = GetProcessHandleCount(GetCurrentProcess(), &handles) ? static_cast<int>(handles) : -1;
    census.children = CountChildren();
    census.sharedMaps = -1;
    return census;
}

}  // namespace tavren::test
