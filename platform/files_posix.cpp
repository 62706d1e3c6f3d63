// Files and the clock on POSIX systems.
#include <platform/files.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <new>
#include <utility>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

file_fault fault_of(int error) noexcept {
    switch (error) {
    case ENOENT: return file_fault::not_found;
    case ENOTDIR: return file_fault::path_not_found;
    case EACCES:
    case EPERM:
    case ELOOP: return file_fault::access_denied;
    case EISDIR: return file_fault::not_regular_file;
    case ENOMEM: return file_fault::no_memory;
    default: return file_fault::io_error;
    }
}

[[noreturn]] void fail(int error, std::string_view path) {
    throw file_error(fault_of(error), std::string(path) + ": " + std::strerror(error));
}

class descriptor {
public:
    explicit descriptor(int fd) noexcept : fd_(fd) {}
    ~descriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    descriptor(const descriptor&) = delete;
    descriptor& operator=(const descriptor&) = delete;
    int get() const noexcept { return fd_; }
    int release() noexcept {
        int fd = fd_;
        fd_ = -1;
        return fd;
    }

private:
    int fd_;
};

bool write_all(int fd, std::string_view bytes) noexcept {
    const char* p = bytes.data();
    std::size_t left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, left);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    return true;
}

std::string folder_of(std::string_view path) {
    const auto slash = path.rfind('/');
    if (slash == std::string_view::npos) return ".";
    if (slash == 0) return "/";
    return std::string(path.substr(0, slash));
}

// Length of the well-formed UTF-8 sequence at the start of in, 0 when there is none.
std::size_t sequence_length(std::string_view in, char32_t& cp) noexcept {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(in[i]); };
    const unsigned char lead = byte(0);
    std::size_t n;
    if (lead < 0x80) {
        cp = lead;
        return 1;
    }
    if (lead >= 0xC2 && lead <= 0xDF) { n = 2; cp = lead & 0x1F; }
    else if (lead >= 0xE0 && lead <= 0xEF) { n = 3; cp = lead & 0x0F; }
    else if (lead >= 0xF0 && lead <= 0xF4) { n = 4; cp = lead & 0x07; }
    else return 0;
    if (in.size() < n) return 0;
    for (std::size_t k = 1; k < n; ++k) {
        if ((byte(k) & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (byte(k) & 0x3F);
    }
    static constexpr char32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < smallest[n] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    return n;
}

}  // namespace

std::string read_regular_file(std::string_view path, std::size_t limit) {
    const std::string name(path);
    // O_NONBLOCK: opening a FIFO must not wait for a writer; the type check follows.
    descriptor file(::open(name.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (file.get() < 0) fail(errno, path);
    struct stat info {};
    if (::fstat(file.get(), &info) != 0) fail(errno, path);
    if (!S_ISREG(info.st_mode))
        throw file_error(file_fault::not_regular_file, name + ": not a regular file");
    if (static_cast<std::uint64_t>(info.st_size) > limit)
        throw file_error(file_fault::too_large, name + ": larger than " + std::to_string(limit) + " bytes");
    std::string bytes;
    bytes.reserve(static_cast<std::size_t>(info.st_size));
    char chunk[65536];
    for (;;) {
        const ssize_t got = ::read(file.get(), chunk, sizeof chunk);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) fail(errno, path);
        if (got == 0) break;
        if (bytes.size() + static_cast<std::size_t>(got) > limit)
            throw file_error(file_fault::too_large, name + ": larger than " + std::to_string(limit) + " bytes");
        bytes.append(chunk, static_cast<std::size_t>(got));
    }
    return bytes;
}

bool append_without_following(std::string_view path, std::string_view bytes) noexcept {
    try {
        const std::string name(path);
        descriptor file(::open(name.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY, 0644));
        if (file.get() < 0) return false;
        return write_all(file.get(), bytes);
    } catch (...) {
        return false;
    }
}

bool write_to_standard_error(std::string_view bytes) noexcept { return write_all(STDERR_FILENO, bytes); }

file_writer::file_writer(std::string_view path, mode how) : handle_(-1), path_(path) {
    // A character device or FIFO cannot be replaced by a rename: it takes the bytes in place.
    struct stat info {};
    const bool in_place = how == mode::append ||
                          (::stat(path_.c_str(), &info) == 0 && (S_ISCHR(info.st_mode) || S_ISFIFO(info.st_mode)));
    if (in_place) {
        // O_NONBLOCK: a FIFO without a reader fails (ENXIO) instead of blocking the open;
        // writes block as usual once it is cleared.
        const int append = how == mode::append ? O_APPEND | O_CREAT : 0;
        descriptor file(::open(path_.c_str(), O_WRONLY | append | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0644));
        if (file.get() < 0) fail(errno, path);
        const int flags = ::fcntl(file.get(), F_GETFL);
        if (flags < 0 || ::fcntl(file.get(), F_SETFL, flags & ~O_NONBLOCK) != 0) fail(errno, path);
        handle_ = file.release();
        return;
    }
    std::string temporary = path_ + ".XXXXXX";
    descriptor file(::mkostemp(temporary.data(), O_CLOEXEC));
    if (file.get() < 0) fail(errno, path);
    if (::fchmod(file.get(), 0600) != 0) {  // whatever the umask made of it
        const int error = errno;
        ::unlink(temporary.c_str());
        fail(error, path);
    }
    temporary_ = std::move(temporary);
    handle_ = file.release();
}

file_writer::~file_writer() {
    if (handle_ >= 0) ::close(static_cast<int>(handle_));
    if (!temporary_.empty()) ::unlink(temporary_.c_str());
}

bool file_writer::write(std::string_view bytes) noexcept {
    const int fd = static_cast<int>(handle_);
    while (!bytes.empty()) {
        // The rest of a short write follows, so that a torn line does not glue itself to
        // the next one; when the rest cannot be written, the write failed.
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (failed_writes_++ == 0) first_error_ = n < 0 ? static_cast<unsigned long>(errno) : 0;
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

std::string file_writer::failure() const {
    if (failed_writes_ == 0) return {};
    return first_error_ ? std::strerror(static_cast<int>(first_error_)) : "a write stopped short";
}

void file_writer::finish() {
    descriptor file(static_cast<int>(std::exchange(handle_, -1)));
    if (file.get() < 0) return;
    if (failed_writes_ > 0)
        throw file_error(first_error_ ? fault_of(static_cast<int>(first_error_)) : file_fault::io_error,
                         path_ + ": " + failure());
    if (!temporary_.empty() && ::fsync(file.get()) != 0) fail(errno, path_);
    if (::close(file.release()) != 0) fail(errno, path_);
    if (temporary_.empty()) return;
    if (::rename(temporary_.c_str(), path_.c_str()) != 0) fail(errno, path_);
    temporary_.clear();
}

bool folder_of_path_exists(std::string_view path, std::string& why) {
    const std::string folder = folder_of(path);
    struct stat info {};
    if (::stat(folder.c_str(), &info) != 0) {
        why = folder + ": " + std::strerror(errno);
        return false;
    }
    if (!S_ISDIR(info.st_mode)) {
        why = folder + ": not a folder";
        return false;
    }
    return true;
}

std::string local_date_time() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char buffer[128];
    const std::size_t n = std::strftime(buffer, sizeof buffer, "%x %X", &local);
    return std::string(buffer, n);
}

const char* diagnostic_log_path() noexcept { return "/tmp/quellar2mrapilog.txt"; }

std::u16string decode_system_text(std::string_view bytes) {
    std::u16string text;
    text.reserve(bytes.size());
    while (!bytes.empty()) {
        char32_t cp = 0;
        std::size_t n = sequence_length(bytes, cp);
        if (n == 0) {
            cp = 0xFFFD;
            n = 1;
        }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            text.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            text.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            text.push_back(static_cast<char16_t>(cp));
        }
        bytes.remove_prefix(n);
    }
    return text;
}

}  // namespace platform
