// libFuzzer entry for the MIDI file reader: any input must read without a
// crash, an out-of-bounds access, undefined behaviour, a leak or a hang, and
// a successful read must give a timeline sorted by time.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "midi/smf_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > UINT32_MAX) return 0;
    tavren::MidiSong song;
    // The rate varies with the input, negative and zero included.
    const int32_t rates[] = {44100, 48000, 96000, 1, 0, -44100};
    const int32_t rate = rates[size % 6];
    if (tavren::ReadSong(data, static_cast<uint32_t>(size), rate, song)) {
        if (song.eventCount <= 0 || static_cast<size_t>(song.eventCount) != song.events.size()) std::abort();
        for (int32_t i = 1; i < song.eventCount; ++i) {
            if (song.events[i - 1].time > song.events[i].time) std::abort();
        }
    } else if (song.eventCount != 0 || !song.events.empty()) {
        std::abort();
    }
    return 0;
}
