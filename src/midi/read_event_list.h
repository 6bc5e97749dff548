// The events of one file in reading order, kept compact until the song's
// array is built, and the stable ordering by time that builds it.
//   ReadEventList::AddMessage / AddSysex   append in reading order; a SysEx
//       event refers to its bytes in the borrowed file image
//   ReadEventList::BuildSong   fills an empty vector with exactly Count()
//       SongEvents ordered by time, ties in reading order (a stable sort)
// Records are 16 bytes and carry no vector, so the working list costs far
// less than the final array. Reading order usually consists of long sorted
// runs (one per track), which are merged straight into the final array; when
// the input has too many runs a stable sort of the compact records is used.
// Either way the order equals a stable sort on time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "midi/song_event.h"

namespace tavren {

class ReadEventList {
public:
    void AddMessage(int64_t time, uint32_t message, int32_t port) {
        NoteRun(time);
        records.push_back(Record{time, message, static_cast<uint32_t>(port)});
    }

    // The song's bytes will be F0 followed by image[offset, offset + length).
    void AddSysex(int64_t time, uint32_t message, int32_t port, uint32_t offset, uint32_t length) {
        NoteRun(time);
        records.push_back(Record{time, message, static_cast<uint32_t>(sysex.size())});
        sysex.push_back(SysexRef{offset, length, port});
    }

    size_t Count() const { return records.size(); }

    void BuildSong(const uint8_t* image, std::vector<SongEvent>& out);

private:
    struct Record {
        int64_t time;
        uint32_t message;
        uint32_t aux;  // the port, or for a SysEx word the index into sysex
    };
    struct SysexRef {
        uint32_t offset;
        uint32_t length;
        int32_t port;
    };
    struct Run {
        uint32_t pos;
        uint32_t end;
    };

    // Beyond this many runs a merge stops paying off: sort instead.
    static constexpr size_t kMaxRuns = 1024;

    void NoteRun(int64_t time) {
        if (records.empty() || time < records.back().time) {
            if (runStarts.size() < kMaxRuns) {
                runStarts.push_back(static_cast<uint32_t>(records.size()));
            } else {
                tooManyRuns = true;
            }
        }
    }

    void Append(const uint8_t* image, const Record& r, std::vector<SongEvent>& out) const;
    void MergeRuns(const uint8_t* image, std::vector<SongEvent>& out) const;
    void SortAndCopy(const uint8_t* image, std::vector<SongEvent>& out);

    std::vector<Record> records;
    std::vector<SysexRef> sysex;
    std::vector<uint32_t> runStarts;
    bool tooManyRuns = false;
};

}  // namespace tavren
