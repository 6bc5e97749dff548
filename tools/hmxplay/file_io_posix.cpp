#include <sys/stat.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "file_io.h"

namespace hmxplay {

std::string SaveTarget(const std::string& path) {
    char resolved[PATH_MAX];
    if (::realpath(path.c_str(), resolved)) return resolved;
    return path;
}

bool MoveOver(const std::string& from, const std::string& to, std::string* error) {
    // A settings file the user made private must not come back world-readable.
    struct stat old {};
    if (::stat(to.c_str(), &old) == 0) ::chmod(from.c_str(), old.st_mode & 07777);
    if (std::rename(from.c_str(), to.c_str()) == 0) return true;
    *error = std::strerror(errno);
    return false;
}

}  // namespace hmxplay
