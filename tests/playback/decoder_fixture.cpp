#include "decoder_fixture.h"

#include <cstring>

#include "frame/module.h"
#include "probe_protocol.h"
#include "vsthost/host_thread.h"
#include "vsthost/instance.h"

namespace tavren::test {

namespace {

bool Contains(const std::string& line, const char* part) { return line.find(part) != std::string::npos; }

}  // namespace

Bytes TrackAt(int port, std::vector<At> events, uint32_t endTick) {
    Bytes body;
    if (port > 0) body = body + Bytes{0x00, 0xFF, 0x21, 0x01, uint8_t(port)};
    uint32_t tick = 0;
    for (const At& e : events) {
        body = body + Vlq(e.tick - tick) + e.bytes;
        tick = e.tick;
    }
    return body + Vlq(endTick - tick) + Bytes{0xFF, 0x2F, 0x00};
}

Bytes Song(std::vector<Bytes> tracks) {
    tracks[0] = Tempo(10000) + tracks[0];
    Bytes out = Header(tracks.size() == 1 ? 0 : 1, uint16_t(tracks.size()), 441);
    for (const Bytes& body : tracks) out = out + Track(body);
    return out;
}

Bytes SysexEvent(const Bytes& dataAfterF0) { return Bytes{0xF0} + Vlq(uint32_t(dataAfterF0.size())) + dataAfterF0; }

EffectCalls CallsOf(const std::vector<std::string>& lines, int serial) {
    EffectCalls calls;
    std::string tag = " serial=" + std::to_string(serial) + " ";
    for (const std::string& line : lines) {
        if (!Contains(line, tag.c_str())) continue;
        if (Contains(line, " dispatch ") && Contains(line, " op=25 ")) calls.processEvents.push_back(line);
        if (Contains(line, " process ")) calls.process.push_back(line);
    }
    return calls;
}

size_t CountFrom(const std::vector<std::string>& lines, size_t from, std::initializer_list<const char*> parts) {
    size_t n = 0;
    for (size_t i = from; i < lines.size(); ++i) {
        bool all = true;
        for (const char* part : parts) all = all && Contains(lines[i], part);
        n += all;
    }
    return n;
}

void DecoderTest::SetUp() {
    ClearProbeVariables();
    store_.Put(u"VSTiPath_x86", LibraryPath("probe"));
    void* out = nullptr;
    ASSERT_EQ(CreateModuleInstance(&kIidHmxDecoderModule, &out, &host_), kHmxOk);
    module_ = static_cast<IHmxDecoderModule*>(out);
}

void DecoderTest::TearDown() {
    for (AxVstiDecoder* decoder : open_) decoder->Release();
    open_.clear();
    // The last module stops the instrument host: every test starts afresh.
    if (module_) module_->Release();
    module_ = nullptr;
    EXPECT_EQ(store_.references(), 1) << "a reference on the settings store was not given back";
}

AxVstiDecoder* DecoderTest::Open(const Bytes& song, const HmxMediaInfo* request) {
    MemoryFile file(song);
    return OpenFile(file, request);
}

AxVstiDecoder* DecoderTest::OpenFile(MemoryFile& file, const HmxMediaInfo* request) {
    IHmxDecoder* decoder = reinterpret_cast<IHmxDecoder*>(uintptr_t{1});  // must be overwritten
    int32_t opened = module_->Open(request, &file, nullptr, &decoder);
    if (!opened) {
        EXPECT_EQ(decoder, nullptr);
        return nullptr;
    }
    EXPECT_NE(decoder, nullptr);
    auto* typed = static_cast<AxVstiDecoder*>(decoder);
    open_.push_back(typed);
    return typed;
}

void DecoderTest::Close(AxVstiDecoder* decoder) {
    for (size_t i = 0; i < open_.size(); ++i)
        if (open_[i] == decoder) open_.erase(open_.begin() + static_cast<std::ptrdiff_t>(i));
    decoder->Release();
}

DecoderTest::Block DecoderTest::RenderOne(AxVstiDecoder* decoder) {
    Block block;
    const HmxMediaInfo& info = decoder->MediaInfo();
    size_t count = 2 * static_cast<size_t>(info.blockFrames);
    if (info.format == -64) {
        std::vector<double> buffer(count, -12345.0);
        block.frames = decoder->Render(buffer.data(), static_cast<uint32_t>(count * sizeof(double)));
        block.samples.assign(buffer.begin(), buffer.begin() + 2 * block.frames);
    } else {
        std::vector<float> buffer(count, -12345.0f);
        block.frames = decoder->Render(buffer.data(), static_cast<uint32_t>(count * sizeof(float)));
        block.floats.assign(buffer.begin(), buffer.begin() + 2 * block.frames);
        block.samples.assign(block.floats.begin(), block.floats.end());
    }
    // The next block may be rendering ahead: settled, so a log read now is complete.
    decoder->SettleAhead();
    return block;
}

int DecoderTest::SerialOf(AxVstiDecoder* decoder, int instance) {
    VstiInstance* target = decoder->Playback().instances[instance];
    if (!target) return -1;
    return static_cast<int>(Dispatch(target, probe::kOpcodeSerial, 0, nullptr, 0.0f));
}

}  // namespace tavren::test
