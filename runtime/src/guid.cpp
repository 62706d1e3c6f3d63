// GUID text form and CLSIDFromString / StringFromGUID2.
#include "internal.h"

using namespace oa_detail;

namespace {

template <class Ch> int hex_value(Ch c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

template <class Ch> void write_guid(const GUID& g, Ch* out) {
    static const char digits[] = "0123456789ABCDEF";
    int k = 0;
    auto put = [&](std::uint64_t v, int nibbles) {
        for (int i = nibbles - 1; i >= 0; --i) out[k++] = static_cast<Ch>(digits[(v >> (4 * i)) & 0xF]);
    };
    out[k++] = '{';
    put(g.Data1, 8);
    out[k++] = '-';
    put(g.Data2, 4);
    out[k++] = '-';
    put(g.Data3, 4);
    out[k++] = '-';
    put(g.Data4[0], 2);
    put(g.Data4[1], 2);
    out[k++] = '-';
    for (int i = 2; i < 8; ++i) put(g.Data4[i], 2);
    out[k++] = '}';
    out[k] = 0;
}

}  // namespace

namespace oa_detail {

template <class Ch> bool parse_guid_chars(const Ch* s, std::size_t n, GUID& g) {
    if (n != 38 || s[0] != '{' || s[37] != '}') return false;
    int pos = 1;
    auto take = [&](int nibbles, std::uint64_t& v) {
        v = 0;
        for (int i = 0; i < nibbles; ++i) {
            const int h = hex_value(s[pos++]);
            if (h < 0) return false;
            v = (v << 4) | static_cast<unsigned>(h);
        }
        return true;
    };
    auto dash = [&] { return s[pos++] == '-'; };
    std::uint64_t v;
    GUID r{};
    if (!take(8, v)) return false;
    r.Data1 = static_cast<std::uint32_t>(v);
    if (!dash() || !take(4, v)) return false;
    r.Data2 = static_cast<std::uint16_t>(v);
    if (!dash() || !take(4, v)) return false;
    r.Data3 = static_cast<std::uint16_t>(v);
    if (!dash()) return false;
    for (int i = 0; i < 8; ++i) {
        if (i == 2 && !dash()) return false;
        if (!take(2, v)) return false;
        r.Data4[i] = static_cast<std::uint8_t>(v);
    }
    g = r;
    return true;
}
template bool parse_guid_chars<char>(const char*, std::size_t, GUID&);
template bool parse_guid_chars<char16_t>(const char16_t*, std::size_t, GUID&);

std::string format_guid(const GUID& g) {
    char buf[39];
    write_guid(g, buf);
    return std::string(buf, 38);
}

bool parse_guid(std::string_view s, GUID& g) { return parse_guid_chars(s.data(), s.size(), g); }

}  // namespace oa_detail

STDAPI CLSIDFromString(LPCOLESTR lpsz, CLSID* pclsid) {
    if (!pclsid) return E_INVALIDARG;
    if (!lpsz) {
        *pclsid = GUID_NULL;
        return S_OK;
    }
    const std::size_t n = std::char_traits<char16_t>::length(lpsz);
    if (n && lpsz[0] == u'{') {
        if (parse_guid_chars(lpsz, n, *pclsid)) return S_OK;
        *pclsid = GUID_NULL;
        return CO_E_CLASSSTRING;
    }
    // Not in GUID form: the text may be a ProgID.
    return CLSIDFromProgID(lpsz, pclsid);
}

STDAPI_(int) StringFromGUID2(REFGUID rguid, LPOLESTR lpsz, int cchMax) {
    if (!lpsz || cchMax < 39) return 0;
    write_guid(rguid, lpsz);
    return 39;
}

STDAPI StringFromCLSID(REFCLSID rclsid, LPOLESTR* lplpsz) {
    if (!lplpsz) return E_INVALIDARG;
    OLECHAR text[39];
    write_guid(rclsid, text);
    *lplpsz = CoTaskMemAllocString(text);
    return *lplpsz ? S_OK : E_OUTOFMEMORY;
}

STDAPI StringFromIID(REFIID rclsid, LPOLESTR* lplpsz) { return StringFromCLSID(rclsid, lplpsz); }

STDAPI IIDFromString(LPCOLESTR lpsz, IID* lpiid) {
    if (!lpiid) return E_INVALIDARG;
    if (!lpsz) {
        *lpiid = GUID_NULL;
        return S_OK;
    }
    // Only the braced form: an IID has no ProgID to fall back on.
    if (parse_guid_chars(lpsz, std::char_traits<char16_t>::length(lpsz), *lpiid)) return S_OK;
    return E_INVALIDARG;
}
