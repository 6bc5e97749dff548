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

// The folder part of a native path, without its last separator ("." for a
// bare name).
std::string FolderOf(const std::string& path);

// [platform file] The file a save to path replaces: where path is a
// symbolic link (even one whose file does not exist yet), the file it leads to.
std::string SaveTarget(const std::string& path);

// [platform file] A lock on the companion file path + ".lock", held until
// destruction, that serialises the saves of one file between processes.
// The companion file stays: removing it would let a third process lock a
// new one while a second still waits on the old.
class SaveLock {
public:
    // Save: exclusive, the companion file made when missing. Read: shared
    // with other readers, and only where a save ever made the companion file.
    enum class Mode { Save, Read };

    SaveLock() = default;
    ~SaveLock();
    SaveLock(const SaveLock&) = delete;
    SaveLock& operator=(const SaveLock&) = delete;
    // Waits for the lock; false, with the reason in *error, when the
    // companion file cannot be made (or, to read, is missing) or locked.
    bool Acquire(const std::string& path, Mode mode, std::string* error);

private:
    intptr_t handle = -1;
};

// [platform file] Writes bytes to a new file of a unique name in path's
// folder, flushes it to the disk, gives it the owner, group and permissions
// of the file at path (when there is one) and moves it into path's place,
// so that path holds either its old or its new content, never a part. On
// failure only that new file is removed, and *error says why.
bool ReplaceWholeFile(const std::string& path, const std::string& bytes, std::string* error);

}  // namespace hmxplay
