// Writes the config target's seed corpus into the folder given: command
// sequences a person might give on the configuration page (choosing an
// instrument, "Info", "Reload", changing the playback values with and
// without a matching preset, presets that share a path in other letter
// case, the empty key's sync, other sections, literal keys and values), in
// the layout of commands.h.
#include <cstdio>
#include <string>
#include <vector>

#include "common/seed_files.h"
#include "config/commands.h"

namespace {

using namespace configfuzz;
using Bytes = std::vector<uint8_t>;

// Indexes into the page's items (its own order) and into kSpecialKeys / kValues.
enum Key : uint8_t {
    VstiPath = 0, ShowEditor = 1, Info = 2, Reload = 3, SampleRate = 4, Volume = 5, Reset = 6, Cache = 7,
    EmptyKey = kPageItems + 2, PendingVolume = kPageItems + 6,
};
constexpr uint8_t Preset(int number, int row) { return uint8_t(8 + (number - 1) * 6 + row); }
enum Value : uint8_t {
    Probe = 0, Tone = 1, Empty = 2, Nowhere = 3, Synth = 4, SynthOtherCase = 5, Rate44100 = 6, Rate48000 = 7,
    RateMinus48000 = 8, Rate22050 = 9, Vol125 = 10, Vol80 = 11, Huge = 12, NotANumber = 13, Minus3 = 14,
    Seven = 15, Zero = 16, One = 17, Wide = 18, Tabbed = 19, Japanese = 20, TwoLines = 21, Long = 22,
};

Bytes Apply(uint8_t key, uint8_t value) { return {ApplyGeneral, key, value}; }

Bytes Literal(const std::u16string& text) {
    Bytes out{uint8_t(text.size() * 2)};
    for (char16_t c : text) out.insert(out.end(), {uint8_t(c), uint8_t(c >> 8)});
    return out;
}

Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

struct Seed {
    const char* name;
    Bytes bytes;
};

std::vector<Seed> Seeds() {
    return {
        {"choose_instrument", Cat({Apply(VstiPath, Probe),
                                   Apply(Info, Empty),
                                   Apply(Reload, Empty),
                                   Apply(ShowEditor, One),
                                   Apply(Volume, Vol80),
                                   Apply(EmptyKey, Empty),
                                   {Describe, 0, 0}})},
        {"preset_other_case", Cat({Apply(Preset(2, 0), Synth),
                                   Apply(Preset(2, 1), Japanese),
                                   Apply(Preset(4, 0), SynthOtherCase),
                                   Apply(Preset(4, 1), Japanese),
                                   Apply(VstiPath, SynthOtherCase),
                                   Apply(Volume, Vol80),
                                   Apply(SampleRate, RateMinus48000),
                                   Apply(EmptyKey, Empty),
                                   {Describe, 0, 0}})},
        {"preset_fields", Cat({Apply(Preset(5, 0), Tone), Apply(VstiPath, Tone), Apply(Preset(5, 2), Rate48000),
                               Apply(Preset(5, 3), Huge), Apply(Preset(5, 4), Seven), Apply(Preset(5, 5), Zero),
                               Apply(Preset(6, 2), Rate22050), Apply(EmptyKey, Empty), Apply(Info, Empty)})},
        {"without_path", Cat({Apply(SampleRate, Rate44100), Apply(Reset, Minus3), Apply(Cache, Wide),
                              Apply(PendingVolume, Vol125), Apply(EmptyKey, Empty), Apply(Info, Empty)})},
        {"odd_values", Cat({Apply(Preset(1, 1), Tabbed),
                            Apply(Preset(1, 0), Long),
                            Apply(Preset(3, 0), Long),
                            Apply(Volume, NotANumber),
                            Apply(Preset(7, 1), TwoLines),
                            {ApplyNull, 0, 0},
                            {Describe, 0, 0}})},
        {"elsewhere",
         Cat({{ApplyElsewhere, VstiPath, Probe}, {ApplyElsewhere, Volume, Vol80}, {ApplyElsewhere, Info, Empty}})},
        {"literal", Cat({{ApplyGeneral, kLiteral, Vol80},
                         Literal(u"VSTi_x86_02_Vol_Rate"),
                         {ApplyGeneral, kLiteral, kLiteral},
                         Literal(u"Volume_x86"),
                         Literal(u"8\xD800"
                                 u"0"),
                         {ApplyGeneral, VstiPath, kLiteral},
                         Literal(u"C:\\VSTi\\\xD83C\xDFB9.dll"),
                         Apply(EmptyKey, Empty)})},
    };
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_seeds DIR\n");
        return 2;
    }
    for (const Seed& seed : Seeds()) {
        const std::string name = std::string(seed.name) + ".commands";
        if (!fuzzsupport::WriteSeed(argv[1], name, seed.bytes.data(), seed.bytes.size())) return 1;
    }
    return 0;
}
