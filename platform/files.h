// Files and the clock: the one place where the two systems differ in how a file is
// opened, written, replaced and read, and in how the date and time are written.
// Paths are UTF-8 on both systems; the Windows build converts them to UTF-16.
#pragma once

#include <cstddef>
#include <cstdint>
#include <exception>
#include <memory>
#include <string>
#include <string_view>

namespace platform {

// What went wrong with a file, in the words callers report it with.
enum class file_fault {
    not_found,         // no such file
    path_not_found,    // a folder on the way is missing or is no folder
    access_denied,     // no permission, or a link where none is followed
    not_regular_file,  // a folder, FIFO, device or socket
    too_large,         // past the caller's size limit
    no_memory,
    io_error,
};

class file_error : public std::exception {
public:
    file_error(file_fault fault, std::string detail) : fault_(fault), detail_(std::move(detail)) {}
    file_fault fault() const noexcept { return fault_; }
    // The system's own words for the failure.
    const std::string& detail() const noexcept { return detail_; }
    const char* what() const noexcept override { return detail_.c_str(); }

private:
    file_fault fault_;
    std::string detail_;
};

inline constexpr std::size_t no_size_limit = static_cast<std::size_t>(-1);

// The whole of a regular file. Anything else (a folder, FIFO, device or socket) is refused
// before a byte is read, so that nothing waits for a writer or reads without end.
std::string read_regular_file(std::string_view path, std::size_t limit = no_size_limit);

// Appends bytes with one write to the file, creating it if missing, never truncating it.
// A symbolic link or reparse point at the path is not followed. False on any failure.
bool append_without_following(std::string_view path, std::string_view bytes) noexcept;

// A file held open for appending, where each write() is one write to the system, so that
// lines from several writers never interleave within a line.
class append_file {
public:
    // Opens or creates the file for appending; throws file_error. A FIFO without a reader
    // is refused at once instead of waiting for one.
    explicit append_file(std::string_view path);
    ~append_file();
    append_file(const append_file&) = delete;
    append_file& operator=(const append_file&) = delete;
    // True when every byte was written.
    bool write(std::string_view bytes) noexcept;
    // The system's words for the last failed write ("" when none failed).
    std::string last_failure() const;

private:
    std::intptr_t handle_;
    int last_error_ = 0;
};

// Writes bytes to the process's standard error with one write, unbuffered, so that a line
// from here and lines from other writers never interleave within a line. False on failure.
bool write_to_standard_error(std::string_view bytes) noexcept;

// Replaces the file's contents as one step: a temporary file beside it, written and
// flushed, then renamed over it. private_to_user: readable and writable by its owner
// only. Throws file_error; the old contents stay on failure.
void replace_file(std::string_view path, std::string_view bytes, bool private_to_user);

// Whether a file could be created at path: its folder exists and is a folder. On false,
// why holds the reason.
bool folder_of_path_exists(std::string_view path, std::string& why);

// The local date in the system's short date format, one blank, the local time in the
// system's time format.
std::string local_date_time();

// The fixed place of the component's diagnostic log.
const char* diagnostic_log_path() noexcept;

// Text in the system's character set (UTF-8 on Linux, the ANSI code page on Windows) as
// UTF-16. Bytes that do not decode become U+FFFD; nothing is trimmed.
std::u16string decode_system_text(std::string_view bytes);

}  // namespace platform
