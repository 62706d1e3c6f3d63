// BSTR functions: allocation with and without text, byte lengths, reallocation (also from
// the old text itself), lengths of null strings.
#include "conformance.h"

namespace conf {

namespace {

std::string described(BSTR b) {
    return text_of(b) + " len=" + std::to_string(SysStringLen(b)) + " bytes=" + std::to_string(SysStringByteLen(b));
}

answer owned(BSTR b) {
    oa::unique_bstr owner(b);
    return plain(S_OK, described(b));
}

}  // namespace

void add_strings(cases& out) {
    const std::u16string texts[] = {u"", u"a", u"abc", std::u16string(u"a\0b", 3), u"\u00E9\u20AC"};
    out.push_back({"SysAllocString(null)", [] { return owned(SysAllocString(nullptr)); }});
    for (const auto& t : texts) {
        out.push_back({"SysAllocString " + quoted(t), [t] { return owned(SysAllocString(oa::ole(t.c_str()))); }});
        for (UINT n : {0u, 1u, 2u, 3u}) {
            if (n > t.size()) continue;
            out.push_back({"SysAllocStringLen " + quoted(t) + " " + std::to_string(n),
                           [t, n] { return owned(SysAllocStringLen(oa::ole(t.c_str()), n)); }});
            out.push_back({"SysAllocStringByteLen " + quoted(t) + " " + std::to_string(n), [t, n] {
                               return owned(SysAllocStringByteLen(reinterpret_cast<const char*>(t.c_str()), n));
                           }});
        }
    }
    for (UINT n : {0u, 1u, 3u}) {
        out.push_back({"SysAllocStringLen(null) " + std::to_string(n), [n] {
                           BSTR b = SysAllocStringLen(nullptr, n);
                           oa::unique_bstr owner(b);
                           return plain(b ? S_OK : E_FAIL, "len=" + std::to_string(SysStringLen(b)));
                       }});
        out.push_back({"SysAllocStringByteLen(null) " + std::to_string(n), [n] {
                           BSTR b = SysAllocStringByteLen(nullptr, n);
                           oa::unique_bstr owner(b);
                           return plain(b ? S_OK : E_FAIL, "bytes=" + std::to_string(SysStringByteLen(b)));
                       }});
    }
    out.push_back({"SysStringLen(null)", [] { return plain(S_OK, std::to_string(SysStringLen(nullptr))); }});
    out.push_back({"SysStringByteLen(null)", [] { return plain(S_OK, std::to_string(SysStringByteLen(nullptr))); }});
    out.push_back({"SysFreeString(null)", [] {
                       SysFreeString(nullptr);
                       return plain(S_OK, "");
                   }});

    // Comparing and joining: null as empty, case, order of letters, digits and signs,
    // lengths, embedded zeros, in two locales and without one.
    const std::u16string words[] = {u"", u"a", u"A", u"b", u"B", u"ab", u"aB", u"abc", u"a b", u"a-b", u"ab-",
                                    u"1", u"10", u"2", u"-", u" ", u"_", u"Z", u"z", u"\u00E9", u"e",
                                    std::u16string(u"a\0b", 3), std::u16string(u"a\0c", 3), u"co-op", u"coop",
                                    u"cop", u"a'b", u"--a", u"\u00E6", u"ae", u"\u00DF", u"ss", u"st", u"\u00E8",
                                    u"\u00C9t\u00E9", u"ete", u"a\u0001b", u"a\u007Fb", u"a\nb", u"a\rb"};
    const std::pair<LCID, ULONG> compares[] = {{0x0409, 0}, {0x0409, NORM_IGNORECASE}, {0x007F, 0}, {0, 0}};
    const std::size_t few = 21;  // the words that the other locales and the flag are tried with
    for (std::size_t i = 0; i < std::size(words); ++i)
        for (std::size_t j = 0; j < std::size(words); ++j)
            for (const auto& [lcid, flags] : compares) {
                if ((lcid != 0x0409 || flags) && (i >= few || j >= few)) continue;
                const std::u16string& left = words[i];
                const std::u16string& right = words[j];
                out.push_back({"VarBstrCmp " + quoted(left) + " " + quoted(right) + " lcid=" + hex(lcid, 4) +
                                   " flags=" + std::to_string(flags),
                               [left, right, lcid, flags] {
                                   oa::unique_bstr a(SysAllocStringLen(oa::ole(left.data()), static_cast<UINT>(left.size())));
                                   oa::unique_bstr b(SysAllocStringLen(oa::ole(right.data()), static_cast<UINT>(right.size())));
                                   return plain(VarBstrCmp(a.get(), b.get(), lcid, flags), "");
                               }});
            }
    // The order of the signs, digits and letters of ASCII and Latin-1, one against another.
    const std::u16string signs = u" !\"#$%&'()*+,-./09:;<=>?@AZ[\\]^_`az{|}~\u00A0\u00A1\u00BF\u00C0\u00C9\u00D6\u00DF\u00E0\u00E9\u00F6\u00FF\t";
    for (std::size_t i = 0; i < signs.size(); ++i)
        for (std::size_t j = i + 1; j < signs.size(); ++j) {
            const std::u16string left(1, signs[i]), right(1, signs[j]);
            out.push_back({"VarBstrCmp " + quoted(left) + " " + quoted(right), [left, right] {
                               oa::unique_bstr a(SysAllocStringLen(oa::ole(left.data()), 1));
                               oa::unique_bstr b(SysAllocStringLen(oa::ole(right.data()), 1));
                               return plain(VarBstrCmp(a.get(), b.get(), 0x0409, 0), "");
                           }});
        }
    for (const char16_t* other : {u"", u"a"})
        for (bool null_first : {true, false})
            out.push_back({std::string("VarBstrCmp null ") + (null_first ? "left" : "right") + " " + quoted(other), [other, null_first] {
                               oa::unique_bstr b(SysAllocString(oa::ole(other)));
                               const HRESULT hr = null_first ? VarBstrCmp(nullptr, b.get(), 0x0409, 0) : VarBstrCmp(b.get(), nullptr, 0x0409, 0);
                               return plain(hr, "");
                           }});
    out.push_back({"VarBstrCmp null null", [] { return plain(VarBstrCmp(nullptr, nullptr, 0x0409, 0), ""); }});
    const std::u16string parts[] = {u"", u"ab", std::u16string(u"x\0y", 3)};
    for (bool null_left : {false, true})
        for (const auto& left : parts)
            for (const auto& right : parts) {
                if (null_left && !left.empty()) continue;
                out.push_back({"VarBstrCat " + (null_left ? std::string("null") : quoted(left)) + " " + quoted(right),
                               [left, right, null_left] {
                                   oa::unique_bstr a(null_left ? nullptr : SysAllocStringLen(oa::ole(left.data()), static_cast<UINT>(left.size())));
                                   oa::unique_bstr b(SysAllocStringLen(oa::ole(right.data()), static_cast<UINT>(right.size())));
                                   BSTR joined = nullptr;
                                   const HRESULT hr = VarBstrCat(a.get(), b.get(), &joined);
                                   oa::unique_bstr owner(joined);
                                   return plain(hr, described(joined));
                               }});
            }
    out.push_back({"VarBstrCat odd byte counts", [] {
                       oa::unique_bstr a(SysAllocStringByteLen("abc", 3)), b(SysAllocStringByteLen("de", 2));
                       BSTR joined = nullptr;
                       const HRESULT hr = VarBstrCat(a.get(), b.get(), &joined);
                       oa::unique_bstr owner(joined);
                       return plain(hr, described(joined));
                   }});

    // Reallocation: from null, to null, growing, shrinking, from inside the old text.
    struct realloc_case {
        const char* name;
        const char16_t* start;  // null: the string starts null
        int from;               // -1: the new text is null; otherwise an offset into the old text
        UINT count;             // for SysReAllocStringLen
    };
    const realloc_case reallocs[] = {
        {"null to text", nullptr, -2, 3},     {"text to null", u"abc", -1, 2},  {"own text", u"abc", 0, 3},
        {"shrink own text", u"abcdef", 0, 2}, {"other text", u"ab", -2, 4},     {"to empty", u"abc", -2, 0},
    };
    const char16_t* const other = u"WXYZ";
    for (const realloc_case& r : reallocs) {
        for (bool with_len : {false, true}) {
            out.push_back({std::string(with_len ? "SysReAllocStringLen " : "SysReAllocString ") + r.name, [r, with_len, other] {
                               BSTR b = r.start ? SysAllocString(oa::ole(r.start)) : nullptr;
                               const OLECHAR* text = r.from == -1 ? nullptr : r.from == -2 ? oa::ole(other) : b + r.from;
                               const INT ok = with_len ? SysReAllocStringLen(&b, text, r.count) : SysReAllocString(&b, text);
                               oa::unique_bstr owner(b);
                               return plain(S_OK, "returns " + std::to_string(ok) + " " + described(b));
                           }});
        }
    }
}

}  // namespace conf
