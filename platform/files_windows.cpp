// Files and the clock on Windows: UTF-16 paths, binary mode throughout.
#include <platform/files.h>

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <sddl.h>

#include <oa/text.h>

#include <climits>
#include <new>
#include <utility>

namespace platform {

namespace {

using oa::utf8_to_wide;

std::string system_message(DWORD error) {
    wchar_t* text = nullptr;
    const DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                       FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::string message = n ? oa::wide_to_utf8(std::wstring_view(text, n)) : "error " + std::to_string(error);
    LocalFree(text);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == ' '))
        message.pop_back();
    return message;
}

file_fault fault_of(DWORD error) noexcept {
    switch (error) {
    case ERROR_FILE_NOT_FOUND: return file_fault::not_found;
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_NETPATH: return file_fault::path_not_found;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION: return file_fault::access_denied;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY: return file_fault::no_memory;
    default: return file_fault::io_error;
    }
}

[[noreturn]] void fail(DWORD error, std::string_view path) {
    throw file_error(fault_of(error), std::string(path) + ": " + system_message(error));
}

class handle {
public:
    explicit handle(HANDLE h) noexcept : h_(h) {}
    ~handle() {
        if (valid()) CloseHandle(h_);
    }
    handle(const handle&) = delete;
    handle& operator=(const handle&) = delete;
    HANDLE get() const noexcept { return h_; }
    bool valid() const noexcept { return h_ != INVALID_HANDLE_VALUE && h_ != nullptr; }
    bool close() noexcept { return CloseHandle(std::exchange(h_, INVALID_HANDLE_VALUE)) != 0; }
    HANDLE release() noexcept { return std::exchange(h_, INVALID_HANDLE_VALUE); }

private:
    HANDLE h_;
};

bool write_all(HANDLE h, std::string_view bytes) noexcept {
    while (!bytes.empty()) {
        const DWORD chunk = bytes.size() > 0x40000000u ? 0x40000000u : static_cast<DWORD>(bytes.size());
        DWORD written = 0;
        if (!WriteFile(h, bytes.data(), chunk, &written, nullptr) || written == 0) return false;
        bytes.remove_prefix(written);
    }
    return true;
}

// A regular file on disk, not a link or reparse point, a device, a pipe or a folder.
bool is_plain_disk_file(HANDLE h) noexcept {
    if (GetFileType(h) != FILE_TYPE_DISK) return false;
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(h, &info)) return false;
    return !(info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT));
}

std::string folder_of(std::string_view path) {
    const auto sep = path.find_last_of("\\/");
    if (sep == std::string_view::npos) return ".";
    if (sep == 0 || (sep == 2 && path.size() > 1 && path[1] == ':')) return std::string(path.substr(0, sep + 1));
    return std::string(path.substr(0, sep));
}

}  // namespace

std::string read_regular_file(std::string_view path, std::size_t limit) {
    const std::wstring name = utf8_to_wide(path);
    handle file(CreateFileW(name.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) {
        const DWORD error = GetLastError();
        // A folder opens only with backup semantics; without them it reads as access denied.
        const DWORD attributes = GetFileAttributesW(name.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
            throw file_error(file_fault::not_regular_file, std::string(path) + ": not a regular file");
        fail(error, path);
    }
    if (GetFileType(file.get()) != FILE_TYPE_DISK)
        throw file_error(file_fault::not_regular_file, std::string(path) + ": not a regular file");
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.get(), &size)) fail(GetLastError(), path);
    if (static_cast<std::uint64_t>(size.QuadPart) > limit)
        throw file_error(file_fault::too_large, std::string(path) + ": larger than " + std::to_string(limit) + " bytes");
    std::string bytes;
    bytes.reserve(static_cast<std::size_t>(size.QuadPart));
    char chunk[65536];
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(file.get(), chunk, sizeof chunk, &got, nullptr)) fail(GetLastError(), path);
        if (got == 0) break;
        if (bytes.size() + got > limit)
            throw file_error(file_fault::too_large,
                             std::string(path) + ": larger than " + std::to_string(limit) + " bytes");
        bytes.append(chunk, got);
    }
    return bytes;
}

bool append_without_following(std::string_view path, std::string_view bytes) noexcept {
    try {
        const std::wstring name = utf8_to_wide(path);
        // Opens a link or reparse point itself rather than its target, and then refuses it.
        handle file(CreateFileW(name.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
        if (!file.valid() || !is_plain_disk_file(file.get())) return false;
        return write_all(file.get(), bytes);
    } catch (...) {
        return false;
    }
}

bool write_to_standard_error(std::string_view bytes) noexcept {
    return write_all(GetStdHandle(STD_ERROR_HANDLE), bytes);
}

namespace {
// The security identifier of the process's user, as text ("" when it cannot be read).
std::wstring user_sid() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return {};
    handle token_owner(token);
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::string buffer(size, '\0');
    wchar_t* text = nullptr;
    if (size == 0 || !GetTokenInformation(token, TokenUser, buffer.data(), size, &size) ||
        !ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid, &text))
        return {};
    std::wstring sid(text);
    LocalFree(text);
    return sid;
}
}  // namespace

file_writer::file_writer(std::string_view path, mode how) : handle_(-1), path_(path) {
    const std::wstring name = utf8_to_wide(path);
    if (how == mode::append) {
        handle file(CreateFileW(name.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file.valid()) fail(GetLastError(), path);
        // Pipes and devices could block a write without end: a journal is a file on disk.
        if (GetFileType(file.get()) != FILE_TYPE_DISK)
            throw file_error(file_fault::not_regular_file, path_ + ": not a regular file");
        handle_ = reinterpret_cast<std::intptr_t>(file.release());
        return;
    }
    {
        // A device or pipe at the path cannot be replaced: it is written in place.
        handle existing(CreateFileW(name.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (existing.valid() && GetFileType(existing.get()) != FILE_TYPE_DISK) {
            handle_ = reinterpret_cast<std::intptr_t>(existing.release());
            return;
        }
    }
    // Read, write and delete (for the rename) for the user only, not inherited from the
    // folder. The user's own identifier rather than the owner-rights one, which Wine
    // cannot map to the file's mode (it gave mode 000; this gives 0640).
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    const std::wstring user = user_sid();
    if (user.empty() || !ConvertStringSecurityDescriptorToSecurityDescriptorW((L"D:P(A;;FRFWSD;;;" + user + L")").c_str(),
                                                                             SDDL_REVISION_1, &descriptor, nullptr))
        fail(GetLastError(), path);
    struct free_descriptor {
        PSECURITY_DESCRIPTOR d;
        ~free_descriptor() { LocalFree(d); }
    } descriptor_owner{descriptor};
    SECURITY_ATTRIBUTES security{sizeof(SECURITY_ATTRIBUTES), descriptor, FALSE};
    std::wstring temporary;
    HANDLE created = INVALID_HANDLE_VALUE;
    for (unsigned attempt = 0; created == INVALID_HANDLE_VALUE; ++attempt) {
        temporary = name + L"." + std::to_wstring(GetCurrentProcessId()) + L"." + std::to_wstring(attempt) + L".tmp";
        created = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, &security, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                              nullptr);
        if (created == INVALID_HANDLE_VALUE && (GetLastError() != ERROR_FILE_EXISTS || attempt > 100))
            fail(GetLastError(), path);
    }
    handle file(created);
    temporary_ = oa::wide_to_utf8(temporary);
    handle_ = reinterpret_cast<std::intptr_t>(file.release());
}

file_writer::~file_writer() {
    if (handle_ != -1) CloseHandle(reinterpret_cast<HANDLE>(handle_));
    try {
        if (!temporary_.empty()) DeleteFileW(utf8_to_wide(temporary_).c_str());
    } catch (...) {  // no memory to convert the name: the temporary file stays
    }
}

bool file_writer::write(std::string_view bytes) noexcept {
    // FILE_APPEND_DATA alone: every write lands whole at the end of the file. The rest of a
    // short write follows; when it cannot be written, the write failed.
    const HANDLE h = reinterpret_cast<HANDLE>(handle_);
    while (!bytes.empty()) {
        const DWORD chunk = bytes.size() > 0x40000000u ? 0x40000000u : static_cast<DWORD>(bytes.size());
        DWORD written = 0;
        const BOOL ok = WriteFile(h, bytes.data(), chunk, &written, nullptr);
        if (!ok || written == 0) {
            if (failed_writes_++ == 0) first_error_ = ok ? 0 : GetLastError();
            return false;
        }
        bytes.remove_prefix(written);
    }
    return true;
}

std::string file_writer::failure() const {
    if (failed_writes_ == 0) return {};
    return first_error_ ? system_message(static_cast<DWORD>(first_error_)) : "a write stopped short";
}

void file_writer::finish() {
    handle file(reinterpret_cast<HANDLE>(std::exchange(handle_, -1)));
    if (!file.valid()) return;
    if (failed_writes_ > 0)
        throw file_error(first_error_ ? fault_of(static_cast<DWORD>(first_error_)) : file_fault::io_error,
                         path_ + ": " + failure());
    if (!temporary_.empty() && !FlushFileBuffers(file.get())) fail(GetLastError(), path_);
    if (!file.close()) fail(GetLastError(), path_);
    if (temporary_.empty()) return;
    if (!MoveFileExW(utf8_to_wide(temporary_).c_str(), utf8_to_wide(path_).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        fail(GetLastError(), path_);
    temporary_.clear();
}

bool folder_of_path_exists(std::string_view path, std::string& why) {
    const std::string folder = folder_of(path);
    const DWORD attributes = GetFileAttributesW(utf8_to_wide(folder).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        why = folder + ": " + system_message(GetLastError());
        return false;
    }
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        why = folder + ": not a folder";
        return false;
    }
    return true;
}

std::string local_date_time() {
    wchar_t date[128] = {}, time[128] = {};
    const int d = GetDateFormatW(LOCALE_USER_DEFAULT, DATE_SHORTDATE, nullptr, nullptr, date, 128);
    const int t = GetTimeFormatW(LOCALE_USER_DEFAULT, 0, nullptr, nullptr, time, 128);
    return oa::wide_to_utf8(std::wstring_view(date, d > 0 ? d - 1 : 0)) + " " +
           oa::wide_to_utf8(std::wstring_view(time, t > 0 ? t - 1 : 0));
}

const char* diagnostic_log_path() noexcept { return "C:\\temp\\quellar2mrapilog.txt"; }

std::u16string decode_system_text(std::string_view bytes) {
    if (bytes.empty()) return {};
    if (bytes.size() > INT_MAX) throw std::bad_alloc();
    const int size = static_cast<int>(bytes.size());
    const int n = MultiByteToWideChar(CP_ACP, 0, bytes.data(), size, nullptr, 0);
    std::u16string text(static_cast<std::size_t>(n), u'\0');
    MultiByteToWideChar(CP_ACP, 0, bytes.data(), size, reinterpret_cast<wchar_t*>(text.data()), n);
    return text;
}

}  // namespace platform
