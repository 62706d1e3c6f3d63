#include <session/log_writer.h>

#include <oa/text.h>

#include <cerrno>
#include <ctime>
#include <fcntl.h>
#include <unistd.h>

namespace quellar2mrapi {

std::string log_timestamp() {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char buffer[128];
    std::size_t n = std::strftime(buffer, sizeof buffer, "%x %X", &local);
    return std::string(buffer, n);
}

void append_log_line(const char* path, std::u16string_view text) noexcept {
    try {
        std::string line = log_timestamp();
        line += "  ";
        line += oa::utf16_to_utf8(text);
        line += "\r\n";
        int fd = ::open(path, O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY, 0644);
        if (fd < 0) return;
        const char* p = line.data();
        std::size_t left = line.size();
        while (left > 0) {
            ssize_t n = ::write(fd, p, left);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;
            p += n;
            left -= static_cast<std::size_t>(n);
        }
        ::close(fd);
    } catch (...) {
        // No memory for the line: it is lost, as any other failure of the log.
    }
}

}  // namespace quellar2mrapi
