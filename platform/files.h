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

// A file written by this process, appended to (a journal) or replaced as one step (a saved
// state), that keeps every failed write, a short one included, and reports it.
class file_writer {
public:
    enum class mode {
        // Opened or created for appending, never truncated; a FIFO without a reader is
        // refused at once instead of waiting for one.
        append,
        // A temporary file beside the path, readable and writable by its owner only,
        // renamed over the path by finish(); the old contents stay until then. A character
        // device or FIFO at the path (or where a link there leads) cannot be replaced and
        // is written in place.
        replace_private,
    };
    // Throws file_error when the file cannot be opened or made.
    file_writer(std::string_view path, mode how);
    // Closes the file; a replacement not finished is removed, the old file staying.
    ~file_writer();
    file_writer(const file_writer&) = delete;
    file_writer& operator=(const file_writer&) = delete;

    // Writes bytes with one write to the system (appended whole at the end for every
    // writer of the file); a short write is completed with more. False when any byte was
    // not written: the failure is counted and the first one kept.
    bool write(std::string_view bytes) noexcept;
    unsigned long failed_writes() const noexcept { return failed_writes_; }
    // The system's words for the first failed write ("" when none failed).
    std::string failure() const;
    // Closes the file (a replacement flushed first, then renamed over the path). Throws
    // file_error naming the path and the reason when a write failed or closing fails.
    void finish();

private:
    std::intptr_t handle_;
    std::string path_;
    std::string temporary_;  // renamed over path_ by finish(); empty when written in place
    unsigned long failed_writes_ = 0;
    unsigned long first_error_ = 0;  // the system's code; 0 for a write cut short without one
};

// Writes bytes to the process's standard error with one write, unbuffered, so that a line
// from here and lines from other writers never interleave within a line. False on failure.
bool write_to_standard_error(std::string_view bytes) noexcept;

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
