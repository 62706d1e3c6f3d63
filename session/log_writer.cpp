#include <session/log_writer.h>

#include <oa/text.h>
#include <platform/files.h>

namespace quellar2mrapi {

std::string log_timestamp() { return platform::local_date_time(); }

void append_log_line(const char* path, std::u16string_view text) noexcept {
    try {
        std::string line = log_timestamp();
        line += "  ";
        line += oa::utf16_to_utf8(text);
        line += "\r\n";
        platform::append_without_following(path, line);
    } catch (...) {
        // No memory for the line: it is lost, as any other failure of the log.
    }
}

}  // namespace quellar2mrapi
