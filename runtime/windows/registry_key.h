// An open registry key, closed by its owner.
#pragma once

#include <oa/unique.h>

namespace oa::win {

inline void close_key(HKEY key) noexcept { RegCloseKey(key); }
using unique_hkey = oa::unique_any<HKEY, &close_key>;

}  // namespace oa::win
