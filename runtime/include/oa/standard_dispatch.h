// Windows only: IDispatch as the system's runtime serves it from a type library, for a
// dual interface whose vtable the type library describes. Names are found and calls made
// by the type information (DispGetIDsOfNames, DispInvoke), so every argument is checked
// and converted by the standard rules, and a member's failure arrives as
// DISP_E_EXCEPTION filled from its error information.
#pragma once

#include <oa/implements.h>

namespace oa {

// The type information of interface iid in the type library embedded in the module that
// holds address (its TYPELIB 1 resource).
HRESULT module_type_info(const void* address, REFIID iid, ITypeInfo** out) noexcept;

template <class Derived, class Dual, class... Others>
class standard_dispatch : public implements<Derived, Dual, Others...> {
public:
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        if (!count) return E_POINTER;
        *count = 1;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID, ITypeInfo** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (index != 0) return DISP_E_BADINDEX;
        ITypeInfo* info = type_info();
        if (!info) return TYPE_E_ELEMENTNOTFOUND;
        info->AddRef();
        *out = info;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
        if (riid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
        ITypeInfo* info = type_info();
        return info ? DispGetIDsOfNames(info, names, count, ids) : TYPE_E_ELEMENTNOTFOUND;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID riid, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                                     EXCEPINFO* excepinfo, UINT* arg_err) override {
        if (riid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
        ITypeInfo* info = type_info();
        if (!info) return TYPE_E_ELEMENTNOTFOUND;
        return DispInvoke(static_cast<Dual*>(static_cast<Derived*>(this)), info, id, flags, params, result, excepinfo,
                          arg_err);
    }

private:
    // Loaded once per interface and kept while the module is loaded.
    static ITypeInfo* type_info() noexcept {
        static const com_ptr<ITypeInfo> info = [] {
            com_ptr<ITypeInfo> loaded;
            module_type_info(reinterpret_cast<const void*>(&type_info), iid_of<Dual>(), loaded.put());
            return loaded;
        }();
        return info.get();
    }
};

}  // namespace oa
