#include <dirent.h>

#include <fstream>
#include <sstream>
#include <string>

#include "process_census.h"

namespace tavren::test {

namespace {

int CountEntries(const char* folder) {
    DIR* dir = opendir(folder);
    if (!dir) return -1;
    int count = 0;
    while (dirent* entry = readdir(dir))
        if (entry->d_name[0] != '.') ++count;
    closedir(dir);
    return count;
}

// Children of every thread, as the kernel lists them (zombies included).
int CountChildren() {
    DIR* dir = opendir("/proc/self/task");
    if (!dir) return -1;
    int count = 0;
    while (dirent* entry = readdir(dir)) {
        if (entry->d_name[0] == '.') continue;
        std::ifstream in(std::string("/proc/self/task/") + entry->d_name + "/children");
        std::string pid;
        while (in >> pid) ++count;
    }
    closedir(dir);
    return count;
}

int CountBridgeMaps() {
    std::ifstream in("/proc/self/maps");
    int count = 0;
    for (std::string line; std::getline(in, line);)
        if (line.find("memfd:tavren-bridge") != std::string::npos) ++count;
    return count;
}

}  // namespace

Census TakeCensus() {
    Census census;
    census.threads = CountEntries("/proc/self/task");
    census.handles = CountEntries("/proc/self/fd") - 1;  // less the one reading the folder
    census.children = CountChildren();
    census.sharedMaps = CountBridgeMaps();
    return census;
}

}  // namespace tavren::test
