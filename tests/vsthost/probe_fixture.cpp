#include "probe_fixture.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "arch_text.h"
#include "frame/module_state.h"
#include "platform/text.h"

#if defined(_WIN32)
#include <windows.h>
#include <tlhelp32.h>
#else
#include <dirent.h>
#include <dlfcn.h>
#include <unistd.h>
#endif

namespace tavren::test {

namespace {

const char* const kProbeVariables[] = {
    "PROBE_LOG",      "PROBE_REFUSE",         "PROBE_FLAGS",       "PROBE_FLAGS_ON_OPEN", "PROBE_OUTPUTS",
    "PROBE_INPUTS",   "PROBE_PROGRAMS",       "PROBE_PARAMS",      "PROBE_UNIQUE_ID",     "PROBE_VERSION",
    "PROBE_VENDOR",   "PROBE_PRODUCT",        "PROBE_ASK_IN_ENTRY", "PROBE_ASK_ON_OPEN",  "PROBE_ASK_IN_PROCESS",
    "PROBE_EDITOR_SIZE", "PROBE_EDITOR_NO_RECT", "PROBE_EDITOR_ABSURD_RECT", "PROBE_FLAGS_ON_START",
    "PROBE_OUTPUTS_ON_START", "PROBE_INPUTS_ON_START", "PROBE_STRING_BYTES", "PROBE_FAIL_OPEN", "PROBE_SLEEP_MS",
    "PROBE_CALLBACK_THREAD", "PROBE_FAIL_AT", "PROBE_FAIL_HOW", "PROBE_FAIL_AFTER",
};

std::string ProgramFolder() {
#if defined(_WIN32)
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::string text = ToUtf8(reinterpret_cast<const char16_t*>(path));
    return text.substr(0, text.find_last_of('\\') + 1);
#else
    char path[4096] = {};
    ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    std::string text(path, n > 0 ? static_cast<size_t>(n) : 0);
    return text.substr(0, text.find_last_of('/') + 1);
#endif
}

#if defined(_WIN32)
constexpr const char* kLibrarySuffix = ".dll";
#else
constexpr const char* kLibrarySuffix = ".so";
#endif

int UniqueNumber() {
    static int counter = 0;
    return ++counter;
}

long ProcessId() {
#if defined(_WIN32)
    return static_cast<long>(GetCurrentProcessId());
#else
    return static_cast<long>(getpid());
#endif
}

std::string TempFile(const std::string& name) { return ::testing::TempDir() + name; }

}  // namespace

std::u16string LibraryPath(const char* baseName) {
    return FromUtf8(ProgramFolder() + baseName + kLibrarySuffix);
}

std::u16string CopyProbeAs(const std::string& fileName) {
    std::ifstream in(ToUtf8(LibraryPath("probe")), std::ios::binary);
    std::string target = TempFile(fileName);
#if defined(_WIN32)
    size_t folderEnd = target.find_last_of('\\');
    CreateDirectoryA(target.substr(0, folderEnd).c_str(), nullptr);  // may exist already
#endif
    std::ofstream out(target, std::ios::binary | std::ios::trunc);
    out << in.rdbuf();
    EXPECT_TRUE(out.good()) << target;
    return FromUtf8(target);
}

std::u16string TextFilePath() {
    std::string target = TempFile("tavren_not_a_library.dll");
    std::ofstream(target, std::ios::trunc) << "this is plain text, not a library\n";
    return FromUtf8(target);
}

void SetEnv(const char* name, const std::string& value) {
#if defined(_WIN32)
    SetEnvironmentVariableA(name, value.c_str());
#else
    setenv(name, value.c_str(), 1);
#endif
}

void ClearEnv(const char* name) {
#if defined(_WIN32)
    SetEnvironmentVariableA(name, nullptr);
#else
    unsetenv(name);
#endif
}

uint32_t ThreadCount() {
    uint32_t count = 0;
#if defined(_WIN32)
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry))
        if (entry.th32OwnerProcessID == GetCurrentProcessId()) ++count;
    CloseHandle(snapshot);
#else
    if (DIR* tasks = opendir("/proc/self/task")) {
        while (dirent* entry = readdir(tasks))
            if (entry->d_name[0] != '.') ++count;
        closedir(tasks);
    }
#endif
    return count;
}

uint32_t HandleCount() {
    uint32_t count = 0;
#if defined(_WIN32)
    DWORD handles = 0;
    if (GetProcessHandleCount(GetCurrentProcess(), &handles)) count = handles;
#else
    if (DIR* fds = opendir("/proc/self/fd")) {
        while (dirent* entry = readdir(fds))
            if (entry->d_name[0] != '.') ++count;
        closedir(fds);
    }
#endif
    return count;
}

bool IsLoaded(const std::u16string& path) {
#if defined(_WIN32)
    return GetModuleHandleW(reinterpret_cast<const wchar_t*>(path.c_str())) != nullptr;
#else
    void* handle = dlopen(ToUtf8(path).c_str(), RTLD_LAZY | RTLD_NOLOAD);
    if (handle) dlclose(handle);
    return handle != nullptr;
#endif
}

ProbeLog::ProbeLog() {
    path_ = TempFile("tavren_probe_" + std::to_string(ProcessId()) + "_" + std::to_string(UniqueNumber()) + ".log");
    std::remove(path_.c_str());
    SetEnv("PROBE_LOG", path_);
}

// Effects still open (cached ones) log their effClose when the host stops,
// after the test body: the files go once that has happened.
std::vector<std::string> logsToRemove;

ProbeLog::~ProbeLog() {
    ClearEnv("PROBE_LOG");
    logsToRemove.push_back(path_);
}

std::vector<std::string> ProbeLog::Lines() const {
    std::vector<std::string> lines;
    std::ifstream in(path_, std::ios::binary);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

std::vector<std::string> ProbeLog::Matching(std::initializer_list<const char*> parts) const {
    std::vector<std::string> found;
    for (const std::string& line : Lines()) {
        bool all = true;
        for (const char* part : parts) all = all && line.find(part) != std::string::npos;
        if (all) found.push_back(line);
    }
    return found;
}

uint32_t LineThread(const std::string& line) { return static_cast<uint32_t>(LineValue(line, "tid=", 0)); }

long long LineValue(const std::string& line, const char* key, long long fallback) {
    std::string needle = std::string(" ") + key;
    size_t at = line.rfind(key, 0) == 0 ? 0 : line.find(needle);
    if (at == std::string::npos) return fallback;
    at = line.find(key, at) + std::strlen(key);
    return std::strtoll(line.c_str() + at, nullptr, 0);
}

uint32_t PathConfig::GetStr(const HmxChar*, const HmxChar* key, HmxChar* buffer, uint32_t sizeBytes,
                            const HmxChar* def) {
    const bool isPath = TextEquals(key, ForThisBuild(u"VSTiPath_x86").c_str());
    const char16_t* value = isPath ? path_.c_str() : def;
    if (isPath) ++reads_;
    CopyText(buffer, sizeBytes / 2, value);
    return static_cast<uint32_t>((TextLength(value) + 1) * 2);
}

void ClearProbeVariables() {
    for (const char* name : kProbeVariables) ClearEnv(name);
}

void ProbeTest::SetUp() { ClearProbeVariables(); }

void ProbeTest::TearDown() {
    platform::LockGuard lock(HostLock);
    if (CurrentHost) StopHost(CurrentHost);
    CurrentHost = nullptr;
    for (const std::string& path : logsToRemove) std::remove(path.c_str());
    logsToRemove.clear();
}

VstiInstance* ProbeTest::AcquireProbe() {
    VstiInstance* instance = AcquireInstance(&config_);
    EXPECT_NE(instance, nullptr);
    return instance;
}

VstiInstance* WrapEffect(VstiHost* host, vst2::AEffect* effect) {
    auto* instance = new VstiInstance();
    instance->host = host;
    instance->effect = effect;
    effect->user = instance;
    return instance;
}

}  // namespace tavren::test
