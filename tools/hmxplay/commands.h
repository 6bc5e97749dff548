// hmxplay's commands, each talking to the plug-in through its module.
#pragma once

#include <string>
#include <vector>

#include "frame/host_interface.h"

namespace hmxplay {

class SettingsStore;

struct Options {
    std::string plugin;
    std::string settings;
    std::u16string section = u"General";
    bool noConfig = false;
    std::string command;
    std::vector<std::string> args;
};

// The help text of the command when its arguments ask for it, else null.
const char* CommandHelp(const Options& options);

// True when the command exists and its arguments are valid; else the
// problem in words.
bool CheckArguments(const Options& options, std::string* problem);

// Runs the command; gives the process exit status.
int RunCommand(const Options& options, tavren::IHmxDecoderModule* module, SettingsStore* store);

// render (render_command.cpp): SONG.mid [-o OUT.wav] [--rate HZ]
// [--seek FRAME] [--max-seconds S] [--loops N] [--fade S].
extern const char kRenderHelp[];
bool CheckRenderArguments(const std::vector<std::string>& args, std::string* problem);
int RunRender(const std::vector<std::string>& args, tavren::IHmxDecoderModule* module);

// True when the plug-in of this build reads key (section General) at some
// time: its settings, the ten presets' keys, the keys a change waits in.
bool IsPluginKey(const std::string& key);

// File name of the bundled default instrument in this build.
const char* DefaultInstrumentFile();

}  // namespace hmxplay
