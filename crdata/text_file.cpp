#include <crdata/text_file.h>

#include <oa/error.h>
#include <oa/text.h>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quellar2mrapi::crdata {

namespace {

constexpr int bad_file_name = 52;
constexpr int path_not_found = 76;

[[noreturn]] void raise_file_failure(int error) {
    switch (error) {
    case ENOENT: oa::raise_vb(oa::vb::file_not_found);
    case ENOTDIR: oa::raise(oa::vb_hresult(path_not_found), u"Path not found");
    case ENOMEM: oa::raise_vb(oa::vb::out_of_memory);
    default: oa::raise_vb(oa::vb::path_file_access_error);
    }
}

class open_file {
public:
    explicit open_file(const std::string& path) : fd_(::open(path.c_str(), O_RDONLY | O_CLOEXEC)) {
        if (fd_ < 0) raise_file_failure(errno);
    }
    ~open_file() { ::close(fd_); }
    open_file(const open_file&) = delete;
    open_file& operator=(const open_file&) = delete;
    int fd() const noexcept { return fd_; }

private:
    int fd_;
};

// Length of the well-formed UTF-8 sequence at the start of in, 0 when there is none.
std::size_t sequence_length(std::string_view in, char32_t& cp) noexcept {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(in[i]); };
    const unsigned char lead = byte(0);
    std::size_t n;
    if (lead < 0x80) { cp = lead; return 1; }
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

std::string read_file_bytes(std::u16string_view path) {
    if (path.find(u'\0') != std::u16string_view::npos)
        oa::raise(oa::vb_hresult(bad_file_name), u"Bad file name or number");
    open_file file(oa::utf16_to_utf8(path));
    struct stat info {};
    if (::fstat(file.fd(), &info) != 0) raise_file_failure(errno);
    if (S_ISDIR(info.st_mode)) raise_file_failure(EISDIR);
    std::string bytes;
    bytes.reserve(static_cast<std::size_t>(info.st_size));
    char chunk[65536];
    for (;;) {
        const ssize_t got = ::read(file.fd(), chunk, sizeof chunk);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) raise_file_failure(errno);
        if (got == 0) break;
        bytes.append(chunk, static_cast<std::size_t>(got));
    }
    return bytes;
}

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

}  // namespace quellar2mrapi::crdata
