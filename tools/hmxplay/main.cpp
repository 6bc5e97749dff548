// hmxplay: plays the host player's role for the plug-in, and nothing more.
// It loads the plug-in file, calls hmx_CreateInstance with a host object of
// its own and from then on talks to the plug-in only through the host
// player's interfaces.
//
//   hmxplay [--plugin PATH] [--settings FILE] [--set KEY=VALUE]... [--no-config]
//           [--section NAME] COMMAND [ARGS...]
//   commands: info | describe | apply KEY VALUE | render SONG.mid [options]
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "commands.h"
#include "config/arch.h"
#include "host_object.h"
#include "message_boxes.h"
#include "plugin_library.h"
#include "platform/text.h"
#include "settings_store.h"

using namespace hmxplay;

static const char kUsage[] =
    "usage: hmxplay [--plugin PATH] [--settings FILE] [--set KEY=VALUE]... [--no-config] [--section NAME]\n"
    "               info | describe | apply KEY VALUE |\n"
    "               render SONG.mid [-o OUT.wav] [--rate R] [--seek FRAME] [--max-seconds S]\n";

static int Usage() {
    std::fputs(kUsage, stderr);
    return 2;
}

int main(int argc, char** argv) {
    PrepareConsole();
    Options options;
    options.plugin = ExecutableFolder() + tavren::ToUtf8(TAVREN_PLUGIN_FILE);  // this build's plug-in
    options.settings = ExecutableFolder() + "hmxplay.settings";
    std::vector<std::string> sets;

    int i = 1;
    for (; i < argc && argv[i][0] == '-' && argv[i][1] == '-'; ++i) {
        std::string arg = argv[i];
        bool hasValue = i + 1 < argc;
        if (arg == "--plugin" && hasValue)
            options.plugin = argv[++i];
        else if (arg == "--settings" && hasValue)
            options.settings = argv[++i];
        else if (arg == "--set" && hasValue && std::strchr(argv[i + 1], '='))
            sets.push_back(argv[++i]);
        else if (arg == "--section" && hasValue)
            options.section = tavren::FromUtf8(argv[++i]);
        else if (arg == "--no-config")
            options.noConfig = true;
        else
            return Usage();
    }
    if (i >= argc) return Usage();
    options.command = argv[i++];
    for (; i < argc; ++i) options.args.push_back(argv[i]);
    if (!CommandKnown(options)) return Usage();

    auto* store = new SettingsStore();
    store->Load(NativePath(options.settings));
    for (const std::string& set : sets) {
        size_t eq = set.find('=');
        store->Override(tavren::FromUtf8(set.substr(0, eq)), tavren::FromUtf8(set.substr(eq + 1)));
    }
    // Without an instrument named in the settings, play through our own.
    std::string tone = ExecutableFolder() + DefaultInstrumentFile();
    if (std::FILE* f = std::fopen(NativePath(tone).c_str(), "rb")) {
        std::fclose(f);
        store->SetFallback(u"VSTiPath" TAVREN_KEY_SUFFIX, PluginPath(tone));
    }

    PluginLibrary plugin;
    if (!LoadPlugin(NativePath(options.plugin), &plugin)) {
        store->Release();
        return 3;
    }
    MessageBoxes boxes;  // prints and closes every box the plug-in raises
    HostObject host(store, !options.noConfig);
    tavren::IHmxDecoderModule* module = nullptr;
    tavren::HmxResult status =
        plugin.createInstance(&tavren::kIidHmxDecoderModule, reinterpret_cast<void**>(&module), &host);
    int exitCode = 4;
    if (status != tavren::kHmxOk || !module) {
        std::fprintf(stderr, "hmxplay: hmx_CreateInstance failed (0x%08x)\n", static_cast<unsigned>(status));
    } else {
        exitCode = RunCommand(options, module, store);
        module->Release();
    }
    boxes.Stop();
    if (options.command != "info" && !store->Save(NativePath(options.settings)))
        std::fprintf(stderr, "hmxplay: cannot write %s\n", options.settings.c_str());
    store->Release();
    UnloadPlugin(&plugin);
    return exitCode;
}
