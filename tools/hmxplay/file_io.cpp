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

bool ReplaceFile(const std::string& linkOrPath, const std::string& bytes, std::string* error) {
    // Through a link the file it names is replaced, and the link stays.
    const std::string path = SaveTarget(linkOrPath);
    const std::string fresh = path + ".new";
    std::FILE* f = std::fopen(fresh.c_str(), "wb");
    if (!f) {
        *error = std::strerror(errno);
        return false;
    }
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    if (!ok) *error = std::strerror(errno);
    if (std::fclose(f) != 0 && ok) {
        ok = false;
        *error = std::strerror(errno);
    }
    if (ok && MoveOver(fresh, path, error)) return true;
    std::remove(fresh.c_str());
    return false;
}

}  // namespace hmxplay
