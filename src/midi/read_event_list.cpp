#include "midi/read_event_list.h"

#include <algorithm>
#include <cstring>

namespace tavren {

void ReadEventList::Append(const uint8_t* image, const Record& r, std::vector<SongEvent>& out) const {
    out.emplace_back();
    SongEvent& e = out.back();
    e.time = r.time;
    e.message = r.message;
    if (!IsSysexMessage(r.message)) {
        e.port = static_cast<int32_t>(r.aux);
        return;
    }
    const SysexRef& ref = sysex[r.aux];
    e.port = ref.port;
    e.sysex.resize(size_t{1} + ref.length);
    e.sysex[0] = 0xF0;
    if (ref.length > 0) std::memcpy(e.sysex.data() + 1, image + ref.offset, ref.length);
}

void ReadEventList::BuildSong(const uint8_t* image, std::vector<SongEvent>& out) {
    out.reserve(records.size());
    if (tooManyRuns) {
        SortAndCopy(image, out);
    } else {
        MergeRuns(image, out);
    }
}

void ReadEventList::SortAndCopy(const uint8_t* image, std::vector<SongEvent>& out) {
    // The temporary buffer is requested without throwing; if it cannot be
    // had the sort works in place, slower but with the same order.
    std::stable_sort(records.begin(), records.end(),
                     [](const Record& a, const Record& b) { return a.time < b.time; });
    for (const Record& r : records) Append(image, r, out);
}

// A k-way merge of the sorted runs, keyed by (time, run index): since runs
// are consecutive in reading order, the lower run index is the earlier read,
// which is exactly what a stable sort keeps for equal times.
void ReadEventList::MergeRuns(const uint8_t* image, std::vector<SongEvent>& out) const {
    const size_t runCount = runStarts.size();
    std::vector<Run> runs(runCount);
    for (size_t i = 0; i < runCount; ++i) {
        runs[i].pos = runStarts[i];
        runs[i].end = i + 1 < runCount ? runStarts[i + 1] : static_cast<uint32_t>(records.size());
    }
    auto before = [&](uint32_t a, uint32_t b) {
        const int64_t ta = records[runs[a].pos].time;
        const int64_t tb = records[runs[b].pos].time;
        return ta < tb || (ta == tb && a < b);
    };

    // A binary min-heap of run indices; every run is non-empty when it enters.
    std::vector<uint32_t> heap(runCount);
    for (size_t i = 0; i < runCount; ++i) heap[i] = static_cast<uint32_t>(i);
    auto siftDown = [&](size_t i) {
        const size_t n = heap.size();
        for (;;) {
            size_t best = i;
            const size_t l = 2 * i + 1;
            const size_t r = l + 1;
            if (l < n && before(heap[l], heap[best])) best = l;
            if (r < n && before(heap[r], heap[best])) best = r;
            if (best == i) return;
            std::swap(heap[i], heap[best]);
            i = best;
        }
    };
    for (size_t i = runCount / 2; i-- > 0;) siftDown(i);

    while (!heap.empty()) {
        const uint32_t top = heap[0];
        Run& run = runs[top];
        if (heap.size() == 1) {
            for (; run.pos < run.end; ++run.pos) Append(image, records[run.pos], out);
            break;
        }
        // Copy from the leading run for as long as it stays ahead of the
        // best other run, which is one of the top's two children.
        uint32_t next = heap[1];
        if (heap.size() > 2 && before(heap[2], next)) next = heap[2];
        const int64_t limit = records[runs[next].pos].time;
        const bool winsTies = top < next;
        do {
            Append(image, records[run.pos], out);
            ++run.pos;
        } while (run.pos < run.end &&
                 (records[run.pos].time < limit || (winsTies && records[run.pos].time == limit)));
        if (run.pos == run.end) {
            heap[0] = heap.back();
            heap.pop_back();
        }
        siftDown(0);
    }
}

}  // namespace tavren
