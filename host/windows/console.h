// The host's output: UTF-8 bytes to the standard handles, each text with one write and
// lines ending in LF alone, so that the output reads the same as the Lua host's.
#pragma once

#include <string_view>

namespace q2mrhost::windows {

enum class standard { output, error };

// False when the handle is missing or the write failed.
bool write_bytes(standard to, std::string_view utf8) noexcept;
bool write_text(standard to, std::u16string_view text) noexcept;

}  // namespace q2mrhost::windows
