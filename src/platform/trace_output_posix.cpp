#include <fcntl.h>
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

}  // namespace

void debug_output(std::string_view) {}

void set_shared_temp_directory(std::string directory) {
    const std::lock_guard lock(shared_mutex);
    shared_directory() = std::move(directory);
}

void append_log_line(std::string_view text) {
    // The directory is often world-writable: never follow a planted link, and never block on a
    // planted FIFO (O_NONBLOCK makes its open fail without a reader; it is inert on a plain file).
    constexpr int flags = O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK;
    const std::string name(kLogFileName);
    int fd = -1;
    if (const char* dir = environment_directory()) {
        fd = ::open((std::string(dir) + "/" + name).c_str(), flags, 0600);
    } else if (const int dir_fd = open_private_directory(); dir_fd >= 0) {
        fd = ::openat(dir_fd, name.c_str(), flags, 0600);
        ::close(dir_fd);
    }
    if (fd < 0) return;
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        // One write with its LF: lines of concurrent writers then never interleave.
        std::string line;
        line.reserve(text.size() + 1);
        line.append(text).push_back('\n');
        write_fully(fd, line.data(), line.size());
    }
    ::close(fd);
}

}  // namespace vexo::platform
