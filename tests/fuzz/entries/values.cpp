#include "values.h"

#include <oa/text.h>

#include <cstring>

namespace q2mr_fuzz {

const std::vector<std::u16string>& dictionary() {
    static const std::vector<std::u16string> words = [] {
        std::vector<std::u16string> w = {
            u"", u"0", u"-1", u"1", u"32767", u"32768", u"-32768", u"-32769", u"2147483648", u"-2147483649",
            u"9223372036854775807", u"9223372036854775808", u"-9223372036854775809", u"18446744073709551616",
            u"1e308", u"1e309", u"-1e-400", u"2.5", u"-0.5", u" 12 ", u"1d2", u"&H10", u"0x10", u"1.", u".",
            u"+", u"e5", u"true", u"FALSE", u" True ", u"NaN", u"Infinity",
            // The emulated server's names, so that calls get past the first lookups.
            u"jane", u"s3cret", u"developer", u"joe", u"pw", u"admin", u"/db/alpha", u"/db/beta", u"localhost",
            u"tcp", u"udp", u"legacy", u"tests", u"reviewers", u"17", u"18", u"4711", u"4712", u"4713", u"crstatus",
            u"assigned", u"entered", u"resolved", u"problem_synopsis", u"problem_number", u"associated_cv",
            u"normal", u"editor", u"Quellar xml data", u"<attrs a=\"&amp;\"/>", u"a.txt", u"b.txt",
            u"missing.txt", u"&<>\"'", u"Unknown"};
        w.push_back(std::u16string(u"ab\0cd", 5));
        w.push_back(std::u16string(1, char16_t(0xD800)));
        w.push_back(std::u16string(u"x") + char16_t(0xDC00));
        w.push_back(std::u16string(1000, u'9'));
        w.push_back(std::u16string(4096, u'&'));
        return w;
    }();
    return words;
}

std::u16string decode_text(input& in) {
    switch (in.byte() % 4) {
    case 0:
    case 1: {
        const auto& words = dictionary();
        return words[in.u16() % words.size()];
    }
    case 2: {
        // Number-like: digits, signs, points, exponents and blanks.
        static constexpr char16_t chars[] = u"0123456789012345+-.eEdD \t";
        std::u16string s;
        const std::size_t n = in.byte() % 48;
        for (std::size_t i = 0; i < n; ++i) s.push_back(chars[in.byte() % (sizeof chars / sizeof chars[0] - 1)]);
        return s;
    }
    default: return in.units(64);
    }
}

namespace {

VARTYPE decode_array_type(input& in) {
    return in.pick<VARTYPE>({VT_UI1, VT_I2, VT_I4, VT_R8, VT_BSTR, VT_VARIANT, VT_DISPATCH, VT_BOOL, VT_UNKNOWN,
                             VT_I8, VT_ERROR});
}

// One element of a decoded array, put through SafeArrayPutElement.
void put_decoded_element(input& in, const std::vector<IDispatch*>& pool, SAFEARRAY* a, VARTYPE vt, LONG index,
                         int depth) {
    switch (vt) {
    case VT_BSTR: {
        oa::unique_bstr s = oa::make_bstr(decode_text(in));
        SafeArrayPutElement(a, &index, s.get());
        return;
    }
    case VT_DISPATCH:
    case VT_UNKNOWN: SafeArrayPutElement(a, &index, pool.empty() ? nullptr : pool[in.byte() % pool.size()]); return;
    case VT_VARIANT: {
        oa::unique_variant v;
        decode_value(in, pool, v, depth + 1);
        SafeArrayPutElement(a, &index, &v);
        return;
    }
    default: {
        std::uint64_t bits = in.u64();
        SafeArrayPutElement(a, &index, &bits);
        return;
    }
    }
}

}  // namespace

void decode_value(input& in, const std::vector<IDispatch*>& pool, VARIANT& out, int depth) {
    VariantClear(&out);
    out.llVal = 0;
    out.pRecInfo = nullptr;
    const std::uint8_t kind = in.byte() % 24;
    switch (kind) {
    case 0: out.vt = VT_EMPTY; return;
    case 1: out.vt = VT_NULL; return;
    case 2: out.vt = VT_I2, out.iVal = static_cast<SHORT>(in.pick<std::uint16_t>({0, 1, 0xFFFF, 0x7FFF, 0x8000, 500, 501, 32600, 32601}) ^ (in.flag() ? in.u16() : 0)); return;
    case 3: out.vt = VT_I4, out.lVal = static_cast<LONG>(in.u32()); return;
    case 4: {
        out.vt = VT_R4;
        std::uint32_t bits = in.u32();
        std::memcpy(&out.fltVal, &bits, sizeof bits);
        return;
    }
    case 5: {
        out.vt = VT_R8;
        if (in.flag()) {
            out.dblVal = in.pick<double>({0.5, 1.5, 2.5, -0.5, 32767.5, -32768.5, 2147483647.5, 1e300, -1e300, 0.0, -0.0,
                                          9.2233720368547758e18, 1.8446744073709552e19});
        } else {
            std::uint64_t bits = in.u64();
            std::memcpy(&out.dblVal, &bits, sizeof bits);
        }
        return;
    }
    case 6: out.vt = VT_CY, out.llVal = static_cast<LONGLONG>(in.u64()); return;
    case 7: {
        out.vt = VT_DATE;
        std::uint64_t bits = in.u64();
        std::memcpy(&out.date, &bits, sizeof bits);
        return;
    }
    case 8:
    case 9: out.vt = VT_BSTR, out.bstrVal = oa::make_bstr(decode_text(in)).release(); return;
    case 10:
        out.vt = VT_DISPATCH;
        out.pdispVal = pool.empty() ? nullptr : pool[in.byte() % pool.size()];
        if (out.pdispVal) out.pdispVal->AddRef();
        return;
    case 11: out.vt = VT_ERROR, out.scode = static_cast<SCODE>(in.u32()); return;
    case 12: out.vt = VT_BOOL, out.boolVal = in.pick<VARIANT_BOOL>({VARIANT_TRUE, VARIANT_FALSE, 1, 0x7FFF, static_cast<VARIANT_BOOL>(in.u16())}); return;
    case 13:
        out.vt = VT_UNKNOWN;
        out.punkVal = pool.empty() ? nullptr : pool[in.byte() % pool.size()];
        if (out.punkVal) out.punkVal->AddRef();
        return;
    case 14: out.vt = VT_I1, out.bVal = in.byte(); return;
    case 15: out.vt = VT_UI1, out.bVal = in.byte(); return;
    case 16: out.vt = VT_UI2, out.iVal = static_cast<SHORT>(in.u16()); return;
    case 17: out.vt = VT_UI4, out.lVal = static_cast<LONG>(in.u32()); return;
    case 18: out.vt = VT_I8, out.llVal = static_cast<LONGLONG>(in.u64()); return;
    case 19: out.vt = VT_UI8, out.llVal = static_cast<LONGLONG>(in.u64()); return;
    case 20: out.vt = in.flag() ? VT_INT : VT_UINT, out.lVal = static_cast<LONG>(in.u32()); return;
    case 21: {
        if (depth > 2) {
            out.vt = VT_EMPTY;
            return;
        }
        const VARTYPE vt = decode_array_type(in);
        const LONG lower = in.pick<LONG>({0, 1, -1, 0x7FFFFFF0, static_cast<LONG>(0x80000000)});
        const ULONG count = in.byte() % 6;
        oa::unique_safearray a(SafeArrayCreateVector(vt, lower, count));
        if (!a) {
            out.vt = VT_EMPTY;
            return;
        }
        for (ULONG k = 0; k < count; ++k) put_decoded_element(in, pool, a.get(), vt, lower + static_cast<LONG>(k), depth);
        out.vt = VT_ARRAY | vt;
        out.parray = a.release();
        return;
    }
    case 22: {
        // A type tag the runtime does not know, with no payload to own.
        VARTYPE vt = static_cast<VARTYPE>(in.u16() & ~VT_BYREF);
        if (vt & VT_ARRAY) vt = static_cast<VARTYPE>(VT_ARRAY | (vt & VT_TYPEMASK));
        out.vt = vt;
        return;
    }
    default: out.vt = VT_ARRAY | decode_array_type(in), out.parray = nullptr; return;
    }
}

VARTYPE decode_target_type(input& in) {
    return in.pick<VARTYPE>({VT_EMPTY, VT_NULL, VT_I2, VT_I4, VT_R4, VT_R8, VT_CY, VT_DATE, VT_BSTR, VT_DISPATCH,
                             VT_ERROR, VT_BOOL, VT_VARIANT, VT_UNKNOWN, VT_DECIMAL, VT_I1, VT_UI1, VT_UI2, VT_UI4,
                             VT_I8, VT_UI8, VT_INT, VT_UINT, VT_VOID, VT_HRESULT, VT_ARRAY | VT_UI1,
                             VT_BYREF | VT_I4, VT_BYREF | VT_VARIANT, 0x0FFF, static_cast<VARTYPE>(in.u16())});
}

}  // namespace q2mr_fuzz
