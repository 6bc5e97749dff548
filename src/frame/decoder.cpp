#include "frame/decoder.h"

#include <exception>
#include <new>

#include "config/arch.h"
#include "config/compare_no_case.h"
#include "config/failure_box.h"
#include "config/format_key.h"
#include "config/message_box_thread.h"
#include "config/settings.h"
#include "frame/instance_cache.h"
#include "frame/module_state.h"
#include "midi/smf_reader.h"
#include "platform/platform.h"
#include "platform/text.h"
#include "playback/render_loop.h"
#include "playback/seek.h"
#include "vsthost/host_start.h"
#include "vsthost/host_thread.h"
#include "vsthost/instance.h"

namespace tavren {

namespace {

constexpr uint32_t kMessageBoxStyle = 0x41000;  // MB_OK | MB_SYSTEMMODAL | MB_TOPMOST
constexpr uint32_t kLoopMarkerController = 111;

const char16_t kLoadFailureText[] =
    u"VSTi プラグインのロードに失敗しました。\r\n\r\n"
    u"ツール->プラグイン設定->Decoder->" TAVREN_PLUGIN_FILE u"->General->VSTi のパス\r\n\r\n"
    u"で正しいプラグインのパスを指定して下さい。\r\n"
    u"動作中の " TAVREN_PLUGIN_FILE u" は " TAVREN_ARCH u" 版 です。" TAVREN_OTHER_ARCH
    u" 版の VSTi プラグインは使用出来ません。\r\n\r\n"
    u"VSTiPath=%s";

// Added when the instrument is of the other architecture and the bridge
// setting keeps it out: the setting that would play it.
const char16_t kOtherArchSentence[] =
    u"\r\n「VSTi を別プロセスで動作」(VSTiBridge" TAVREN_KEY_SUFFIX u") を 1 か 2 にすると、この VSTi "
    u"プラグインを別のプロセスで使用出来ます。";

// Inserts addition before the text's last line, "VSTiPath=...", which stays last.
void InsertBeforePath(char16_t* text, size_t capacity, const char16_t* addition) {
    const ptrdiff_t at = FindText(text, u"\r\n\r\nVSTiPath=");
    if (at < 0) return;
    char16_t tail[1024];
    CopyText(tail, 1024, text + at);
    text[at] = 0;
    AppendText(text, capacity, addition);
    AppendText(text, capacity, tail);
}

// The first control change with controller 111, on any channel, or -1.
int32_t FindLoopMarker(const MidiSong& song) {
    for (int32_t i = 0; i < song.eventCount; ++i) {
        uint32_t message = EventAt(song, i).message;
        if (IsChannelMessage(message) && (message & 0xF0) == 0xB0 && ((message >> 8) & 0xFF) == kLoopMarkerController)
            return i;
    }
    return -1;
}

// frames * 10,000,000 / rate, the remainder dropped, without the product
// passing 64 bits (it does for songs of some 500 days, which a slow tempo
// and long delta-times reach). A length no 64-bit count holds is the largest.
uint64_t LengthIn100ns(uint64_t frames, uint64_t rate) {
    constexpr uint64_t kUnitsPerSecond = 10000000u;
    const uint64_t seconds = frames / rate;
    const uint64_t part = frames % rate * kUnitsPerSecond / rate;  // below 192000 * 10^7: no wrap
    if (seconds > (UINT64_MAX - part) / kUnitsPerSecond) return UINT64_MAX;
    return seconds * kUnitsPerSecond + part;
}

// An instance acquired but not used for this song: kept for the next one when
// it can serve it, else closed.
void GiveBack(VstiInstance* instance, bool cache) {
    if (!cache) return DestroyInstance(instance);
    platform::LockGuard guard(HostLock);
    CacheInstance(CurrentHost, instance);
}

}  // namespace

AxVstiDecoder::AxVstiDecoder(IHmxConfig* cfg) : mediaInfo{}, config(cfg) {
    mediaInfo.size = sizeof(HmxMediaInfo);
    config->AddRef();
    playback.song = &song;
}

AxVstiDecoder::~AxVstiDecoder() {
    DiscardAhead(playback);
    CloseEditors(config, playback, editors);
    for (int i = 0; i < kMaxInstances && playback.instances[i]; ++i) {
        VstiInstance* instance = playback.instances[i];
        StopInstance(instance);
        if (keepCached) {
            platform::LockGuard guard(HostLock);
            CacheInstance(CurrentHost, instance);
        } else {
            DestroyInstance(instance);
        }
        playback.instances[i] = nullptr;
    }
    config->Release();
    EmptySong(song);
}

void AxVstiDecoder::ShowLoadFailure(const char16_t* path, uint32_t faultCode) {
    char16_t text[1024];
    FormatKey(text, 1024, kLoadFailureText, path);
    // Why, when the library did load: it faulted while the effect opened
    // here, or its host process could say more.
    char16_t reason[256] = {};
    if (faultCode)
        DescribeInstrumentFailure(reason, 256, InstrumentFailure::Crashed, faultCode);
    else
        CopyText(reason, 256, LoadFailureReason());
    if (reason[0]) {
        char16_t paragraph[300] = u"\r\n\r\n";
        AppendText(paragraph, 300, reason);
        InsertBeforePath(text, 1024, paragraph);
    } else if (ReadBridgeMode(config) == kBridgeNever && IsOtherArchLibrary(path)) {
        InsertBeforePath(text, 1024, kOtherArchSentence);
    }
    MessageBoxRequest request{text, TAVREN_PLUGIN_FILE, kMessageBoxStyle};
    // Its own thread gives the box a message loop while this thread waits.
    if (!platform::RunOnNewThreadAndWait(MessageBoxThreadProc, &request)) MessageBoxThreadProc(&request);
}

int32_t AxVstiDecoder::ChooseSampleRate(int32_t setting, const HmxMediaInfo* request) const {
    if (setting < 0) return -setting;  // a negative setting overrides the host's request
    // Any sane rate is honoured; one outside that range counts as no request:
    // 0xFFFFFFFF would play at -1 Hz, and the song-start reset settles for a
    // second of audio, so a huge rate would make a seek's reset endless.
    constexpr uint32_t kLowestRequest = 8000, kHighestRequest = 768000;
    const uint32_t requested = request ? request->sampleRate : 0;
    if (requested >= kLowestRequest && requested <= kHighestRequest) return static_cast<int32_t>(requested);
    return setting;
}

int32_t AxVstiDecoder::OpenSong(const HmxMediaInfo* request, IHmxFile* file) {
    uint32_t fault = 0;
    playback.instances[0] = AcquireInstance(config, &fault);
    VstiSettings settings;
    ReadVstiSettings(config, &settings);
    if (!playback.instances[0]) {
        ShowLoadFailure(settings.path, fault);
        return 0;
    }
    keepCached = settings.cache;
    playback.volumeFactor = settings.volume;
    playback.resetKind = settings.reset;

    const uint8_t* data = nullptr;
    uint32_t size = 0;
    if (!file || !file->GetBuffer(&data, &size) || !data) return 0;
    int32_t rate = ChooseSampleRate(settings.sampleRate, request);
    // The file image is borrowed only until the reader returns.
    if (!ReadSong(data, size, rate, song)) return 0;

    // The song's sample width is decided once, from instance 0 before any
    // instance starts, and every instance is held to it: the host's buffer
    // is sized by the format announced below.
    VstiInstance* first = playback.instances[0];
    playback.useDouble = CanDoubleReplacing(first);
    if (PrepareForSong(first, rate, playback.useDouble) != Preparation::Ready) {
        // Its counts or flags no longer make an instrument: not kept for another song either.
        playback.instances[0] = nullptr;
        DestroyInstance(first);
        ShowLoadFailure(settings.path, 0);
        return 0;
    }
    int32_t wanted = song.portCount < kMaxInstances ? song.portCount : kMaxInstances;
    playback.instanceCount = 1;
    for (int32_t k = 1; k < wanted; ++k) {
        VstiInstance* instance = AcquireInstance(config, &fault);
        if (fault) {
            // The library crashed opening it: none of its instances is called again.
            ShowLoadFailure(settings.path, fault);
            return 0;
        }
        if (!instance) break;  // the song plays with fewer instances
        Preparation prepared = PrepareForSong(instance, rate, playback.useDouble);
        if (prepared != Preparation::Ready) {
            // Its ports play on instance 0, as those of an instance not obtained.
            GiveBack(instance, prepared == Preparation::OtherWidth && keepCached);
            break;
        }
        playback.instances[k] = instance;
        playback.instanceCount = k + 1;
    }
    for (int32_t k = 0; k < playback.instanceCount; ++k) StartInstance(playback.instances[k]);

    mediaInfo.sampleRate = static_cast<uint32_t>(rate);
    mediaInfo.format = playback.useDouble ? -64 : -32;
    mediaInfo.channels = 2;
    mediaInfo.songCount = 1;
    mediaInfo.field64 = 1;
    mediaInfo.blockFrames = static_cast<uint32_t>(first->blockSize);
    mediaInfo.length = LengthIn100ns(static_cast<uint64_t>(song.lengthSamples), static_cast<uint64_t>(rate));

    playback.sampleRate = rate;
    playback.nextEvent = 0;
    playback.eventEnd = song.eventCount;
    playback.playPosition = 0;
    playback.songLength = static_cast<uint64_t>(song.lengthSamples);
    playback.blockSize = first->blockSize;

    playback.loopStart = FindLoopMarker(song);
    if (playback.loopStart >= 0) mediaInfo.loop = ~uint64_t{0};

    editors.editorWanted = (first->effect->flags & vst2::effFlagsHasEditor) && settings.showEditor;
    return 1;
}

uint32_t AxVstiDecoder::Select(uint32_t n, HmxMediaInfo** out, uint32_t, uint32_t) {
    if (out) *out = nullptr;
    if (n > mediaInfo.songCount) return 0;
    if (!out) return n;
    mediaInfo.selectedSong = n;
    *out = &mediaInfo;
    return n;
}

uint32_t AxVstiDecoder::Render(void* buffer, uint32_t) {
    try {
        if (editors.editorWanted && !editors.editorShown && !playback.failed) OpenEditors(config, playback, editors);
        return static_cast<uint32_t>(tavren::Render(playback, buffer));
    } catch (const std::bad_alloc&) {
        return 0;  // no memory for this block's event lists: the song ends here
    }
}

uint64_t AxVstiDecoder::Seek(uint64_t position, uint32_t) {
    try {
        return tavren::Seek(playback, position);
    } catch (const std::bad_alloc&) {
        return playback.playPosition;
    }
}

int32_t AxVstiDecoder::UpdateConfig(uint32_t) {
    VstiSettings settings;
    ReadVstiSettings(config, &settings);
    playback.volumeFactor = settings.volume;
    keepCached = settings.cache;
    editors.editorWanted = settings.showEditor;
    playback.resetKind = settings.reset;
    if (!keepCached) {
        platform::LockGuard guard(HostLock);
        if (CurrentHost) FlushCache(CurrentHost);
    }
    VstiInstance* first = playback.instances[0];
    if (first && (first->effect->flags & vst2::effFlagsHasEditor)) {
        if (editors.editorWanted)
            OpenEditors(config, playback, editors);
        else
            CloseEditors(config, playback, editors);
    }
    return 0;
}

IHmxDecoder* OpenDecoder(IHmxConfig* config, const HmxMediaInfo* request, IHmxFile* file) {
    auto* decoder = new (std::nothrow) AxVstiDecoder(config);
    if (!decoder) return nullptr;
    int32_t opened = 0;
    try {
        opened = decoder->OpenSong(request, file);
    } catch (const std::exception&) {
        opened = 0;  // a song too large for memory (or a container's limit) fails to open, cleanly
    }
    if (!opened) {
        delete decoder;  // stops and releases whatever the open acquired
        return nullptr;
    }
    return decoder;
}

}  // namespace tavren
