// Appends one dated line to the diagnostic log file.
#pragma once

#include <string>
#include <string_view>

namespace quellar2mrapi {

// Date in the system's short date format, one blank, time in the system's time format.
std::string log_timestamp();

// Opens, appends "DATE TIME  TEXT\r\n" and closes. Never fails towards its caller: any
// failure loses the line. A symbolic link at the path is not followed, since the log
// lies in a folder that other users can write.
void append_log_line(const char* path, std::u16string_view text) noexcept;

}  // namespace quellar2mrapi
