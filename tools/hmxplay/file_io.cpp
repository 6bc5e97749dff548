#include "file_io.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace hmxplay {

ReadResult ReadWholeFile(const std::string& path, std::vector<uint8_t>* bytes, std::string* error) {
    bytes->clear();
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) {
        if (errno == ENOENT) return ReadResult::Missing;
        *error = std::strerror(errno);
        return ReadResult::Failed;
    }
    uint8_t chunk[1 << 16];
    size_t n = 0;
    bool tooLarge = false;
    while (!tooLarge && (n = std::fread(chunk, 1, sizeof chunk, f)) > 0) {
        bytes->insert(bytes->end(), chunk, chunk + n);
        tooLarge = bytes->size() > UINT32_MAX;
    }
    // A folder opens on some systems and fails at the first read.
    const int readError = std::ferror(f) ? errno : 0;
    std::fclose(f);
    if (readError || tooLarge) {
        *error = tooLarge ? "larger than 4 GiB" : std::strerror(readError);
        bytes->clear();
        return ReadResult::Failed;
    }
    return ReadResult::Read;
}

std::string FolderOf(const std::string& path) {
#if defined(_WIN32)
    const size_t slash = path.find_last_of("\\/");
#else
    const size_t slash = path.rfind('/');
#endif
    if (slash == std::string::npos) return ".";
    return slash == 0 ? path.substr(0, 1) : path.substr(0, slash);
}

}  // namespace hmxplay
