// hmxplay: plays the host player's role for the plug-in, and nothing more.
// It loads the plug-in file, calls hmx_CreateInstance with a host object of
// its own and from then on talks to the plug-in only through the host
// player's interfaces.
//
//   hmxplay [--plugin PATH] [--settings FILE] [--set KEY=VALUE]... [--no-config]
//           [--section NAME] COMMAND [ARGS...]
//   commands: info | describe | apply KEY VALUE | render SONG.mid [options]
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
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

namespace {

const char kUsage[] =
    "usage: hmxplay [OPTIONS] COMMAND [ARGS...]\n"
    "Plays the host player's part for the plug-in: loads the plug-in file, hands it\n"
    "the settings file as its settings store and runs one command through it.\n"
    "\n"
    "options:\n"
    "  --plugin PATH     the plug-in file (default: tavren_" TAVREN_ARCH_NAME ".hmx beside hmxplay)\n"
    "  --settings FILE   the settings file: KEY=VALUE lines, taken literally; a\n"
    "                    line starting with # or ; is a comment\n"
    "                    (default: hmxplay.settings beside hmxplay)\n"
    "  --set KEY=VALUE   a setting for this run only, never saved (repeatable)\n"
    "  --no-config       offer the plug-in no settings store\n"
    "  --section NAME    the section apply works in (default: General)\n"
    "  -h, --help        this text; COMMAND --help describes a command\n"
    "\n"
    "commands:\n"
    "  info              module information\n"
    "  describe          the configuration page the plug-in declares\n"
    "  apply KEY VALUE   ApplyConfig in section General (or --section); \"\" is empty\n"
    "  render SONG.mid [-o OUT.wav] [--rate HZ] [--seek FRAME] [--max-seconds S]\n"
    "                  [--loops N] [--fade S]\n"
    "                    render a song, e.g. into a WAV file\n"
    "\n"
    "Saving: the keys the plug-in changed are written into the settings file as it\n"
    "is at the end of the run, whatever other runs saved meanwhile; every other\n"
    "line stays byte for byte. The save replaces the file with a new one (through\n"
    "a symbolic link, the file it leads to), keeping its owner, group and\n"
    "permissions; a hard link to the old file keeps the old content. Saves of one\n"
    "file wait for each other through FILE.lock beside it.\n"
    "\n"
    "Message boxes the plug-in raises are printed as \"messagebox CAPTION: TEXT\"\n"
    "and closed. Without an instrument in the settings (VSTiPath_" TAVREN_ARCH_NAME "), songs play\n"
    "through tone, built beside hmxplay.\n"
    "\n"
    "exit status: 0 done; 1 the plug-in refused (a song it cannot open);\n"
    "2 bad arguments, or a file (standard output included) that cannot be read or\n"
    "written; 3 the plug-in file cannot be loaded; 4 hmx_CreateInstance failed;\n"
    "130 a render interrupted (Ctrl+C), its WAV file complete up to there.\n";

int BadArguments(const std::string& why) {
    std::fprintf(stderr, "hmxplay: %s\n(hmxplay --help explains the arguments)\n", why.c_str());
    return 2;
}

bool IsHelp(const char* arg) { return std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0; }

int Run(int argc, char** argv) {
    PrepareConsole();
    Options options;
    options.plugin = ExecutableFolder() + tavren::ToUtf8(TAVREN_PLUGIN_FILE);  // this build's plug-in
    options.settings = ExecutableFolder() + "hmxplay.settings";
    std::vector<std::string> sets;

    int i = 1;
    for (; i < argc && argv[i][0] == '-'; ++i) {
        std::string arg = argv[i];
        if (IsHelp(argv[i])) {
            std::fputs(kUsage, stdout);
            return 0;
        }
        const bool takesValue = arg == "--plugin" || arg == "--settings" || arg == "--set" || arg == "--section";
        if (takesValue && i + 1 >= argc) return BadArguments(arg + " needs a value");
        if (arg == "--plugin") {
            options.plugin = argv[++i];
        } else if (arg == "--settings") {
            options.settings = argv[++i];
        } else if (arg == "--set") {
            const std::string set = argv[++i];
            const size_t eq = set.find('=');
            if (eq == std::string::npos) return BadArguments("--set takes KEY=VALUE, not '" + set + "'");
            // A typo would otherwise pass unseen: the run goes on all the same.
            if (!IsPluginKey(set.substr(0, eq)))
                std::fprintf(stderr, "hmxplay: --set %s: the plug-in never reads the key '%s'; going on\n",
                             set.c_str(), set.substr(0, eq).c_str());
            sets.push_back(set);
        } else if (arg == "--section") {
            options.section = tavren::FromUtf8(argv[++i]);
        } else if (arg == "--no-config") {
            options.noConfig = true;
        } else {
            return BadArguments("unknown option '" + arg + "'");
        }
    }
    if (i >= argc) return BadArguments("no command given");
    options.command = argv[i++];
    for (; i < argc; ++i) options.args.push_back(argv[i]);
    if (const char* help = CommandHelp(options)) {
        std::fputs(help, stdout);
        return 0;
    }
    std::string problem;
    if (!CheckArguments(options, &problem)) return BadArguments(problem);

    auto* store = new SettingsStore();
    const std::string settingsPath = NativePath(options.settings);
    // A file that exists but cannot be read is never taken as empty: a save
    // would then overwrite what the user wrote.
    if (!store->Load(settingsPath, &problem)) {
        std::fprintf(stderr, "hmxplay: cannot read settings file %s: %s\n", options.settings.c_str(), problem.c_str());
        store->Release();
        return 2;
    }
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
    if (options.command != "info" && !store->Save(settingsPath, &problem)) {
        std::fprintf(stderr, "hmxplay: cannot save settings file %s: %s\n", options.settings.c_str(), problem.c_str());
        if (exitCode == 0) exitCode = 2;
    }
    store->Release();
    UnloadPlugin(&plugin);
    return exitCode;
}

// Every line hmxplay printed reached its reader, or the run failed.
int CheckStdout(int exitCode) {
    errno = 0;
    const bool flushed = std::fflush(stdout) == 0;
    const int error = errno;
    if (flushed && !std::ferror(stdout)) return exitCode;
    std::fprintf(stderr, "hmxplay: cannot write to standard output: %s\n",
                 error ? std::strerror(error) : "a write failed");
    return exitCode == 0 ? 2 : exitCode;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        return CheckStdout(Run(argc, argv));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "hmxplay: %s\n", e.what());
    } catch (...) {
        std::fprintf(stderr, "hmxplay: unexpected failure\n");
    }
    return 1;
}
