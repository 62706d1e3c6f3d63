// Texts: BSTR from UTF-16, and UTF-8 <-> UTF-16 for the edges of the system.
#pragma once

#include <oa/ascii.h>
#include <oa/unique.h>
#include <oleauto.h>

#include <new>
#include <optional>
#include <string>
#include <string_view>

namespace oa {

inline unique_bstr make_bstr(std::u16string_view text) {
    if (text.size() > 0x3FFFFFFF) throw std::bad_alloc();
    BSTR b = SysAllocStringLen(ole(text.data()), static_cast<UINT>(text.size()));
    if (!b) throw std::bad_alloc();
    return unique_bstr(b);
}

// Replaces the text that a by-reference string holds.
inline void assign(BSTR* slot, std::u16string_view text) {
    unique_bstr fresh = make_bstr(text);
    SysFreeString(*slot);  // the slot is the caller's owner; it hands us its old text
    *slot = fresh.release();
}

// Appends one code point (not a surrogate) as one or two UTF-16 units.
inline void append_code_point(std::u16string& out, char32_t cp) {
    if (cp >= 0x10000) {
        cp -= 0x10000;
        out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
        out.push_back(static_cast<char16_t>(cp));
    }
}

namespace detail {
// The UTF-8 sequence at in[i]: its code point and length, or length 0 when it is ill-formed
// (truncated: it runs past the end).
struct utf8_sequence {
    char32_t cp = 0;
    std::size_t length = 0;
    bool truncated = false;
};
inline utf8_sequence utf8_at(std::string_view in, std::size_t i) noexcept {
    const unsigned char c = static_cast<unsigned char>(in[i]);
    char32_t cp;
    std::size_t n;
    if (c < 0x80) { cp = c; n = 1; }
    else if ((c & 0xE0) == 0xC0) { cp = c & 0x1F; n = 2; }
    else if ((c & 0xF0) == 0xE0) { cp = c & 0x0F; n = 3; }
    else if ((c & 0xF8) == 0xF0) { cp = c & 0x07; n = 4; }
    else return {};
    if (i + n > in.size()) return {0, 0, true};
    for (std::size_t k = 1; k < n; ++k) {
        const unsigned char cc = static_cast<unsigned char>(in[i + k]);
        if ((cc & 0xC0) != 0x80) return {};
        cp = (cp << 6) | (cc & 0x3F);
    }
    static constexpr char32_t min_for_length[] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < min_for_length[n] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return {};
    return {cp, n, false};
}
}  // namespace detail

// UTF-8 to UTF-16; nullopt for a text that is not valid UTF-8.
inline std::optional<std::u16string> utf8_to_utf16(std::string_view in) {
    std::u16string out;
    out.reserve(in.size());
    for (std::size_t i = 0; i < in.size();) {
        const detail::utf8_sequence s = detail::utf8_at(in, i);
        if (!s.length) return std::nullopt;
        append_code_point(out, s.cp);
        i += s.length;
    }
    return out;
}

// The same for texts from files and the system, which are taken as they come: an
// ill-formed byte reads as U+FFFD, a sequence cut off at the end as one.
inline std::u16string utf8_to_utf16_lossy(std::string_view in) {
    std::u16string out;
    out.reserve(in.size());
    for (std::size_t i = 0; i < in.size();) {
        const detail::utf8_sequence s = detail::utf8_at(in, i);
        if (s.truncated) {
            out.push_back(u'\uFFFD');
            break;
        }
        if (s.length) append_code_point(out, s.cp);
        else out.push_back(u'\uFFFD');
        i += s.length ? s.length : 1;
    }
    return out;
}

// Appends one code point as UTF-8.
inline void append_utf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

// The code point that starts at text[i], advancing i past a surrogate pair; an unpaired
// surrogate reads as U+FFFD.
template <class UnitAt> char32_t code_point_at(UnitAt unit_at, std::size_t size, std::size_t& i) {
    const char32_t cp = unit_at(i);
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < size) {
        const char32_t low = unit_at(i + 1);
        if (low >= 0xDC00 && low <= 0xDFFF) {
            ++i;
            return 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
        }
    }
    return cp >= 0xD800 && cp <= 0xDFFF ? char32_t{0xFFFD} : cp;
}

// UTF-16 to UTF-8; an unpaired surrogate becomes U+FFFD.
inline std::string utf16_to_utf8(std::u16string_view in) {
    std::string out;
    out.reserve(in.size());
    const auto unit_at = [&](std::size_t k) { return static_cast<char32_t>(in[k]); };
    for (std::size_t i = 0; i < in.size(); ++i) append_utf8(out, code_point_at(unit_at, in.size(), i));
    return out;
}

inline std::u16string ascii_to_utf16(std::string_view s) { return std::u16string(s.begin(), s.end()); }

#ifdef _WIN32
// The system's wide texts (wchar_t, UTF-16) and UTF-8, as utf8_to_utf16_lossy and utf16_to_utf8.
inline std::wstring utf8_to_wide(std::string_view utf8) {
    const std::u16string text = utf8_to_utf16_lossy(utf8);
    return std::wstring(text.begin(), text.end());
}
inline std::string wide_to_utf8(std::wstring_view text) {
    return utf16_to_utf8(std::u16string_view(reinterpret_cast<const char16_t*>(text.data()), text.size()));
}
#endif

}  // namespace oa
