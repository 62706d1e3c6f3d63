// The probe on the standard runtime's dispatch: CreateStdDispatch over the probe's type
// library, embedded in the program.
#include "probe.h"

namespace conf {

namespace {

// The interface's own type information (not the dispatch view of the dual interface), which
// the standard dispatch calls through the vtable.
ITypeInfo* probe_type_info() {
    static oa::com_ptr<ITypeInfo> info = [] {
        oa::com_ptr<ITypeInfo> result;
        wchar_t path[MAX_PATH] = {};
        GetModuleFileNameW(nullptr, path, MAX_PATH);
        oa::com_ptr<ITypeLib> library;
        oa::com_ptr<ITypeInfo> dispatch_view;
        HREFTYPE href = 0;
        if (SUCCEEDED(LoadTypeLibEx(path, REGKIND_NONE, library.put())) &&
            SUCCEEDED(library->GetTypeInfoOfGuid(iid_of<IProbe>(), dispatch_view.put())) &&
            SUCCEEDED(dispatch_view->GetRefTypeOfImplType(static_cast<UINT>(-1), &href)))
            dispatch_view->GetRefTypeInfo(href, result.put());
        return result;
    }();
    return info.get();
}

class standard_base : public IProbe {
public:
    standard_base() {
        oa::com_ptr<IUnknown> unknown;
        if (ITypeInfo* info = probe_type_info())
            CreateStdDispatch(nullptr, static_cast<IProbe*>(this), info, unknown.put());
        if (unknown) unknown->QueryInterface(IID_IDispatch, std_.put_void());
    }
    virtual ~standard_base() = default;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (riid != IID_IUnknown && riid != IID_IDispatch && riid != iid_of<IProbe>()) return E_NOINTERFACE;
        *ppv = static_cast<IProbe*>(this);
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG n = --refs_;
        if (n == 0) delete this;
        return n;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* n) override { return std_->GetTypeInfoCount(n); }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID lcid, ITypeInfo** out) override {
        return std_->GetTypeInfo(index, lcid, out);
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) override {
        return std_->GetIDsOfNames(riid, names, count, lcid, ids);
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                                     EXCEPINFO* info, UINT* arg_err) override {
        return std_->Invoke(id, riid, lcid, flags, params, result, info, arg_err);
    }

private:
    ULONG refs_ = 1;
    oa::com_ptr<IDispatch> std_;
};

class probe final : public probe_members<standard_base> {};

}  // namespace

IDispatch* new_probe() { return new probe; }

}  // namespace conf
