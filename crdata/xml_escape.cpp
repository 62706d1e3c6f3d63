#include <crdata/xml_escape.h>

#include <cstdint>
#include <cstring>
#include <new>

namespace quellar2mrapi::crdata {

namespace {

// Code units that each character adds when it becomes its entity. '<' and '>' are the
// only code units that give 0x3E once bit 1 is set.
constexpr bool is_angle(char16_t c) noexcept { return static_cast<char16_t>(c | 2) == u'>'; }
constexpr std::size_t unit_growth(char16_t c) noexcept { return c == u'&' ? 4 : is_angle(c) ? 3 : 0; }

// Fixed-size blocks with narrow counters let the compiler scan many code units at once.
constexpr std::size_t block = 64;
std::size_t block_growth(const char16_t* p) noexcept {
    std::uint16_t ampersands = 0, angles = 0;
    for (std::size_t k = 0; k < block; ++k) {
        ampersands += p[k] == u'&';
        angles += is_angle(p[k]);
    }
    return 4u * ampersands + 3u * angles;
}

std::size_t growth(std::u16string_view text) noexcept {
    std::size_t extra = 0, i = 0;
    for (; i + block <= text.size(); i += block) extra += block_growth(text.data() + i);
    for (; i < text.size(); ++i) extra += unit_growth(text[i]);
    return extra;
}

// Writes one code unit, or its entity, and returns the next free place.
char16_t* put_unit(char16_t* out, char16_t c) noexcept {
    switch (c) {
    case u'&':
        out[0] = u'&', out[1] = u'a', out[2] = u'm', out[3] = u'p', out[4] = u';';
        return out + 5;
    case u'<':
        out[0] = u'&', out[1] = u'l', out[2] = u't', out[3] = u';';
        return out + 4;
    case u'>':
        out[0] = u'&', out[1] = u'g', out[2] = u't', out[3] = u';';
        return out + 4;
    default:
        *out = c;
        return out + 1;
    }
}

// The same without branches, for blocks where the three characters lie at random places:
// always writes five code units, so at least five must be free.
struct entity_tail {
    char16_t units[4];
    std::size_t length;
};
constexpr entity_tail tails[] = {{{0, 0, 0, 0}, 1}, {{u'a', u'm', u'p', u';'}, 5}, {{u'l', u't', u';', 0}, 4},
                                 {{u'g', u't', u';', 0}, 4}};
char16_t* put_unit_unchecked(char16_t* out, char16_t c) noexcept {
    const std::size_t kind = c == u'&' ? 1 : c == u'<' ? 2 : c == u'>' ? 3 : 0;
    out[0] = kind ? u'&' : c;
    std::memcpy(out + 1, tails[kind].units, sizeof tails[kind].units);
    return out + tails[kind].length;
}

oa::unique_bstr allocate(const char16_t* text, std::size_t length) {
    if (length > 0x3FFFFFFF) throw std::bad_alloc();
    oa::unique_bstr b(SysAllocStringLen(oa::ole(text), static_cast<UINT>(length)));
    if (!b) throw std::bad_alloc();
    return b;
}

}  // namespace

oa::unique_bstr encode_xml(std::u16string_view text) {
    const std::size_t extra = growth(text);
    if (extra == 0) return allocate(text.data(), text.size());

    oa::unique_bstr encoded = allocate(nullptr, text.size() + extra);
    char16_t* out = oa::u16(encoded.get());
    char16_t* const end = out + text.size() + extra;
    std::size_t i = 0;
    for (; i + block <= text.size(); i += block) {
        const char16_t* p = text.data() + i;
        if (block_growth(p) == 0) {
            std::memcpy(out, p, block * sizeof(char16_t));
            out += block;
        } else {
            // A block grows at most fivefold; the space behind it takes the overshoot.
            if (static_cast<std::size_t>(end - out) >= 5 * block + 4)
                for (std::size_t k = 0; k < block; ++k) out = put_unit_unchecked(out, p[k]);
            else
                for (std::size_t k = 0; k < block; ++k) out = put_unit(out, p[k]);
        }
    }
    for (; i < text.size(); ++i) out = put_unit(out, text[i]);
    return encoded;
}

}  // namespace quellar2mrapi::crdata
