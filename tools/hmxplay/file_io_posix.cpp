#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <vector>

#include "file_io.h"

namespace hmxplay {

namespace {

// Why nothing could be created in folder, in words.
std::string CannotCreateIn(const std::string& folder, int error) {
    if (error == ENOENT || error == ENOTDIR) return "its folder " + folder + " does not exist";
    return "cannot create a file in its folder " + folder + ": " + std::strerror(error);
}

bool WriteAll(int fd, const std::string& bytes) {
    for (size_t done = 0; done < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

// The permissions a file created without a template gets.
mode_t DefaultMode() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

}  // namespace

std::string SaveTarget(const std::string& path) {
    // Link by link, so that a link to a file not made yet still names it.
    std::string at = path;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st {};
        if (::lstat(at.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return at;
        std::vector<char> target(PATH_MAX + 1);
        const ssize_t n = ::readlink(at.c_str(), target.data(), PATH_MAX);
        if (n <= 0) return at;
        const std::string next(target.data(), static_cast<size_t>(n));
        at = next[0] == '/' || at.find('/') == std::string::npos ? next : FolderOf(at) + "/" + next;
    }
    return at;  // a loop of links: the save fails on it with the system's reason
}

SaveLock::~SaveLock() {
    if (handle >= 0) ::close(static_cast<int>(handle));
}

bool SaveLock::Acquire(const std::string& path, Mode mode, std::string* error) {
    const std::string name = path + ".lock";
    // Read access is all a lock needs, so a lock file root made serves everyone.
    const int fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC | (mode == Mode::Save ? O_CREAT : 0), 0644);
    if (fd < 0) {
        *error = mode == Mode::Save ? CannotCreateIn(FolderOf(path), errno) : std::strerror(errno);
        return false;
    }
    handle = fd;
    int result = 0;
    while ((result = ::flock(fd, mode == Mode::Save ? LOCK_EX : LOCK_SH)) != 0 && errno == EINTR) {
    }
    if (result != 0) {
        *error = "cannot lock " + name + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

bool ReplaceWholeFile(const std::string& path, const std::string& bytes, std::string* error) {
    std::string pattern = path + ".new-XXXXXX";
    const int fd = ::mkstemp(&pattern[0]);
    if (fd < 0) {
        *error = CannotCreateIn(FolderOf(path), errno);
        return false;
    }
    const std::string fresh = pattern;
    auto fail = [&](const std::string& why) {
        *error = why;
        ::close(fd);
        ::unlink(fresh.c_str());
        return false;
    };
    if (!WriteAll(fd, bytes)) return fail("cannot write " + fresh + ": " + std::strerror(errno));
    // The replaced file's owner, group and permissions carry over: a file the
    // user made private must not come back readable, nor root's after a save as root.
    struct stat old {};
    if (::stat(path.c_str(), &old) == 0) {
        if ((old.st_uid != ::geteuid() || old.st_gid != ::getegid()) && ::fchown(fd, old.st_uid, old.st_gid) != 0)
            return fail("cannot keep its owner (user " + std::to_string(old.st_uid) + ", group " +
                        std::to_string(old.st_gid) + "): " + std::strerror(errno) + "; it is left as it was");
        ::fchmod(fd, old.st_mode & 07777);
    } else {
        ::fchmod(fd, DefaultMode());
    }
    // On the disk before it takes the old file's name: a crash then leaves
    // the old file or the new one, never an empty one.
    if (::fsync(fd) != 0) return fail("cannot write " + fresh + " to the disk: " + std::strerror(errno));
    if (::close(fd) != 0) {
        *error = "cannot write " + fresh + ": " + std::strerror(errno);
        ::unlink(fresh.c_str());
        return false;
    }
    if (std::rename(fresh.c_str(), path.c_str()) != 0) {
        *error = std::strerror(errno);
        ::unlink(fresh.c_str());
        return false;
    }
    // The new name itself is on the disk once the folder is.
    const int folder = ::open(FolderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
        ::fsync(folder);
        ::close(folder);
    }
    return true;
}

}  // namespace hmxplay
