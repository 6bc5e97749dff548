// One open MIDI file, played through one to eight instances of the
// configured instrument. The module's Open makes it and runs OpenSong; the
// host player then uses it through IHmxDecoder until its last Release. One
// decoder is not to be called from two threads at once.
#pragma once

#include "frame/unknown_impl.h"
#include "midi/midi_song.h"
#include "playback/playback_state.h"
#include "playback/render_loop.h"
#include "vsthost/editor.h"

namespace tavren {

class AxVstiDecoder final : public AxHmxUnknownImpl<IHmxDecoder> {
public:
    // Takes its own reference on config; none on the module or the file.
    explicit AxVstiDecoder(IHmxConfig* config);
    // Closes the editors, stops every instance and caches or destroys it.
    ~AxVstiDecoder() override;

    // Gives 1 when the song is ready to play, 0 on failure (after showing
    // the load-failure message when no instrument could be had).
    int32_t OpenSong(const HmxMediaInfo* request, IHmxFile* file);

    uint32_t HMX_CALL Select(uint32_t song, HmxMediaInfo** out, uint32_t, uint32_t) override;
    uint32_t HMX_CALL Render(void* buffer, uint32_t size) override;
    uint64_t HMX_CALL Seek(uint64_t position, uint32_t) override;
    int32_t HMX_CALL UpdateConfig(uint32_t) override;

    // For tests: the state the engine works on.
    const PlaybackState& Playback() const { return playback; }
    const HmxMediaInfo& MediaInfo() const { return mediaInfo; }
    const EditorState& Editors() const { return editors; }
    // For tests that read an instrument's log: waits for a block rendered ahead.
    void SettleAhead() { tavren::SettleAhead(playback); }

private:
    // faultCode: the library faulted while this open opened an effect (0: it did not).
    void ShowLoadFailure(const char16_t* path, uint32_t faultCode);
    int32_t ChooseSampleRate(int32_t setting, const HmxMediaInfo* request) const;

    HmxMediaInfo mediaInfo;
    MidiSong song;
    IHmxConfig* config;
    PlaybackState playback;
    EditorState editors;
    bool keepCached = true;
};

// The module's Open: a decoder for the song or null (destroyed at once on failure).
IHmxDecoder* OpenDecoder(IHmxConfig* config, const HmxMediaInfo* request, IHmxFile* file);

}  // namespace tavren
