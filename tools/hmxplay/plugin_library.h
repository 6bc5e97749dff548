// Loading the plug-in file the way the host player does, and the paths
// hmxplay works with (Unix paths are handed to Windows as drive Z:).
#pragma once

#include <string>

#include "frame/host_interface.h"

namespace hmxplay {

struct PluginLibrary {
    void* handle = nullptr;
    tavren::HmxCreateInstanceProc createInstance = nullptr;
};

// Loads the file and looks up "hmx_CreateInstance"; false with a message on stderr.
bool LoadPlugin(const std::string& path, PluginLibrary* plugin);
void UnloadPlugin(PluginLibrary* plugin);

// The folder of the running hmxplay, with a trailing separator.
std::string ExecutableFolder();

// A path as this build's file functions take it.
std::string NativePath(const std::string& path);
// The same path as UTF-16 text for the plug-in's settings.
std::u16string PluginPath(const std::string& path);

// Standard output in binary mode, so that lines end in "\n" in both builds.
void PrepareConsole();
bool StdoutIsTerminal();

}  // namespace hmxplay
