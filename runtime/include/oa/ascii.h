// ASCII case: A-Z read as a-z and every other character as it is, the way member names,
// ProgIDs, host names and the like compare.
#pragma once

#include <cstddef>
#include <string_view>

namespace oa {

template <class Char> constexpr Char ascii_lower(Char c) noexcept {
    return c >= Char('A') && c <= Char('Z') ? static_cast<Char>(c - Char('A') + Char('a')) : c;
}

// The text with its ASCII letters in lower case (std::string, std::u16string).
template <class Text> Text ascii_lowered(Text text) {
    for (auto& c : text) c = ascii_lower(c);
    return text;
}

namespace detail {
template <class A, class B>
constexpr bool same_ascii_case(std::basic_string_view<A> a, std::basic_string_view<B> b) noexcept {
    if (a.size() != b.size()) return false;
    // Units compare by value: a char by its byte (texts of one byte are ASCII where they meet wider ones).
    const auto unit = [](auto c) {
        if constexpr (sizeof c == 1) return static_cast<char32_t>(static_cast<unsigned char>(c));
        else return static_cast<char32_t>(c);
    };
    for (std::size_t i = 0; i < a.size(); ++i)
        if (unit(ascii_lower(a[i])) != unit(ascii_lower(b[i]))) return false;
    return true;
}
}  // namespace detail

// Whether two texts are the same but for the case of ASCII letters.
constexpr bool same_ascii_case(std::u16string_view a, std::u16string_view b) noexcept { return detail::same_ascii_case(a, b); }
constexpr bool same_ascii_case(std::string_view a, std::string_view b) noexcept { return detail::same_ascii_case(a, b); }
constexpr bool same_ascii_case(std::u16string_view a, std::string_view ascii) noexcept {
    return detail::same_ascii_case(a, ascii);
}

}  // namespace oa
