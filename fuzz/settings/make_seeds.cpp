// Writes the settings target's seed corpus into the folder given: settings
// files as people write them (a byte-order mark, CRLF lines, comments, both
// architectures' keys, presets with their fields, pending keys, a key twice,
// odd numbers, Windows paths, Japanese names, bytes that are no UTF-8, no
// final line break), each after a few choices of the changes a run makes
// (touches.h).
#include <cstdio>
#include <string>

#include "common/seed_files.h"
#include "settings/touches.h"

namespace {

struct Seed {
    const char* name;
    std::string text;
};

const Seed kSeeds[] = {
    {"handwritten", "\xEF\xBB\xBF# hmxplay settings, written by hand\r\n"
                    "VSTiPath_x86=C:\\VSTi\\My Synth\\synth.dll\r\n\r\n"
                    "# \xE9\x9F\xB3\xE9\x87\x8F in percent; the last line of a key counts\r\n"
                    "Volume_x86=90\r\nVSTi_x86_01=C:\\Program Files\\VSTi\\a.dll\r\n"
                    "VSTi_x86_02=D:\\b\\t\\n.dll\r\nthis line is no setting\r\nVolume_x86=95\r\n"
                    "Cache_x86=1\nReset_x86=3"},
    {"both_architectures", "VSTiPath_x86=C:\\x86\\synth.dll\nVSTiPath_x64=C:\\x64\\synth64.dll\n"
                           "SampleRate_x86=-48000\nSampleRate_x64=96000\nVolume_x86=125.5\nVolume_x64=500\n"
                           "Reset_x86=7\nReset_x64=-1\nCache_x86=4294967296\nCache_x64=0\nShowEditor=1\n"
                           "EditorPos=-4294967296\n"},
    {"presets", "VSTiPath_x86=c:\\vsti\\SYNTH.DLL\n"
                "VSTi_x86_01=C:\\VSTi\\a.dll\nVSTi_x86_01_Desc=First\nVSTi_x86_01_Rate=44100\n"
                "VSTi_x86_02=C:\\VSTi\\Synth.dll\nVSTi_x86_02_Desc=\xE3\x82\xB7\xE3\x83\xB3\xE3\x82\xB5\n"
                "VSTi_x86_02_Vol=80\nVSTi_x86_02_Reset=2\nVSTi_x86_02_Cache=0\n"
                "VSTi_x86_04=C:\\VSTi\\A.DLL\nVSTi_x86_04_Desc=First\n"
                "VSTi_x86_10=/usr/lib/vst/synth.so\nVSTi_x86_10_Rate=192000\n"
                "SampleRate_=48000\nVolume_=\nReset_=1\nCache_=\n"},
    {"odd_numbers", "SampleRate_x86=1e300\nVolume_x86=1e999\nReset_x86=3.9\nCache_x86= 0\nShowEditor=0x10\n"
                    "Volume_x86=nan\nSampleRate_x86=44100abc\nEditorPos=99999999999999999999\n"
                    "Reset_x86=-2147483648\nVolume_x86=-0.0\n"},
    {"edges", "=no key\nKey=\n==\nVSTiPath_x86=\xFF\xFE not UTF-8 \xC0\xAF\n\tVolume_x86=80\nVolume_x86 =70\n"
              "VSTi_x86_03_Desc=tab\tin\tname\nVSTi_x86_03=C:\\tabbed.dll\nlast line, a lone CR\r"},
    {"empty", ""},
    {"comments_only", "# nothing here\r\n; nor here\r\n\r\n"},
    {"long_path", "VSTiPath_x86=C:\\" + std::string(300, 'a') + ".dll\nVSTi_x86_05=C:\\" + std::string(300, 'a') +
                      ".dll\nVSTi_x86_05_Desc=" + std::string(400, 'n') + "\n"},
};

struct Choice {
    const char* name;
    uint8_t bytes[settingsfuzz::kTouchBytes];
};

// No change; a few; every one.
const Choice kChoices[] = {{"none", {0, 0, 0, 0}}, {"some", {3, 1, 0x35, 0x02}}, {"all", {7, 4, 0xFF, 0xFF}}};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_seeds DIR\n");
        return 2;
    }
    for (const Seed& seed : kSeeds) {
        for (const Choice& choice : kChoices) {
            std::string bytes(reinterpret_cast<const char*>(choice.bytes), sizeof choice.bytes);
            bytes += seed.text;
            const std::string name = std::string(seed.name) + "-" + choice.name + ".settings";
            if (!fuzzsupport::WriteSeed(argv[1], name, bytes.data(), bytes.size())) return 1;
        }
    }
    return 0;
}
