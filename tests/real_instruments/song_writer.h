// Writes small Standard MIDI Files for the real-instrument tests, timed in
// milliseconds (division 500 at 500000 µs per quarter: one tick per
// millisecond), one track per port. The tests reach the plug-in only through
// its export, so they build songs as bytes rather than with the reader.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

namespace realsynth {

using Bytes = std::vector<uint8_t>;

class SongWriter {
public:
    // Events of one port; a port's track is created on first use.
    void Note(int port, uint32_t onMs, uint32_t offMs, int key, int channel = 0, int velocity = 100) {
        Add(port, onMs, {uint8_t(0x90 | channel), uint8_t(key), uint8_t(velocity)});
        Add(port, offMs, {uint8_t(0x80 | channel), uint8_t(key), 0});
    }
    // A note that is never released.
    void NoteOn(int port, uint32_t ms, int key, int channel = 0, int velocity = 100) {
        Add(port, ms, {uint8_t(0x90 | channel), uint8_t(key), uint8_t(velocity)});
    }
    void Control(int port, uint32_t ms, int controller, int value, int channel = 0) {
        Add(port, ms, {uint8_t(0xB0 | channel), uint8_t(controller), uint8_t(value)});
    }
    void Program(int port, uint32_t ms, int program, int channel = 0) {
        Add(port, ms, {uint8_t(0xC0 | channel), uint8_t(program)});
    }
    // Complete message, F0 ... F7.
    void Sysex(int port, uint32_t ms, const Bytes& message) { Add(port, ms, message); }
    // Every track ends here (or at its last event, when later).
    void End(uint32_t ms) { endMs_ = ms; }

    // Any message, as given.
    void Add(int port, uint32_t ms, Bytes bytes);

    Bytes Build() const;

private:
    struct Event {
        uint32_t ms;
        Bytes bytes;
    };
    struct TrackEvents {
        int port;
        std::vector<Event> events;
    };

    std::vector<TrackEvents> tracks_;
    uint32_t endMs_ = 0;
};

inline void SongWriter::Add(int port, uint32_t ms, Bytes bytes) {
    auto it = std::find_if(tracks_.begin(), tracks_.end(), [&](const TrackEvents& t) { return t.port == port; });
    if (it == tracks_.end()) it = tracks_.insert(tracks_.end(), TrackEvents{port, {}});
    it->events.push_back(Event{ms, std::move(bytes)});
}

inline Bytes SongWriter::Build() const {
    auto put32 = [](Bytes& out, uint32_t v) {
        for (int shift = 24; shift >= 0; shift -= 8) out.push_back(uint8_t(v >> shift));
    };
    auto putVlq = [](Bytes& out, uint32_t v) {
        Bytes tmp{uint8_t(v & 0x7F)};
        while (v >>= 7) tmp.insert(tmp.begin(), uint8_t(0x80 | (v & 0x7F)));
        out.insert(out.end(), tmp.begin(), tmp.end());
    };
    Bytes file{'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 1};
    const size_t count = std::max<size_t>(tracks_.size(), 1);
    file.push_back(uint8_t(count >> 8));
    file.push_back(uint8_t(count));
    file.push_back(500 >> 8);
    file.push_back(500 & 0xFF);
    for (size_t t = 0; t < count; ++t) {
        Bytes body;
        if (t == 0) body.insert(body.end(), {0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20});  // 500000 µs
        std::vector<Event> events = t < tracks_.size() ? tracks_[t].events : std::vector<Event>{};
        const int port = t < tracks_.size() ? tracks_[t].port : 0;
        if (port > 0) body.insert(body.end(), {0x00, 0xFF, 0x21, 0x01, uint8_t(port)});
        std::stable_sort(events.begin(), events.end(), [](const Event& a, const Event& b) { return a.ms < b.ms; });
        uint32_t now = 0;
        for (const Event& e : events) {
            putVlq(body, e.ms - now);
            now = e.ms;
            if (e.bytes[0] == 0xF0) {  // F0, length, the bytes after F0
                body.push_back(0xF0);
                putVlq(body, uint32_t(e.bytes.size() - 1));
                body.insert(body.end(), e.bytes.begin() + 1, e.bytes.end());
            } else {
                body.insert(body.end(), e.bytes.begin(), e.bytes.end());
            }
        }
        putVlq(body, endMs_ > now ? endMs_ - now : 0);
        body.insert(body.end(), {0xFF, 0x2F, 0x00});
        file.insert(file.end(), {'M', 'T', 'r', 'k'});
        put32(file, uint32_t(body.size()));
        file.insert(file.end(), body.begin(), body.end());
    }
    return file;
}

}  // namespace realsynth
