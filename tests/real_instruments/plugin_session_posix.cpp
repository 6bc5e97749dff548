// Native: the plug-in prints each message box as one line on standard output
// ("messagebox CAPTION: TEXT", line breaks escaped), so a capture swaps
// standard output for a file while it lives.
#include <dirent.h>
#include <dlfcn.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "plugin_session.h"

namespace realsynth {

namespace {

struct Redirect {
    int saved = -1;
    std::string path;
};

std::string ReplaceAll(std::string text, const std::string& from, const std::string& to) {
    for (size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size()) text.replace(at, from.size(), to);
    return text;
}

}  // namespace

BoxCapture::BoxCapture() {
    auto* redirect = new Redirect;
    char name[] = "/tmp/tavren_boxes_XXXXXX";
    const int fd = mkstemp(name);
    if (fd >= 0) {
        std::fflush(stdout);
        redirect->path = name;
        redirect->saved = dup(1);
        dup2(fd, 1);
        close(fd);
    }
    state = redirect;
}

BoxCapture::~BoxCapture() {
    Text();
    auto* redirect = static_cast<Redirect*>(state);
    if (!redirect->path.empty()) std::remove(redirect->path.c_str());
    delete redirect;
}

std::string BoxCapture::Text() {
    auto* redirect = static_cast<Redirect*>(state);
    if (redirect->saved >= 0) {
        std::fflush(stdout);
        dup2(redirect->saved, 1);
        close(redirect->saved);
        redirect->saved = -1;
    }
    std::ifstream in(redirect->path, std::ios::binary);
    std::string boxes;
    for (std::string line; std::getline(in, line);) {
        // Instruments print to standard output too; only the boxes count.
        if (line.rfind("messagebox ", 0) == 0) boxes += ReplaceAll(line.substr(11), "\\r\\n", "\r\n") + "\n";
    }
    return boxes;
}

bool LibraryLoaded(const std::string& path) {
    void* handle = dlopen(path.c_str(), RTLD_LAZY | RTLD_NOLOAD);
    if (handle) dlclose(handle);
    return handle != nullptr;
}

int ThreadCount() {
    int count = 0;
    if (DIR* tasks = opendir("/proc/self/task")) {
        while (dirent* entry = readdir(tasks))
            if (entry->d_name[0] != '.') ++count;
        closedir(tasks);
        return count;
    }
    return -1;
}

}  // namespace realsynth
