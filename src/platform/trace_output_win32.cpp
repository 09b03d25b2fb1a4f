#include <windows.h>

#include <mutex>
#include <optional>
#include <string>

#include "platform/environment.h"
#include "platform/trace_output.h"
#include "platform/wide_text_win32.h"

namespace vexo::platform {

namespace {

// TEMP, read afresh for every line. Unset, empty or not valid Unicode: no directory.
std::optional<std::wstring> temp_directory() {
    const std::optional<std::string> value = environment_value("TEMP");
    if (!value || value->empty()) return std::nullopt;
    return to_utf16(*value);
}

void write_bytes(HANDLE file, const char* data, std::size_t size) {
    DWORD written = 0;
    ::WriteFile(file, data, static_cast<DWORD>(size), &written, nullptr);
}

// Whether the handle still holds the file that has the name: another writer may have rotated it.
bool names_file(HANDLE file, const std::wstring& path) {
    const HANDLE named = ::CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                       FILE_ATTRIBUTE_NORMAL, nullptr);
    if (named == INVALID_HANDLE_VALUE) return false;
    BY_HANDLE_FILE_INFORMATION a{};
    BY_HANDLE_FILE_INFORMATION b{};
    const bool same = ::GetFileInformationByHandle(file, &a) && ::GetFileInformationByHandle(named, &b) &&
                      a.dwVolumeSerialNumber == b.dwVolumeSerialNumber && a.nFileIndexHigh == b.nFileIndexHigh &&
                      a.nFileIndexLow == b.nFileIndexLow;
    ::CloseHandle(named);
    return same;
}

}  // namespace

void debug_output(std::string_view line) { ::OutputDebugStringW(to_utf16(line).c_str()); }

// Windows has no shared fallback: without TEMP there is no file.
void set_shared_temp_directory(std::string) {}

void append_log_line(std::string_view text) {
    const auto directory = temp_directory();
    if (!directory) return;
    // Plain text join: a TEMP ending in a backslash gives a doubled one, which Windows accepts.
    std::wstring path = *directory;
    path.push_back(L'\\');
    path.append(to_utf16(kLogFileName));

    const std::wstring rotated = path + to_utf16(kRotatedSuffix);
    std::string line;
    line.reserve(text.size() + 1);
    line.append(text).push_back('\n');

    // Wine emulates append-only access as a seek to the end and a write, so two threads could
    // land on the same end and one line be lost: the writers of this process take turns, and
    // those of other processes wait for the file's lock.
    static std::mutex* const turn = new std::mutex;
    std::lock_guard lock(*turn);
    for (int attempt = 0; attempt < 4; ++attempt) {
        // Write access, which the lock needs, shares like append-only access; the writes still go
        // to the end, under the lock. Reading the attributes gives the size.
        const HANDLE file = ::CreateFileW(path.c_str(), FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_READ_ATTRIBUTES,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                                          FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) return;
        // One byte far beyond any end: it stands for the whole file and never blocks a write.
        OVERLAPPED range{};
        range.Offset = 0xFFFFFFFF;
        range.OffsetHigh = 0x7FFFFFFF;
        const bool locked = ::LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &range);
        const auto release = [&] {
            if (locked) ::UnlockFileEx(file, 0, 1, 0, &range);
            ::CloseHandle(file);
        };
        LARGE_INTEGER size{};
        ::GetFileSizeEx(file, &size);
        const auto held = static_cast<std::uint64_t>(size.QuadPart);
        // Only the file that still has the name is rotated: a writer that waited while another
        // rotated it opens the new one.
        if (held != 0 && held + line.size() > trace_rotation_size() &&
            (!names_file(file, path) || ::MoveFileExW(path.c_str(), rotated.c_str(), MOVEFILE_REPLACE_EXISTING))) {
            release();
            continue;
        }
        // One write with its LF: lines of concurrent writers then never interleave.
        LARGE_INTEGER end{};
        ::SetFilePointerEx(file, end, nullptr, FILE_END);
        write_bytes(file, line.data(), line.size());
        release();
        return;
    }
}

}  // namespace vexo::platform
