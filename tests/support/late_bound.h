// Late-bound calls as a script engine makes them: the name through GetIDsOfNames, the
// arguments in reverse order, by-reference variables as VT_BYREF|VT_VARIANT.
#pragma once

#include <oa/com_ptr.h>
#include <oa/late_bound.h>
#include <oa/text.h>
#include <oa/unique.h>
#include <oleauto.h>

#include <initializer_list>
#include <string>
#include <vector>

namespace q2mr_test {

// One Variant argument that owns its value.
struct var : oa::unique_variant {
    var() = default;
    var(int v) { vt = VT_I4, lVal = v; }
    var(SHORT v) { vt = VT_I2, iVal = v; }
    var(bool v) { vt = VT_BOOL, boolVal = v ? VARIANT_TRUE : VARIANT_FALSE; }
    var(double v) { vt = VT_R8, dblVal = v; }
    var(const char16_t* s) : var(std::u16string_view(s)) {}
    var(std::u16string_view s) { vt = VT_BSTR, bstrVal = oa::make_bstr(s).release(); }
    static var null() {
        var v;
        v.vt = VT_NULL;
        return v;
    }
    static var object(IDispatch* d) {
        var v;
        v.vt = VT_DISPATCH;
        v.pdispVal = d;
        if (d) d->AddRef();
        return v;
    }
    var(var&&) = default;
    var& operator=(var&&) = default;
    std::u16string str() const { return vt == VT_BSTR ? std::u16string(oa::view(bstrVal)) : std::u16string(); }
};

// A script variable passed by reference: the callee may change what it holds.
struct by_ref {
    var value;
    explicit by_ref(var v) : value(std::move(v)) {}
    VARIANT arg() {
        VARIANT a;
        a.vt = VT_BYREF | VT_VARIANT;
        a.pvarVal = &value;
        return a;
    }
};

struct call_outcome {
    HRESULT hr = E_FAIL;
    var result;
    oa::unique_excepinfo exception;
    UINT arg_err = ~0u;

    // The failure number a script would see: EXCEPINFO's scode for DISP_E_EXCEPTION.
    HRESULT code() const { return hr == DISP_E_EXCEPTION ? exception.scode : hr; }
    std::u16string description() const { return std::u16string(oa::view(exception.bstrDescription)); }
};

inline DISPID id_of(IDispatch* object, std::u16string_view name) {
    DISPID id = DISPID_UNKNOWN;
    oa::late::find_id(object, name, id);
    return id;
}

// Arguments in the script's order; each a by-value Variant or a by_ref variable.
struct arg {
    VARIANT v;
    arg(var& value) : v(value) {}  // shallow: the caller keeps ownership
    arg(by_ref& ref) : v(ref.arg()) {}
};

inline call_outcome invoke_id(IDispatch* object, DISPID id, WORD flags, std::vector<VARIANT> args) {
    call_outcome out;
    std::vector<VARIANT> reversed(args.rbegin(), args.rend());
    out.hr = oa::late::invoke(object, id, flags, reversed.data(), static_cast<UINT>(reversed.size()), &out.result,
                              &out.exception, &out.arg_err);
    return out;
}

inline call_outcome invoke(IDispatch* object, std::u16string_view name, WORD flags, std::initializer_list<arg> args) {
    std::vector<VARIANT> plain;
    for (const arg& a : args) plain.push_back(a.v);
    return invoke_id(object, id_of(object, name), flags, std::move(plain));
}

inline call_outcome call_method(IDispatch* object, std::u16string_view name, std::initializer_list<arg> args = {}) {
    return invoke(object, name, DISPATCH_METHOD, args);
}
inline call_outcome get_property(IDispatch* object, std::u16string_view name) {
    return invoke(object, name, DISPATCH_PROPERTYGET | DISPATCH_METHOD, {});
}
inline call_outcome put_property(IDispatch* object, std::u16string_view name, var value) {
    return invoke(object, name, DISPATCH_PROPERTYPUT, {arg(value)});
}

}  // namespace q2mr_test
