#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

#include "platform/trace_output.h"

namespace vexo::platform {

namespace {

const char* log_directory() {
    for (const char* name : {"TEMP", "TMPDIR"}) {
        const char* value = std::getenv(name);
        if (value != nullptr && *value != '\0') return value;
    }
    return "/tmp";
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

void append_log_line(std::string_view text) {
    std::string path = log_directory();
    path.push_back('/');
    path.append(kLogFileName);

    // The directory is often world-writable: never follow a planted link, and never block on a
    // planted FIFO (O_NONBLOCK makes its open fail without a reader; it is inert on a plain file).
    const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0600);
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
