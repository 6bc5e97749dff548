#include <windows.h>

#include <string>

#include "file_io.h"

namespace hmxplay {

std::string SaveTarget(const std::string& path) { return path; }

// The C library's rename will not replace an existing file on Windows. The
// narrow names are read as the C library's fopen reads them.
bool MoveOver(const std::string& from, const std::string& to, std::string* error) {
    if (MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING)) return true;
    *error = "Windows error " + std::to_string(GetLastError());
    return false;
}

}  // namespace hmxplay
