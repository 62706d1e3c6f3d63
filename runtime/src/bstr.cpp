// BSTR: [4 bytes padding][4 bytes byte count][text][one zero code unit].
// The pointer addresses the text, which is therefore 8-aligned on 64-bit.
#include "internal.h"

#include <cstdlib>
#include <cstring>

namespace {

constexpr std::size_t kHeader = 8;
// The byte count has to fit the 32-bit prefix along with header and terminator.
constexpr std::uint64_t kMaxBytes = 0xFFFFFFFFull - kHeader - 4;

std::uint32_t& byte_count(BSTR b) { return *reinterpret_cast<std::uint32_t*>(reinterpret_cast<char*>(b) - 4); }
void* block_of(BSTR b) { return reinterpret_cast<char*>(b) - kHeader; }

// Allocates room for `bytes` bytes of text plus a zero terminator; the text is left to the caller.
BSTR alloc_bytes(std::uint64_t bytes) {
    if (bytes > kMaxBytes) return nullptr;
    // Round up so a terminator after an odd byte count is still a whole zero unit.
    const std::size_t total = kHeader + static_cast<std::size_t>(bytes) + 2 + (bytes & 1);
    auto* block = static_cast<char*>(std::malloc(total));
    if (!block) return nullptr;
    auto b = reinterpret_cast<BSTR>(block + kHeader);
    byte_count(b) = static_cast<std::uint32_t>(bytes);
    std::memset(block + kHeader + bytes, 0, 2 + (bytes & 1));
    return b;
}

}  // namespace

STDAPI_(BSTR) SysAllocString(const OLECHAR* psz) {
    if (!psz) return nullptr;
    return SysAllocStringLen(psz, static_cast<UINT>(std::char_traits<char16_t>::length(psz)));
}

STDAPI_(BSTR) SysAllocStringLen(const OLECHAR* pch, UINT cch) {
    BSTR b = alloc_bytes(static_cast<std::uint64_t>(cch) * 2);
    if (!b) return nullptr;
    if (pch)
        std::memcpy(b, pch, static_cast<std::size_t>(cch) * 2);
    else
        std::memset(b, 0, static_cast<std::size_t>(cch) * 2);
    return b;
}

STDAPI_(BSTR) SysAllocStringByteLen(const char* psz, UINT len) {
    BSTR b = alloc_bytes(len);
    if (!b) return nullptr;
    if (psz)
        std::memcpy(b, psz, len);
    else
        std::memset(b, 0, len);
    return b;
}

STDAPI_(INT) SysReAllocString(BSTR* pbstr, const OLECHAR* psz) {
    if (!pbstr) return FALSE;
    if (!psz) {
        SysFreeString(*pbstr);
        *pbstr = nullptr;
        return TRUE;
    }
    return SysReAllocStringLen(pbstr, psz, static_cast<UINT>(std::char_traits<char16_t>::length(psz)));
}

STDAPI_(INT) SysReAllocStringLen(BSTR* pbstr, const OLECHAR* psz, UINT cch) {
    if (!pbstr) return FALSE;
    BSTR old = *pbstr;
    BSTR b = alloc_bytes(static_cast<std::uint64_t>(cch) * 2);
    if (!b) return FALSE;
    // Without a new text the old one is kept, as far as it reaches.
    if (!psz && old) psz = old;
    std::size_t copy = psz ? cch : 0;
    if (psz && old) {
        // The source may lie inside the old string: copy only what it holds.
        const OLECHAR* begin = old;
        const OLECHAR* end = old + SysStringLen(old);
        if (psz >= begin && psz <= end) copy = std::min<std::size_t>(cch, static_cast<std::size_t>(end - psz));
    }
    if (copy) std::memcpy(b, psz, copy * 2);
    std::memset(b + copy, 0, (static_cast<std::size_t>(cch) - copy) * 2);
    SysFreeString(old);
    *pbstr = b;
    return TRUE;
}

STDAPI_(void) SysFreeString(BSTR bstr) {
    if (bstr) std::free(block_of(bstr));
}

STDAPI_(UINT) SysStringLen(BSTR bstr) { return bstr ? byte_count(bstr) / 2 : 0; }

STDAPI_(UINT) SysStringByteLen(BSTR bstr) { return bstr ? byte_count(bstr) : 0; }
