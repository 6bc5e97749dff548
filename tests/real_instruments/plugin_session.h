// The host player's side for the real-instrument tests and benchmark: loads
// the built plug-in file, makes a module through its one export with a
// settings store of our own, opens songs through the module and renders
// them, as the host player does. Nothing of the plug-in's code is linked in.
//   PluginSession(path)   loads the file and makes the module; Ready() says
//                         whether both worked
//   Open(song, rate)      a decoder for the song bytes (null when the open fails)
//   RenderAll(decoder, …) renders until the song ends or a frame limit
//   Close(decoder)        the decoder's last release
// Platform files: the process's own observations (loaded libraries, threads,
// message boxes the plug-in shows).
#pragma once

#include <cmath>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "box_capture.h"
#include "dynamic_library.h"
#include "frame/host_interface.h"
#include "host_doubles.h"

namespace realsynth {

// Interleaved stereo, widened to double whatever the output format.
struct Audio {
    int32_t rate = 0;
    std::vector<double> samples;
    bool ended = false;  // Render returned 0 before the frame limit

    uint64_t Frames() const { return samples.size() / 2; }
    // Largest magnitude over [fromSeconds, toSeconds) of the rendered frames.
    double Peak(double fromSeconds = 0, double toSeconds = 1e9) const;
    bool AllFinite() const;
    // Frames after the last sample outside ±0.001 (the plug-in's silence level).
    uint64_t TrailingSilentFrames() const;
};

class PluginSession {
public:
    explicit PluginSession(const std::string& pluginPath);
    ~PluginSession();
    PluginSession(const PluginSession&) = delete;
    PluginSession& operator=(const PluginSession&) = delete;

    bool Ready() const { return module != nullptr; }
    void Set(const std::u16string& key, const std::u16string& value) { store.Put(key, value); }

    // rate 0: no request (the settings' rate applies).
    tavren::IHmxDecoder* Open(const std::vector<uint8_t>& song, uint32_t rate = 0);
    static const tavren::HmxMediaInfo& Info(tavren::IHmxDecoder* decoder);
    // Renders from where the decoder is until Render gives 0 or maxFrames are done.
    static Audio RenderFrames(tavren::IHmxDecoder* decoder, uint64_t maxFrames);
    static Audio RenderSeconds(tavren::IHmxDecoder* decoder, double seconds);
    static void Close(tavren::IHmxDecoder* decoder) { decoder->Release(); }
    // ApplyConfig in section "General"; gives its result.
    int32_t Apply(const std::u16string& key, const std::u16string& value);
    // The song's length from the media information, in frames (rounded up:
    // the length in 100 ns units drops its remainder).
    static uint64_t LengthFrames(tavren::IHmxDecoder* decoder);

    int32_t StoreReferences() const { return store.references(); }

private:
    tavren::test::MemoryStore store;
    tavren::test::TestHost host{&store};
    std::unique_ptr<DynamicLibrary> plugin;
    tavren::IHmxDecoderModule* module = nullptr;
};

using tavren::BoxCapture;

// Whether the suite runs with the instrument in a host process
// (TAVREN_TEST_BRIDGE names the setting's value).
bool Bridged();

// [platform] Whether a library of that path is mapped into this process.
bool LibraryLoaded(const std::string& path);
// [platform] Threads of this process, -1 where not known.
int ThreadCount();

}  // namespace realsynth
