// Writing a seed corpus: one file per seed in the folder the program is given.
#pragma once

#include <cstdio>
#include <string>

namespace fuzzsupport {

// False, with a line on standard error, when the file cannot be written whole.
inline bool WriteSeed(const std::string& folder, const std::string& name, const void* bytes, size_t size) {
    const std::string path = folder + "/" + name;
    FILE* f = std::fopen(path.c_str(), "wb");
    bool ok = f && std::fwrite(bytes, 1, size, f) == size;
    if (f) ok = std::fclose(f) == 0 && ok;
    if (!ok) std::fprintf(stderr, "make_seeds: cannot write %s\n", path.c_str());
    return ok;
}

}  // namespace fuzzsupport
