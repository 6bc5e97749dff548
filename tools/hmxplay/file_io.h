// Whole-file reading and replacing for hmxplay, with the reason of a
// failure in words, so that every file a user names gives a clear error.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace hmxplay {

enum class ReadResult { Read, Missing, Failed };

// Reads the whole file at path (a native path). Missing: no such file.
// Failed: it exists but cannot be read (a folder, no permission, an I/O
// error, larger than 4 GiB), with the reason in *error.
ReadResult ReadWholeFile(const std::string& path, std::vector<uint8_t>* bytes, std::string* error);

// Writes bytes to a new file beside path and then puts it in path's place,
// so that path holds either its old or its new content, never a part.
bool ReplaceFile(const std::string& path, const std::string& bytes, std::string* error);

// [platform file] The file a save to path replaces: where path is a
// symbolic link, the file it leads to.
std::string SaveTarget(const std::string& path);

// [platform file] Moves from over to, replacing to; from takes the
// permissions that to had.
bool MoveOver(const std::string& from, const std::string& to, std::string* error);

}  // namespace hmxplay
