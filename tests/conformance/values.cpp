// Canonical texts of values, the input values of the cases, and the counted test objects.
#include "conformance.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <string>

namespace conf {

std::string hex(std::uint64_t v, int digits) {
    static const char d[] = "0123456789ABCDEF";
    std::string s(static_cast<std::size_t>(digits), '0');
    for (int k = digits - 1; k >= 0; --k, v >>= 4) s[static_cast<std::size_t>(k)] = d[v & 0xF];
    return s;
}

std::string quoted(std::u16string_view s) {
    std::string out = "\"";
    for (char16_t c : s) {
        switch (c) {
        case u'\t': out += "\\t"; break;
        case u'\n': out += "\\n"; break;
        case u'\r': out += "\\r"; break;
        case u'\\': out += "\\\\"; break;
        case u'"': out += "\\\""; break;
        default:
            if (c >= 0x20 && c < 0x7F) out += static_cast<char>(c);
            else out += "\\u" + hex(c, 4);
        }
    }
    return out + "\"";
}

std::string text_of(BSTR b) {
    if (!b) return "null";
    std::string s = quoted(oa::view(b));
    if (SysStringByteLen(b) & 1) s += "+" + hex(reinterpret_cast<const unsigned char*>(b)[SysStringByteLen(b) - 1], 2);
    return s;
}

std::string number_text(double d) {
    if (std::isnan(d)) return std::signbit(d) ? "-nan" : "nan";
    char buf[64];
    auto r = std::to_chars(buf, buf + sizeof buf, d);
    return std::string(buf, r.ptr);
}

namespace {

const char* base_name(VARTYPE base) {
    switch (base) {
    case VT_EMPTY: return "EMPTY";
    case VT_NULL: return "NULL";
    case VT_I2: return "I2";
    case VT_I4: return "I4";
    case VT_R4: return "R4";
    case VT_R8: return "R8";
    case VT_CY: return "CY";
    case VT_DATE: return "DATE";
    case VT_BSTR: return "BSTR";
    case VT_DISPATCH: return "DISPATCH";
    case VT_ERROR: return "ERROR";
    case VT_BOOL: return "BOOL";
    case VT_VARIANT: return "VARIANT";
    case VT_UNKNOWN: return "UNKNOWN";
    case VT_DECIMAL: return "DECIMAL";
    case VT_I1: return "I1";
    case VT_UI1: return "UI1";
    case VT_UI2: return "UI2";
    case VT_UI4: return "UI4";
    case VT_I8: return "I8";
    case VT_UI8: return "UI8";
    case VT_INT: return "INT";
    case VT_UINT: return "UINT";
    case VT_VOID: return "VOID";
    case VT_HRESULT: return "HRESULT";
    case VT_PTR: return "PTR";
    case VT_SAFEARRAY: return "SAFEARRAY";
    default: return nullptr;
    }
}

std::string int_text(VARTYPE base, const void* p) {
    std::int64_t lo;
    std::uint64_t hi;
    range_of(base, lo, hi);
    switch (base) {
    case VT_I1: return std::to_string(*static_cast<const signed char*>(p));
    case VT_UI1: return std::to_string(*static_cast<const unsigned char*>(p));
    case VT_I2: case VT_BOOL: return std::to_string(*static_cast<const std::int16_t*>(p));
    case VT_UI2: return std::to_string(*static_cast<const std::uint16_t*>(p));
    case VT_I4: case VT_INT: return std::to_string(*static_cast<const std::int32_t*>(p));
    case VT_UI4: case VT_UINT: return std::to_string(*static_cast<const std::uint32_t*>(p));
    case VT_I8: return std::to_string(*static_cast<const std::int64_t*>(p));
    case VT_UI8: return std::to_string(*static_cast<const std::uint64_t*>(p));
    case VT_ERROR: return "0x" + hex(*static_cast<const std::uint32_t*>(p), 8);
    default: return "?";
    }
}

// The text of one value of a base type stored at p.
std::string stored_text(VARTYPE base, const void* p) {
    switch (base) {
    case VT_EMPTY: case VT_NULL: return "";
    case VT_R4: return number_text(*static_cast<const float*>(p));
    case VT_R8: return number_text(*static_cast<const double*>(p));
    case VT_BSTR: return text_of(*static_cast<const BSTR*>(p));
    case VT_DISPATCH: case VT_UNKNOWN: return object_name(*static_cast<IUnknown* const*>(p));
    case VT_VARIANT: {
        const auto& v = *static_cast<const VARIANT*>(p);
        return vt_name(v.vt) + " " + value_text(v);
    }
    case VT_CY: case VT_DATE: case VT_DECIMAL: return "(" + hex(*static_cast<const std::uint64_t*>(p), 16) + ")";
    default: return int_text(base, p);
    }
}

std::string array_text(SAFEARRAY* psa) {
    if (!psa) return "null";
    VARTYPE vt = VT_EMPTY;
    const HRESULT vhr = SafeArrayGetVartype(psa, &vt);
    std::string s = "array(dims=" + std::to_string(SafeArrayGetDim(psa)) + " feat=" + hex(psa->fFeatures, 4) +
                    " size=" + std::to_string(psa->cbElements) + " locks=" + std::to_string(psa->cLocks) +
                    " vt=" + (SUCCEEDED(vhr) ? vt_name(vt) : "?");
    std::uint64_t count = 1;
    for (UINT d = 1; d <= SafeArrayGetDim(psa); ++d) {
        LONG lb = 0, ub = 0;
        SafeArrayGetLBound(psa, d, &lb);
        SafeArrayGetUBound(psa, d, &ub);
        s += " [" + std::to_string(lb) + ".." + std::to_string(ub) + "]";
        count *= static_cast<std::uint64_t>(static_cast<std::int64_t>(ub) - lb + 1);
    }
    s += ":";
    if (SUCCEEDED(vhr) && psa->pvData && count <= 16) {
        for (std::uint64_t k = 0; k < count; ++k)
            s += " " + stored_text(vt, static_cast<const char*>(psa->pvData) + k * psa->cbElements);
    }
    return s + ")";
}

}  // namespace

std::string vt_name(VARTYPE vt) {
    std::string s;
    if (vt & VT_BYREF) s += "BYREF|";
    if (vt & VT_ARRAY) s += "ARRAY|";
    const char* base = (vt & ~(VT_BYREF | VT_ARRAY | VT_TYPEMASK)) ? nullptr : base_name(vt & VT_TYPEMASK);
    return base ? s + base : "0x" + hex(vt, 4);
}

std::string value_text(const VARIANT& v) {
    if (v.vt & ~(VT_BYREF | VT_ARRAY | VT_TYPEMASK) || !base_name(v.vt & VT_TYPEMASK)) return "";
    const VARTYPE base = v.vt & VT_TYPEMASK;
    if (v.vt & VT_BYREF) {
        if (!v.byref) return "*null";
        if (v.vt & VT_ARRAY) return "*" + array_text(*v.pparray);
        if (base == VT_EMPTY || base == VT_NULL) return "*";
        return "*" + stored_text(base, v.byref);
    }
    if (v.vt & VT_ARRAY) return array_text(v.parray);
    return stored_text(base, &v.llVal);
}

answer of(HRESULT hr, const VARIANT& v) { return {hr, vt_name(v.vt), value_text(v)}; }
answer plain(HRESULT hr, std::string value) { return {hr, "-", std::move(value)}; }

void range_of(VARTYPE vt, std::int64_t& lo, std::uint64_t& hi) {
    switch (vt) {
    case VT_I1: lo = INT8_MIN; hi = INT8_MAX; break;
    case VT_UI1: lo = 0; hi = UINT8_MAX; break;
    case VT_I2: lo = INT16_MIN; hi = INT16_MAX; break;
    case VT_UI2: lo = 0; hi = UINT16_MAX; break;
    case VT_I4: case VT_INT: lo = INT32_MIN; hi = INT32_MAX; break;
    case VT_UI4: case VT_UINT: lo = 0; hi = UINT32_MAX; break;
    case VT_I8: lo = INT64_MIN; hi = INT64_MAX; break;
    default: lo = 0; hi = UINT64_MAX; break;
    }
}

// ---- input values -------------------------------------------------------------------

namespace {
val base(VARTYPE vt, std::int64_t i = 0, double d = 0) {
    val v;
    v.vt = vt;
    v.i = i;
    v.d = d;
    return v;
}
}  // namespace

val v_empty() { return {}; }
val v_null() { return base(VT_NULL); }
val v_int(VARTYPE vt, std::int64_t i) { return base(vt, i); }
val v_real(VARTYPE vt, double d) { return base(vt, 0, d); }
val v_bool(std::int64_t b) { return base(VT_BOOL, b); }
val v_error(std::int64_t code) { return base(VT_ERROR, code); }
val v_str(std::u16string s) {
    val v = base(VT_BSTR);
    v.s = std::move(s);
    return v;
}
val v_null_str() {
    val v = base(VT_BSTR);
    v.null_bstr = true;
    return v;
}
val v_object(VARTYPE vt, object_kind kind, const val* inner) {
    val v = base(vt);
    v.object = kind;
    if (inner) v.inner.push_back(*inner);
    return v;
}

std::string label(const val& x) {
    if (x.object != object_kind::none) {
        const char* kind = x.object == object_kind::dispatch_fail  ? "failing"
                           : x.object == object_kind::unknown_only ? "unknown-only"
                                                                   : "";
        std::string s = vt_name(x.vt) + "(" + kind;
        if (!x.inner.empty()) s += label(x.inner[0]);
        return s + ")";
    }
    if (x.vt == VT_DISPATCH || x.vt == VT_UNKNOWN) return vt_name(x.vt) + "(null)";
    oa::unique_variant v;
    make(x, v);
    const std::string text = value_text(v);
    return text.empty() ? vt_name(x.vt) : vt_name(x.vt) + "(" + text + ")";
}

void make(const val& x, VARIANT& v) {
    VariantInit(&v);
    v.llVal = 0;
    switch (x.vt) {
    case VT_I1: v.bVal = static_cast<BYTE>(x.i); break;
    case VT_UI1: v.bVal = static_cast<BYTE>(x.i); break;
    case VT_I2: case VT_UI2: case VT_BOOL: v.iVal = static_cast<SHORT>(x.i); break;
    case VT_I4: case VT_UI4: case VT_INT: case VT_UINT: case VT_ERROR: v.lVal = static_cast<LONG>(x.i); break;
    case VT_I8: case VT_UI8: v.llVal = x.i; break;
    case VT_R4: v.fltVal = static_cast<float>(x.d); break;
    case VT_R8: v.dblVal = x.d; break;
    case VT_BSTR:
        v.bstrVal = x.null_bstr ? nullptr : SysAllocStringLen(oa::ole(x.s.data()), static_cast<UINT>(x.s.size()));
        break;
    case VT_DISPATCH: case VT_UNKNOWN: {
        oa::unique_variant inner;
        if (!x.inner.empty()) make(x.inner[0], inner);
        switch (x.object) {
        case object_kind::none: v.punkVal = nullptr; break;
        case object_kind::unknown_only: v.punkVal = new_unknown_object(); break;
        default:
            v.pdispVal = new_value_object(inner, x.object == object_kind::dispatch_fail, true);
        }
        break;
    }
    default: break;
    }
    v.vt = x.vt;
}

// ---- test objects ---------------------------------------------------------------------

namespace {

struct log_state {
    std::string calls;
    long live = 0;
    long live_at_start = 0;  // a leak of one case does not show again in the next
    int made = 0;
    std::vector<std::pair<IUnknown*, std::string>> names;
};
log_state& logs() {
    static log_state s;
    return s;
}

class counted {
public:
    counted() {
        ++logs().live;
        name_ = "obj" + std::to_string(++logs().made);
    }
    virtual ~counted() { --logs().live; }
    std::string name_;
};

class value_object final : public IDispatch, counted {
public:
    value_object(const VARIANT& value, bool fail, bool dispatch) : fail_(fail), dispatch_(dispatch) {
        VariantCopy(&value_, const_cast<VARIANT*>(&value));  // the system header takes no const
        logs().names.emplace_back(static_cast<IUnknown*>(this), name_);
    }
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (riid == IID_IDispatch && dispatch_) *ppv = static_cast<IDispatch*>(this);
        else if (riid == IID_IUnknown) *ppv = static_cast<IUnknown*>(this);
        else return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG n = --refs_;
        if (n == 0) delete this;
        return n;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* n) override {
        *n = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params,
                                     VARIANT* result, EXCEPINFO* info, UINT* arg_err) override {
        logs().calls += " Invoke(" + std::to_string(id) + " " + (riid == IID_NULL ? "NULL" : "iid") + " lcid=" +
                        hex(lcid, 4) + " flags=" + std::to_string(flags) +
                        " args=" + (params ? std::to_string(params->cArgs) : "null") +
                        (result ? "" : " noresult") + (info ? " info" : "") + (arg_err ? " argerr" : "") + ")";
        if (id != DISPID_VALUE || !params || params->cArgs) return DISP_E_MEMBERNOTFOUND;
        if (fail_) return DISP_E_MEMBERNOTFOUND;
        if (!result) return E_INVALIDARG;
        return VariantCopy(result, &value_);
    }

private:
    ~value_object() override { VariantClear(&value_); }
    ULONG refs_ = 1;
    VARIANT value_{};
    bool fail_, dispatch_;
};

class unknown_object final : public IUnknown, counted {
public:
    unknown_object() { logs().names.emplace_back(static_cast<IUnknown*>(this), name_); }
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (riid != IID_IUnknown) {
            if (riid == IID_IDispatch) logs().calls += " QI(IDispatch)";
            return E_NOINTERFACE;
        }
        *ppv = static_cast<IUnknown*>(this);
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG n = --refs_;
        if (n == 0) delete this;
        return n;
    }

private:
    ULONG refs_ = 1;
};

}  // namespace

void object_log::reset() {
    logs().calls.clear();
    logs().made = 0;
    logs().names.clear();
    logs().live_at_start = logs().live;
}
std::string object_log::calls() { return logs().calls; }
long object_log::live() { return logs().live - logs().live_at_start; }

IDispatch* new_value_object(const VARIANT& value, bool fail, bool dispatch) {
    return new value_object(value, fail, dispatch);
}
IUnknown* new_unknown_object() { return new unknown_object; }

std::string object_name(IUnknown* p) {
    if (!p) return "null";
    for (const auto& [known, name] : logs().names)
        if (known == p) return name;
    return "?";
}

answer with_objects(answer a) {
    if (!logs().calls.empty()) a.value += " |" + logs().calls;
    if (object_log::live()) a.value += " | " + std::to_string(object_log::live()) + " alive";
    return a;
}

}  // namespace conf
