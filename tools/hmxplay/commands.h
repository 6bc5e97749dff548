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

// True when the command exists and has the arguments it needs.
bool CommandKnown(const Options& options);

// Runs the command; gives the process exit status.
int RunCommand(const Options& options, tavren::IHmxDecoderModule* module, SettingsStore* store);

// render's arguments (render_command.cpp): SONG.mid [-o OUT.wav] [--rate R]
// [--seek FRAME] [--max-seconds S].
bool RenderArgumentsValid(const std::vector<std::string>& args);
int RunRender(const std::vector<std::string>& args, tavren::IHmxDecoderModule* module);

// File name of the bundled default instrument in this build.
const char* DefaultInstrumentFile();

}  // namespace hmxplay
