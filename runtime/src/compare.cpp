// VarBstrCmp: without a locale (0) code unit by code unit; with one, the standard runtime's
// linguistic order for ASCII and Latin-1: signs before digits before letters, letters by
// their base letter first, then accents, then case (lower before upper), and the hyphen,
// the apostrophe and control characters only where all else is equal. Other characters
// follow the letters in code order.
#include "internal.h"

#include <oa/ascii.h>

#include <string_view>
#include <utility>
#include <vector>

namespace {

// Signs in their order; the blanks come first.
constexpr std::u16string_view signs = u" \u00A0\t\n\v\f\r!\"#$%&()*,./:;?@[\\]^_`{|}~\u00A1\u00BF+<=>";

enum : std::uint16_t { kSigns = 0x100, kDigits = 0x200, kLetters = 0x300, kOthers = 0x400 };

// Accents in their order of weight (none first).
enum accent : std::uint8_t { none, acute, grave, circumflex, tilde, diaeresis, ring, cedilla, stroke };

struct letter {
    char base;          // 0: not a letter
    char second = 0;    // a second letter it sorts as (æ as "ae", ß as "ss")
    accent mark = none;
};

// Latin-1 letters from U+00C0, upper case (the lower case ones lie 0x20 above).
constexpr letter latin1[] = {
    {'a', 0, grave},  {'a', 0, acute}, {'a', 0, circumflex}, {'a', 0, tilde}, {'a', 0, diaeresis}, {'a', 0, ring},
    {'a', 'e'},       {'c', 0, cedilla}, {'e', 0, grave},    {'e', 0, acute}, {'e', 0, circumflex}, {'e', 0, diaeresis},
    {'i', 0, grave},  {'i', 0, acute}, {'i', 0, circumflex}, {'i', 0, diaeresis}, {'d', 0, stroke}, {'n', 0, tilde},
    {'o', 0, grave},  {'o', 0, acute}, {'o', 0, circumflex}, {'o', 0, tilde}, {'o', 0, diaeresis}, {0},
    {'o', 0, stroke}, {'u', 0, grave}, {'u', 0, acute},      {'u', 0, circumflex}, {'u', 0, diaeresis}, {'y', 0, acute},
    {'t', 'h'},       {'s', 's'},
};

struct sort_key {
    std::vector<std::uint16_t> primary;
    std::vector<std::uint8_t> accents, cases;
    std::vector<std::pair<std::size_t, std::uint16_t>> specials;  // position, weight
};

void add_letter(sort_key& k, char base, accent mark, bool upper) {
    k.primary.push_back(static_cast<std::uint16_t>(kLetters + (base - 'a')));
    k.accents.push_back(mark);
    k.cases.push_back(upper ? 1 : 0);
}

sort_key key_of(std::u16string_view s) {
    sort_key k;
    for (std::size_t i = 0; i < s.size(); ++i) {
        const char16_t c = s[i];
        if (c == 0) continue;  // no weight at all
        if (c < 0x20 && (c < 0x09 || c > 0x0D)) {
            k.specials.emplace_back(i, c);
        } else if (c == 0x7F) {
            k.specials.emplace_back(i, c);
        } else if (c == u'\'' || c == u'-') {  // after the control characters
            k.specials.emplace_back(i, static_cast<std::uint16_t>(0x100 + c));
        } else if (c >= u'0' && c <= u'9') {
            k.primary.push_back(static_cast<std::uint16_t>(kDigits + (c - u'0')));
            k.accents.push_back(none);
            k.cases.push_back(0);
        } else if ((c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z')) {
            add_letter(k, static_cast<char>(oa::ascii_lower(c)), none, c <= u'Z');
        } else if (c >= 0xC0 && c <= 0xFF && c != 0xD7 && c != 0xF7) {  // × and ÷ are no letters
            const bool upper = c < 0xDF;
            const letter l = c == 0xFF ? letter{'y', 0, diaeresis} : latin1[(c - 0xC0) & 0x1F];
            add_letter(k, l.base, l.mark, upper);
            if (l.second) add_letter(k, l.second, none, upper);
        } else if (const auto at = signs.find(c); at != std::u16string_view::npos) {
            k.primary.push_back(static_cast<std::uint16_t>(kSigns + at));
            k.accents.push_back(none);
            k.cases.push_back(0);
        } else {
            k.primary.push_back(static_cast<std::uint16_t>(kOthers + c));
            k.accents.push_back(none);
            k.cases.push_back(0);
        }
    }
    return k;
}

template <class T> int compare_level(const std::vector<T>& a, const std::vector<T>& b) {
    for (std::size_t i = 0; i < a.size() && i < b.size(); ++i)
        if (a[i] != b[i]) return a[i] < b[i] ? -1 : 1;
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

int compare_specials(const sort_key& a, const sort_key& b) {
    for (std::size_t i = 0; i < a.specials.size() && i < b.specials.size(); ++i) {
        const auto& [pa, wa] = a.specials[i];
        const auto& [pb, wb] = b.specials[i];
        if (pa != pb) return pa < pb ? 1 : -1;  // the earlier mark weighs more
        if (wa != wb) return wa < wb ? -1 : 1;
    }
    return a.specials.size() == b.specials.size() ? 0 : (a.specials.size() < b.specials.size() ? -1 : 1);
}

HRESULT result_of(int c) { return c < 0 ? VARCMP_LT : c > 0 ? VARCMP_GT : VARCMP_EQ; }

}  // namespace

STDAPI VarBstrCmp(BSTR bstrLeft, BSTR bstrRight, LCID lcid, ULONG dwFlags) {
    // A null text is the empty one.
    const std::u16string_view a = bstrLeft ? std::u16string_view(bstrLeft, SysStringLen(bstrLeft)) : std::u16string_view();
    const std::u16string_view b = bstrRight ? std::u16string_view(bstrRight, SysStringLen(bstrRight)) : std::u16string_view();
    if (lcid == 0) return result_of(a.compare(b));
    const sort_key ka = key_of(a), kb = key_of(b);
    int c = compare_level(ka.primary, kb.primary);
    if (!c) c = compare_level(ka.accents, kb.accents);
    if (!c && !(dwFlags & NORM_IGNORECASE)) c = compare_level(ka.cases, kb.cases);
    if (!c) c = compare_specials(ka, kb);
    return result_of(c);
}
