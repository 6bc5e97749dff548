// What the instrument-host tests share: the probe libraries next to the test
// program, its environment configuration, its log, a settings store that
// only knows the instrument path, and a fixture that leaves no host behind.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "frame/host_interface.h"
#include "vsthost/host_thread.h"
#include "vsthost/instance.h"

namespace tavren::test {

// Path of a library built next to this program ("probe" -> .../bin/probe.dll or .so).
std::u16string LibraryPath(const char* baseName);
// A copy of the probe library under another file name in the temporary folder
// (natively the name may hold backslashes, so Windows paths can be imitated).
std::u16string CopyProbeAs(const std::string& fileName);
// A file that exists but is no library.
std::u16string TextFilePath();

void SetEnv(const char* name, const std::string& value);
void ClearEnv(const char* name);
// Every variable the probe reads, cleared: each test starts from the defaults.
void ClearProbeVariables();

uint32_t ThreadCount();     // threads of this process
// Kernel handles (Windows) or open descriptors (native) of this process.
// Wine answers 0 handles: there only the native count has teeth.
uint32_t HandleCount();
bool IsLoaded(const std::u16string& path);  // the library is mapped into this process

// The probe's log: one line per call.
class ProbeLog {
public:
    ProbeLog();  // a fresh file, named in PROBE_LOG
    ~ProbeLog();
    ProbeLog(const ProbeLog&) = delete;
    ProbeLog& operator=(const ProbeLog&) = delete;
    std::vector<std::string> Lines() const;
    // Lines containing every one of parts.
    std::vector<std::string> Matching(std::initializer_list<const char*> parts) const;
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

// Thread id a log line starts with.
uint32_t LineThread(const std::string& line);
// The integer after "key=" in a line; fallback when absent.
long long LineValue(const std::string& line, const char* key, long long fallback = -1);

// A store that answers "VSTiPath_x86" and counts the reads.
class PathConfig final : public IHmxConfig {
public:
    explicit PathConfig(std::u16string path) : path_(std::move(path)) {}
    void SetPath(std::u16string path) { path_ = std::move(path); }
    int reads() const { return reads_; }

    HmxResult HMX_CALL QueryInterface(const HmxGuid&, void** out) override {
        *out = nullptr;
        return kHmxNoInterface;
    }
    int32_t HMX_CALL AddRef() override { return 1; }
    int32_t HMX_CALL Release() override { return 1; }
    int32_t HMX_CALL SetInt(const HmxChar*, const HmxChar*, int64_t) override { return 0; }
    int64_t HMX_CALL GetInt(const HmxChar*, const HmxChar*, int64_t def) override { return def; }
    int32_t HMX_CALL SetFloat(const HmxChar*, const HmxChar*, double) override { return 0; }
    double HMX_CALL GetFloat(const HmxChar*, const HmxChar*, double def) override { return def; }
    int32_t HMX_CALL SetStr(const HmxChar*, const HmxChar*, const HmxChar*) override { return 0; }
    uint32_t HMX_CALL GetStr(const HmxChar* section, const HmxChar* key, HmxChar* buffer, uint32_t sizeBytes,
                             const HmxChar* def) override;
    int32_t HMX_CALL SetBin(const HmxChar*, const HmxChar*, const void*, uint32_t) override { return 0; }
    uint32_t HMX_CALL GetBin(const HmxChar*, const HmxChar*, void*, uint32_t) override { return 0; }

private:
    std::u16string path_;
    int reads_ = 0;
};

// Clears the probe's variables before each test and stops CurrentHost after it.
class ProbeTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    // Acquires with the probe library configured; fails the test when none.
    VstiInstance* AcquireProbe();

    std::u16string probePath_ = LibraryPath("probe");
    PathConfig config_{probePath_};
};

// An instance made by hand around an effect opened directly on a host.
VstiInstance* WrapEffect(VstiHost* host, vst2::AEffect* effect);

}  // namespace tavren::test
