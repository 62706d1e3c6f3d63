#include <oa/late_bound.h>

#include <array>
#include <string>

namespace oa::late {

com_error failure_in(EXCEPINFO& exception) {
    if (exception.pfnDeferredFillIn) {
        exception.pfnDeferredFillIn(&exception);
        exception.pfnDeferredFillIn = nullptr;
    }
    const HRESULT code = exception.scode ? exception.scode : exception.wCode ? vb_hresult(exception.wCode) : E_FAIL;
    return com_error(code, std::u16string(view(exception.bstrDescription)));
}

com_error failure_of(HRESULT hr, EXCEPINFO& exception) {
    if (hr == DISP_E_EXCEPTION) return failure_in(exception);
    if (hr == DISP_E_UNKNOWNNAME || hr == DISP_E_MEMBERNOTFOUND)
        return com_error(vb_hresult(vb::no_such_member), std::u16string(vb_description(vb::no_such_member)));
    if (const int number = vb_number_for(hr); number != 0)
        return com_error(vb_hresult(number), std::u16string(vb_description(number)));
    return com_error(hr, take_error_description(hr));
}

std::u16string unreachable_description(std::u16string_view progid) {
    std::u16string text = std::u16string(vb_description(vb::cannot_create_object)) + u": " + std::u16string(progid);
    if (!registered_for_other_bitness(progid))
        return text + u" is not registered for any program on this machine. Install (or register) the library "
                      u"that provides it.";
    // The remedy is the component of the other bitness, in a program of that bitness.
    constexpr bool wide = sizeof(void*) == 8;
    const std::u16string mine = wide ? u"64" : u"32", other = wide ? u"32" : u"64";
    return text + u" is registered for " + other + u"-bit programs only, and this program is " + mine +
           u"-bit. Use the " + other + u"-bit quellar2mrapi from a " + other + u"-bit program (such as " +
           (wide ? u"C:\\Windows\\SysWOW64" : u"C:\\Windows\\System32") +
           u"\\cscript.exe): the quellar2mrapi x64 MSI installs it, into " +
           (wide ? u"Program Files (x86)." : u"Program Files.");
}

com_ptr<IClassFactory> class_object_of(std::u16string_view progid) {
    std::u16string name(progid);
    CLSID clsid{};
    if (FAILED(OaClassFromProgID(ole(name.c_str()), &clsid)))
        throw unreachable_class(vb_hresult(vb::cannot_create_object), unreachable_description(progid));
    com_ptr<IClassFactory> factory;
    const HRESULT hr = CoGetClassObject(clsid, CLSCTX_INPROC_SERVER, nullptr, iid_of<IClassFactory>(), factory.put_void());
    // The ProgID is seen here, its class is not: a ProgID that both views share.
    if (hr == REGDB_E_CLASSNOTREG) throw unreachable_class(hr, unreachable_description(progid));
    check(hr);
    return factory;
}

com_ptr<IDispatch> create_object(IClassFactory* factory) {
    com_ptr<IDispatch> object;
    check(factory->CreateInstance(nullptr, iid_of<IDispatch>(), object.put_void()));
    return object;
}

com_ptr<IDispatch> create_object(std::u16string_view progid) { return create_object(class_object_of(progid).get()); }

HRESULT find_id(IDispatch* object, std::u16string_view name, DISPID& id) noexcept {
    id = DISPID_UNKNOWN;
    if (!object) return E_POINTER;
    // GetIDsOfNames wants a terminated name: the usual short one goes in a buffer on the
    // stack, as a script engine hands over the name it parsed.
    std::array<char16_t, 64> buffer;
    std::u16string longer;
    char16_t* text = buffer.data();
    try {
        if (name.size() < buffer.size()) {
            name.copy(text, name.size());
            text[name.size()] = u'\0';
        } else {
            longer.assign(name);
            text = longer.data();
        }
    } catch (...) {
        return E_OUTOFMEMORY;
    }
    LPOLESTR names[] = {ole(text)};
    return object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
}

DISPID id_of(IDispatch* object, std::u16string_view name) {
    if (!object) raise_vb(vb::object_not_set);
    DISPID id = DISPID_UNKNOWN;
    if (FAILED(find_id(object, name, id))) raise_vb(vb::no_such_member);
    return id;
}

HRESULT invoke(IDispatch* object, DISPID id, WORD flags, VARIANT* args, UINT count, VARIANT* result,
               EXCEPINFO* exception, UINT* arg_err) noexcept {
    if (!object) return E_POINTER;
    DISPID put_id = DISPID_PROPERTYPUT;
    DISPPARAMS params{args, nullptr, count, 0};
    if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) {
        params.rgdispidNamedArgs = &put_id;
        params.cNamedArgs = 1;
    }
    return object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result, exception, arg_err);
}

void call(IDispatch* object, DISPID id, WORD flags, VARIANT* args, UINT count, VARIANT* result) {
    if (!object) raise_vb(vb::object_not_set);
    unique_excepinfo exception;
    UINT arg_err = 0;
    const HRESULT hr = invoke(object, id, flags, args, count, result, &exception, &arg_err);
    if (FAILED(hr)) throw failure_of(hr, exception);
}

LONG number_of(const VARIANT& value) {
    const VARIANT* v = &value;
    if (v->vt == (VT_BYREF | VT_VARIANT) && v->pvarVal) v = v->pvarVal;
    if (v->vt == VT_I4) return v->lVal;
    unique_variant number;
    const HRESULT hr = change_type(&number, v, 0, VT_I4);
    if (FAILED(hr)) {
        // Nothing has no number either: for the caller a type mismatch.
        const int failure = vb_number_for(hr == DISP_E_BADVARTYPE ? DISP_E_TYPEMISMATCH : hr);
        if (failure != 0) raise_vb(failure);
        raise(hr, u"");
    }
    return number.lVal;
}

unique_bstr text_of(const VARIANT& value) {
    // A script's variable passed on by reference: its value counts.
    const VARIANT* v = &value;
    if (v->vt == (VT_BYREF | VT_VARIANT) && v->pvarVal) v = v->pvarVal;
    if (v->vt == VT_NULL) raise_vb(vb::invalid_use_of_null);
    unique_variant text;
    HRESULT hr = change_type(&text, v, VARIANT_ALPHABOOL, VT_BSTR);
    // Nothing has no text: the runtime says DISP_E_BADVARTYPE, a script sees a type mismatch.
    if (hr == DISP_E_BADVARTYPE && v->vt == VT_DISPATCH) hr = DISP_E_TYPEMISMATCH;
    if (FAILED(hr)) {
        const int number = vb_number_for(hr);
        if (number != 0) raise_vb(number);
        raise(hr, u"");
    }
    if (text.vt != VT_BSTR) raise_vb(vb::type_mismatch);
    VARIANT taken = text.release();
    return unique_bstr(taken.bstrVal);
}

com_ptr<IDispatch> object_of(const VARIANT& value) {
    const VARIANT* v = &value;
    if (v->vt == (VT_BYREF | VT_VARIANT) && v->pvarVal) v = v->pvarVal;
    IUnknown* object = nullptr;
    switch (v->vt) {
    case VT_EMPTY: return nullptr;
    case VT_DISPATCH: object = v->pdispVal; break;
    case VT_UNKNOWN: object = v->punkVal; break;
    case VT_BYREF | VT_DISPATCH: object = v->ppdispVal ? *v->ppdispVal : nullptr; break;
    case VT_BYREF | VT_UNKNOWN: object = v->ppunkVal ? *v->ppunkVal : nullptr; break;
    default: raise_vb(vb::type_mismatch);
    }
    com_ptr<IDispatch> dispatch;
    if (object && FAILED(object->QueryInterface(iid_of<IDispatch>(), dispatch.put_void())))
        raise_vb(vb::type_mismatch);
    return dispatch;
}

}  // namespace oa::late
