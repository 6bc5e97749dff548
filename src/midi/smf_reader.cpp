#include "midi/smf_reader.h"

#include <limits>
#include <new>
#include <stdexcept>

#include "midi/read_event_list.h"
#include "midi/sysex_tables.h"
#include "midi/tempo_map.h"

namespace tavren {

namespace {

// Positions are 64-bit so that a position plus a declared length can never wrap.
using Pos = uint64_t;

// Returned by event readers for an event that runs past the end of the image.
constexpr Pos kCutOff = std::numeric_limits<Pos>::max();

uint32_t ReadBe32(const uint8_t* p) {
    return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3];
}

uint16_t ReadBe16(const uint8_t* p) { return static_cast<uint16_t>(p[0] << 8 | p[1]); }

uint32_t ReadLe32(const uint8_t* p) {
    return uint32_t{p[3]} << 24 | uint32_t{p[2]} << 16 | uint32_t{p[1]} << 8 | p[0];
}

int32_t ToSigned(uint32_t u) {
    return u < 0x80000000u ? static_cast<int32_t>(u)
                           : static_cast<int32_t>(u - 0x80000000u) + std::numeric_limits<int32_t>::min();
}

bool IsTag(const uint8_t* p, const char* tag) {
    return p[0] == uint8_t(tag[0]) && p[1] == uint8_t(tag[1]) && p[2] == uint8_t(tag[2]) &&
           p[3] == uint8_t(tag[3]);
}

// A RIFF MIDI file ("RIFF", size, "RMID", chunks) carries a Standard MIDI
// File in its "data" chunk; such files are told by their content, whatever
// their name. Null when the image is no such wrapper (song and songSize
// stay as they are) or a sound one (they name the file inside), else why
// the wrapper is rejected. Every size it declares must lie inside the image.
const char* Unwrap(const uint8_t*& song, uint32_t& songSize) {
    if (songSize < 12 || !IsTag(song, "RIFF")) return nullptr;
    if (!IsTag(song + 8, "RMID")) return "a RIFF file of another kind than RMID, not a MIDI file";
    const uint32_t riffSize = ReadLe32(song + 4);
    if (riffSize < 4 || riffSize > songSize - 8) return "RIFF wrapper declares more bytes than the file holds";
    const Pos end = Pos{8} + riffSize;
    for (Pos at = 12; at + 8 <= end;) {
        const uint32_t chunkSize = ReadLe32(song + at + 4);
        if (chunkSize > end - (at + 8)) return "RIFF wrapper: a chunk runs past the wrapper's end";
        if (IsTag(song + at, "data")) {
            song += at + 8;
            songSize = chunkSize;
            return nullptr;
        }
        at += 8 + Pos{chunkSize} + (chunkSize & 1u);  // chunks start at even offsets
    }
    return "RIFF wrapper without a data chunk";
}

struct SmfHeader {
    uint16_t trackCount = 0;
    uint16_t division = 1;
    Pos firstChunk = 0;
};

// Null when the header is accepted, else why not.
const char* ReadHeader(const uint8_t* data, uint32_t size, SmfHeader& header) {
    if (size < 14 || !IsTag(data, "MThd")) return "not a Standard MIDI File (no MThd header)";
    const int32_t headerLength = ToSigned(ReadBe32(data + 4));
    if (headerLength < 6) return "header chunk shorter than 6 bytes";
    const uint16_t format = ReadBe16(data + 8);
    if (format > 1) return "format other than 0 or 1";
    header.trackCount = ReadBe16(data + 10);
    // The SMPTE form is not recognised: the field is ticks per quarter note.
    header.division = ReadBe16(data + 12);
    // Every time would divide by zero.
    if (header.division == 0) return "division 0";
    header.firstChunk = Pos{8} + static_cast<uint32_t>(headerLength);
    return nullptr;
}

class SmfReader {
public:
    SmfReader(const uint8_t* data, uint32_t size, const SmfHeader& header, int32_t sampleRate)
        : data(data), size(size), header(header), tempoMap(header.division, sampleRate) {
        tempoMap.Set(0, 120);
    }

    void ReadTracks();

    ReadEventList events;
    ResetKind detectedReset = ResetKind::GmSystemOn;
    int64_t lengthSamples = 0;
    int32_t portCount = 1;

private:
    Pos ReadTrack(Pos chunk);  // bytes consumed, or kCutOff for an invalid chunk
    Pos ReadEvent(Pos pos, bool& endOfTrack);
    Pos ReadSysex(Pos pos);
    Pos ReadMeta(Pos pos, bool& endOfTrack);
    Pos ReadChannel(Pos pos);
    Pos ReadVarLen(Pos pos, uint32_t& value) const;  // its byte count, or 0 past the end

    const uint8_t* data;
    uint32_t size;
    SmfHeader header;
    TempoMap tempoMap;

    int32_t tick = 0;
    uint32_t runningStatus = 0;
    int32_t currentPort = 0;
};

void SmfReader::ReadTracks() {
    Pos pos = header.firstChunk;
    for (uint32_t track = 0; track < header.trackCount; ++track) {
        if (pos >= size) return;
        const Pos consumed = ReadTrack(pos);
        if (consumed == kCutOff) return;
        pos += consumed;
    }
}

Pos SmfReader::ReadTrack(Pos chunk) {
    const Pos remaining = size - chunk;
    if (remaining < 8 || !IsTag(data + chunk, "MTrk")) return kCutOff;
    const int32_t length = ToSigned(ReadBe32(data + chunk + 4));
    // The declared length is checked against the bytes from the chunk's
    // first byte, head included, so it may reach up to 8 bytes past the end.
    if (length > 0 && static_cast<Pos>(length) > remaining) return kCutOff;
    tick = 0;
    runningStatus = 0;
    currentPort = 0;
    Pos pos = chunk + 8;
    int64_t left = length;
    while (left > 0) {
        uint32_t delta = 0;
        const Pos n = ReadVarLen(pos, delta);
        if (n == 0) return remaining;
        tick = ToSigned(static_cast<uint32_t>(tick) + delta);
        if (left < static_cast<int64_t>(n)) return pos + static_cast<Pos>(left) - chunk;
        pos += n;
        left -= static_cast<int64_t>(n);
        // The event is read even when the delta-time used up the chunk:
        // only the image's end bounds an event.
        bool endOfTrack = false;
        const Pos used = ReadEvent(pos, endOfTrack);
        if (used == kCutOff) return remaining;
        pos += used;
        left -= static_cast<int64_t>(used);
        if (endOfTrack) break;
    }
    return pos - chunk;
}

Pos SmfReader::ReadVarLen(Pos pos, uint32_t& value) const {
    value = 0;
    for (Pos n = 1; n <= 4; ++n, ++pos) {
        if (pos >= size) return 0;
        const uint8_t b = data[pos];
        value = value << 7 | (b & 0x7Fu);
        // The fourth byte ends the quantity whatever its high bit.
        if (!(b & 0x80) || n == 4) return n;
    }
    return 0;
}

Pos SmfReader::ReadEvent(Pos pos, bool& endOfTrack) {
    if (pos >= size) return kCutOff;
    const uint8_t first = data[pos];
    if (first == 0xF0 || first == 0xF7) return ReadSysex(pos);
    if (first == 0xFF) return ReadMeta(pos, endOfTrack);
    return ReadChannel(pos);
}

Pos SmfReader::ReadSysex(Pos pos) {
    uint32_t length = 0;
    const Pos n = ReadVarLen(pos + 1, length);
    if (n == 0) return kCutOff;
    const Pos body = pos + 1 + n;
    if (length > size - body) return kCutOff;
    const SysexClass kind = ClassifySysex(data + body, length);
    if (kind.isReset) detectedReset = kind.kind;
    if (length > 0) {
        // An F7 event's first data byte stands in for the F0 the song stores.
        const bool escaped = data[pos] == 0xF7;
        const uint32_t offset = static_cast<uint32_t>(body) + (escaped ? 1 : 0);
        events.AddSysex(tempoMap.TicksToSamples(tick), kind.message, currentPort, offset,
                        length - (escaped ? 1 : 0));
        runningStatus = 0;
    }
    return 1 + n + length;
}

Pos SmfReader::ReadMeta(Pos pos, bool& endOfTrack) {
    if (size - pos < 2) return kCutOff;
    const uint8_t type = data[pos + 1];
    if (type == 0x2F) {
        if (size - pos < 3) return kCutOff;
        const int64_t time = tempoMap.TicksToSamples(tick);
        events.AddMessage(time, MsgEndOfTrack, currentPort);
        if (time > lengthSamples) lengthSamples = time;
        endOfTrack = true;
        return 3;
    }
    uint32_t length = 0;
    const Pos n = ReadVarLen(pos + 2, length);
    if (n == 0) return kCutOff;
    const Pos body = pos + 2 + n;
    if (length > size - body) return kCutOff;
    if (type == 0x21 && length >= 1) {
        currentPort = data[body];
        if (portCount <= currentPort) portCount = currentPort + 1;
    } else if (type == 0x51 && length >= 3) {
        const uint32_t microseconds = uint32_t{data[body]} << 16 | uint32_t{data[body + 1]} << 8 | data[body + 2];
        if (microseconds != 0) tempoMap.Set(tick, static_cast<int32_t>(60000000u / microseconds));
    }
    return 2 + n + length;
}

Pos SmfReader::ReadChannel(Pos pos) {
    Pos p = pos;
    uint32_t status = runningStatus & 0xFFu;
    if (data[p] & 0x80) status = data[p++];
    Pos dataBytes = 0;
    switch (status >> 4) {
    case 0x8: case 0x9: case 0xA: case 0xB: case 0xE: dataBytes = 2; break;
    case 0xC: case 0xD: dataBytes = 1; break;
    default: return p - pos;  // system status or stray data byte: no event
    }
    if (dataBytes > size - p) return kCutOff;
    const uint32_t second = dataBytes == 2 ? data[p + 1] : 0;
    const uint32_t message = status | uint32_t{data[p]} << 8 | second << 16;
    events.AddMessage(tempoMap.TicksToSamples(tick), message, currentPort);
    runningStatus = message;
    return p - pos + dataBytes;
}

}  // namespace

bool ReadSong(const uint8_t* data, uint32_t size, int32_t sampleRate, MidiSong& song, const char** reason) {
    const char* why = nullptr;
    if (!reason) reason = &why;
    *reason = nullptr;
    EmptySong(song);
    SmfHeader header;
    if (data == nullptr) {
        *reason = "no data";
        return false;
    }
    if ((*reason = Unwrap(data, size)) != nullptr) return false;
    if ((*reason = ReadHeader(data, size, header)) != nullptr) return false;
    // Memory exhaustion (a huge file in a 32-bit process) is the only
    // exception source here, and no exception may leave the plug-in: it is
    // caught at this one place and turned into a failed read.
    try {
        SmfReader reader(data, size, header, sampleRate);
        reader.ReadTracks();
        const size_t count = reader.events.Count();
        if (count == 0 || count > static_cast<size_t>(std::numeric_limits<int32_t>::max())) {
            *reason = count == 0 ? "no events" : "more events than a song holds";
            return false;
        }
        reader.events.BuildSong(data, song.events);
        song.eventCount = static_cast<int32_t>(count);
        song.detectedReset = reader.detectedReset;
        song.lengthSamples = reader.lengthSamples;
        song.portCount = reader.portCount;
        return true;
    } catch (const std::bad_alloc&) {
    } catch (const std::length_error&) {
    }
    *reason = "out of memory";
    EmptySong(song);
    return false;
}

}  // namespace tavren
