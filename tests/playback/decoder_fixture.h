// What the playback tests share: songs written with one tick per sample at
// 44100 Hz (division 441, 10000 µs per quarter), a module made through the
// factory as the host player makes it, decoders opened through its Open, the
// probe's log read back per effect, and the probe's expected signal.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "frame/decoder.h"
#include "host_doubles.h"
#include "probe_fixture.h"
#include "probe_protocol.h"
#include "smf_builder.h"

namespace tavren::test {

// One event of a track at an absolute tick.
struct At {
    uint32_t tick;
    Bytes bytes;
};

// A track body: port prefix (when port > 0), the events, End of Track at endTick.
Bytes TrackAt(int port, std::vector<At> events, uint32_t endTick);
// A file of the given track bodies, one tick per sample at 44100 Hz (the
// tempo event goes first into the first track).
Bytes Song(std::vector<Bytes> tracks);

inline Bytes NoteOn(int channel, int note) { return {uint8_t(0x90 | channel), uint8_t(note), 100}; }
inline Bytes NoteOff(int channel, int note) { return {uint8_t(0x80 | channel), uint8_t(note), 0}; }
inline Bytes Control(int channel, int controller, int value) {
    return {uint8_t(0xB0 | channel), uint8_t(controller), uint8_t(value)};
}
// The sample a tick lands on: the reader sums seconds in doubles and truncates,
// so a tick is not always exactly one sample.
inline int64_t SampleAt(uint32_t tick) { return static_cast<int64_t>(tick * 60.0 / (441 * 6000) * 44100.0); }
// A SysEx event's bytes after the status: length then data.
Bytes SysexEvent(const Bytes& dataAfterF0);

constexpr int32_t kBlock = 1024;  // the probe's block size

// The probe's log lines of one effect (by serial) and of one kind.
struct EffectCalls {
    std::vector<std::string> processEvents;  // effProcessEvents lines in order
    std::vector<std::string> process;        // process lines in order
};
EffectCalls CallsOf(const std::vector<std::string>& lines, int serial);
// Number of lines of the log from index `from` on that contain every part.
size_t CountFrom(const std::vector<std::string>& lines, size_t from, std::initializer_list<const char*> parts);

class DecoderTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Opens through the module's Open; null when the open fails.
    AxVstiDecoder* Open(const Bytes& song, const HmxMediaInfo* request = nullptr);
    AxVstiDecoder* OpenFile(MemoryFile& file, const HmxMediaInfo* request = nullptr);
    void Close(AxVstiDecoder* decoder);

    // One Render into a buffer of one block (float or double per the format).
    struct Block {
        uint32_t frames = 0;
        std::vector<double> samples;  // interleaved, widened
        std::vector<float> floats;    // the raw float samples (empty for double output)
    };
    Block RenderOne(AxVstiDecoder* decoder);

    int SerialOf(AxVstiDecoder* decoder, int instance);
    static double Tag(int serial) { return static_cast<double>(::probe::TagOf(serial)); }

    MemoryStore store_;
    TestHost host_{&store_};
    IHmxDecoderModule* module_ = nullptr;
    std::vector<AxVstiDecoder*> open_;
};

}  // namespace tavren::test
