// Tick to tempo, and tick to sample time, while one file is read.
//   TempoMap         ascending entries tick -> whole BPM, at most one per tick
//   Clear            no entries (a file header then sets tick 0 to 120)
//   Set              sets the entry at a tick, replacing one already there
//   TicksToSamples   the sample time of a tick: the walk below, truncated;
//                    the most negative 64-bit value when it is not a number
//                    or lies outside the 64-bit range
// The walk, from the first entry: for every entry (k, b) with k <= t, add
// ((k - prev) * 60.0) / (division * bpm) to acc when k - prev > 0, then take
// prev = k, bpm = b (starting from prev 0, bpm 0, acc 0.0); the time is
// (((t - prev) * 60.0) / (division * bpm) + acc) * rate. Tick differences and
// division * bpm are exact 64-bit integers before they become doubles.
// Each entry caches the acc the walk has after it, so a conversion costs the
// same whatever the number of entries and still yields the walk's very doubles:
// setting an entry invalidates the cached sums from that entry on.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tavren {

class TempoMap {
public:
    TempoMap(int32_t division, int32_t sampleRate);

    void Clear();
    void Set(int32_t tick, int32_t bpm);
    int64_t TicksToSamples(int32_t tick) {
        if (haveLast && lastTick == tick) return lastSamples;
        return ConvertTick(tick);
    }
    int32_t EntryCount() const { return static_cast<int32_t>(entries.size()); }

private:
    struct Entry {
        int32_t tick;
        int32_t bpm;
        double acc;  // the walk's acc once it has taken this entry
    };

    int64_t ConvertTick(int32_t tick);
    size_t FindEntry(int32_t tick);  // index + 1 of the last entry <= tick, 0 when none
    void ComputeAccUpTo(size_t index);
    void Invalidate(size_t fromIndex);

    int64_t division;
    int32_t sampleRate;
    std::vector<Entry> entries;
    size_t validCount = 0;  // entries[0, validCount) hold a correct acc
    size_t cursor = 0;      // last FindEntry result: songs convert ticks in order
    bool haveLast = false;  // events often share a tick: remember the last answer
    int32_t lastTick = 0;
    int64_t lastSamples = 0;
};

}  // namespace tavren
