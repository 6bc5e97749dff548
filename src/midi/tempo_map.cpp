#include "midi/tempo_map.h"

#include <algorithm>
#include <limits>

namespace tavren {

namespace {

// (ticks * 60.0) / divisor. A divisor of 0 gives what IEEE division gives,
// spelled out so that no floating division by zero is ever executed.
double SpanSeconds(int64_t ticks, int64_t divisor) {
    const double numerator = static_cast<double>(ticks) * 60.0;
    if (divisor == 0) {
        if (numerator > 0.0) return std::numeric_limits<double>::infinity();
        if (numerator < 0.0) return -std::numeric_limits<double>::infinity();
        return std::numeric_limits<double>::quiet_NaN();
    }
    return numerator / static_cast<double>(divisor);
}

// Converting an out-of-range double to an integer is undefined, so the
// range is checked first: [-2^63, 2^63) is exactly representable at its ends.
int64_t TruncateToSampleTime(double samples) {
    constexpr double kLow = -9223372036854775808.0;
    constexpr double kHigh = 9223372036854775808.0;
    if (!(samples >= kLow && samples < kHigh)) return std::numeric_limits<int64_t>::min();
    return static_cast<int64_t>(samples);
}

}  // namespace

TempoMap::TempoMap(int32_t division, int32_t sampleRate) : division(division), sampleRate(sampleRate) {}

void TempoMap::Clear() {
    entries.clear();
    Invalidate(0);
}

void TempoMap::Set(int32_t tick, int32_t bpm) {
    auto at = std::lower_bound(entries.begin(), entries.end(), tick,
                               [](const Entry& e, int32_t t) { return e.tick < t; });
    const size_t index = static_cast<size_t>(at - entries.begin());
    if (at != entries.end() && at->tick == tick) {
        if (at->bpm == bpm) return;
        at->bpm = bpm;
        Invalidate(index + 1);  // this entry's own acc depends only on earlier ones
        return;
    }
    entries.insert(at, Entry{tick, bpm, 0.0});
    Invalidate(index);
}

void TempoMap::Invalidate(size_t fromIndex) {
    validCount = std::min(validCount, fromIndex);
    haveLast = false;
}

size_t TempoMap::FindEntry(int32_t tick) {
    const size_t n = entries.size();
    // Try the last answer and its successor before searching.
    for (size_t c = cursor; c <= cursor + 1 && c < n; ++c) {
        if (entries[c].tick <= tick && (c + 1 == n || entries[c + 1].tick > tick)) {
            cursor = c;
            return c + 1;
        }
    }
    auto after = std::upper_bound(entries.begin(), entries.end(), tick,
                                  [](int32_t t, const Entry& e) { return t < e.tick; });
    const size_t found = static_cast<size_t>(after - entries.begin());
    if (found > 0) cursor = found - 1;
    return found;
}

void TempoMap::ComputeAccUpTo(size_t index) {
    for (; validCount <= index; ++validCount) {
        const size_t i = validCount;
        double acc = 0.0;
        int64_t prevTick = 0;
        int64_t bpm = 0;
        if (i > 0) {
            acc = entries[i - 1].acc;
            prevTick = entries[i - 1].tick;
            bpm = entries[i - 1].bpm;
        }
        const int64_t span = static_cast<int64_t>(entries[i].tick) - prevTick;
        if (span > 0) acc = acc + SpanSeconds(span, division * bpm);
        entries[i].acc = acc;
    }
}

int64_t TempoMap::ConvertTick(int32_t tick) {
    double acc = 0.0;
    int64_t prevTick = 0;
    int64_t bpm = 0;
    const size_t count = FindEntry(tick);
    if (count > 0) {
        ComputeAccUpTo(count - 1);
        const Entry& e = entries[count - 1];
        acc = e.acc;
        prevTick = e.tick;
        bpm = e.bpm;
    }
    const double seconds = SpanSeconds(static_cast<int64_t>(tick) - prevTick, division * bpm) + acc;
    lastSamples = TruncateToSampleTime(seconds * static_cast<double>(sampleRate));
    lastTick = tick;
    haveLast = true;
    return lastSamples;
}

}  // namespace tavren
