#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <mutex>
#include <string>
#include <utility>

#include "platform/trace_output.h"

namespace vexo::platform {

namespace {

const char* environment_directory() {
    for (const char* name : {"TEMP", "TMPDIR"}) {
        const char* value = std::getenv(name);
        if (value != nullptr && *value != '\0') return value;
    }
    return nullptr;
}

std::mutex shared_mutex;
std::string& shared_directory() {
    static std::string* const directory = new std::string(kSharedTempDirectory);
    return *directory;
}

// /tmp is shared: one file there would be the first user's, and every other user's lines would be
// lost. Each user gets a directory of their own, made 0700; one that is a link, someone else's, or
// open to others is not used.
int open_private_directory() {
    std::string dir;
    {
        const std::lock_guard lock(shared_mutex);
        dir = shared_directory();
    }
    dir += "/vexo-" + std::to_string(::getuid());
    if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) return -1;
    const int dir_fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (dir_fd < 0) return -1;
    struct stat st {};
    if (::fstat(dir_fd, &st) != 0 || st.st_uid != ::getuid() || (st.st_mode & 077) != 0) {
        ::close(dir_fd);
        return -1;
    }
    return dir_fd;
}

// Short writes and signals must not cut a line short.
bool write_fully(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

bool same_file(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

// Appends the line to the trace in the directory, rotating it first when the line would take it
// beyond the rotation size. Everything happens under the file's lock; a writer that was waiting
// for it while another rotated finds its file renamed and opens the new one.
void append_rotating(int dir_fd, const std::string& line) {
    // The directory is often world-writable: never follow a planted link, and never block on a
    // planted FIFO (O_NONBLOCK makes its open fail without a reader; it is inert on a plain file).
    constexpr int flags = O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK;
    const std::string name(kLogFileName);
    const std::string rotated = name + std::string(kRotatedSuffix);
    for (int attempt = 0; attempt < 4; ++attempt) {
        const int fd = ::openat(dir_fd, name.c_str(), flags, 0600);
        if (fd < 0) return;
        struct stat held {};
        if (::fstat(fd, &held) != 0 || !S_ISREG(held.st_mode)) {
            ::close(fd);
            return;
        }
        // A file system without locks still gets its lines, and its rotations.
        while (::flock(fd, LOCK_EX) != 0 && errno == EINTR) {
        }
        struct stat named {};
        const bool current = ::fstat(fd, &held) == 0 &&
                             ::fstatat(dir_fd, name.c_str(), &named, AT_SYMLINK_NOFOLLOW) == 0 && same_file(held, named);
        const auto size = static_cast<std::uint64_t>(held.st_size);
        const bool full = size != 0 && size + line.size() > trace_rotation_size();
        // A writer that waited for the lock while another rotated the file opens the new one.
        if (!current || (full && ::renameat(dir_fd, name.c_str(), dir_fd, rotated.c_str()) == 0)) {
            ::close(fd);  // and its lock
            continue;
        }
        // One write with its LF: lines of concurrent writers then never interleave.
        write_fully(fd, line.data(), line.size());
        ::close(fd);
        return;
    }
}

}  // namespace

void debug_output(std::string_view) {}

void set_shared_temp_directory(std::string directory) {
    const std::lock_guard lock(shared_mutex);
    shared_directory() = std::move(directory);
}

void append_log_line(std::string_view text) {
    int dir_fd = -1;
    if (const char* dir = environment_directory()) {
        dir_fd = ::open(dir, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    } else {
        dir_fd = open_private_directory();
    }
    if (dir_fd < 0) return;
    std::string line;
    line.reserve(text.size() + 1);
    line.append(text).push_back('\n');
    append_rotating(dir_fd, line);
    ::close(dir_fd);
}

}  // namespace vexo::platform
