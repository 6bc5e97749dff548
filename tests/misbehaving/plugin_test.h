// What the misbehaving-instrument and odd-host tests share: the real plug-in
// file, loaded once through its export, a module made by it for each test
// with the probe as instrument, songs opened through the module's Open, and
// blocks rendered into buffers sized exactly by the announced format with a
// guard region behind them that must come back untouched.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host_doubles.h"
#include "probe_fixture.h"
#include "probe_protocol.h"
#include "smf_builder.h"

namespace tavren::test {

constexpr uint32_t kBlockFrames = 1024;  // the probe's block size

// A song of `ports` tracks, each holding note 60 + port on channel = port
// from tick 0 to `length` (one tick per sample at 44100 Hz).
Bytes HeldNotesSong(int ports, uint32_t length);

struct Rendered {
    uint32_t frames = 0;
    std::vector<double> samples;  // interleaved, widened
    bool guardIntact = true;      // nothing written past the block
};

// Whether this run of the suite plays through a host process
// (TAVREN_TEST_BRIDGE names a setting other than 0).
bool SuiteBridged();

class PluginTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    IHmxDecoderModule* CreateModule();
    // Opens through the module's Open; null when the open fails.
    IHmxDecoder* Open(const Bytes& song, const HmxMediaInfo* request = nullptr);
    void Close(IHmxDecoder* decoder);
    static HmxMediaInfo Info(IHmxDecoder* decoder);
    static Rendered RenderGuarded(IHmxDecoder* decoder);

    MemoryStore store_;
    TestHost host_{&store_};
    IHmxDecoderModule* module_ = nullptr;
    std::vector<IHmxDecoder*> open_;
};

}  // namespace tavren::test
