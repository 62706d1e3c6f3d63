// runtime_testlib: a minimal in-process server. Its objects answer 42 as their default
// value; DllCanUnloadNow says S_OK only when no object and no server lock remain.
#include "oleauto.h"
#include "testlib_ids.h"

#include <oa/registration.h>

#include <atomic>
#include <new>

#define TESTLIB_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

std::atomic<long> g_objects{0};
std::atomic<long> g_locks{0};

template <class Base> class Counted : public Base {
public:
    Counted() { ++g_objects; }
    virtual ~Counted() { --g_objects; }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG n = --refs_;
        if (n == 0) delete this;
        return n;
    }

private:
    std::atomic<ULONG> refs_{1};
};

class Counter final : public Counted<IDispatch> {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IDispatch) {
            *ppv = static_cast<IDispatch*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* n) override {
        *n = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return DISP_E_UNKNOWNNAME;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS*, VARIANT* result, EXCEPINFO*,
                                     UINT*) override {
        if (id != DISPID_VALUE || !(flags & DISPATCH_PROPERTYGET)) return DISP_E_MEMBERNOTFOUND;
        if (!result) return E_INVALIDARG;
        VariantClear(result);
        result->vt = VT_I4;
        result->lVal = rt_test::kTestDefaultValue;
        return S_OK;
    }
};

class Factory final : public Counted<IClassFactory> {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IClassFactory) {
            *ppv = static_cast<IClassFactory*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        auto* c = new (std::nothrow) Counter;
        if (!c) return E_OUTOFMEMORY;
        const HRESULT hr = c->QueryInterface(riid, ppv);
        c->Release();
        return hr;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
        lock ? ++g_locks : --g_locks;
        return S_OK;
    }
};

}  // namespace

TESTLIB_EXPORT HRESULT DllGetClassObject(REFCLSID clsid, REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (clsid != rt_test::CLSID_TestCounter) return CLASS_E_CLASSNOTAVAILABLE;
    auto* f = new (std::nothrow) Factory;
    if (!f) return E_OUTOFMEMORY;
    const HRESULT hr = f->QueryInterface(riid, ppv);
    f->Release();
    return hr;
}

TESTLIB_EXPORT HRESULT DllCanUnloadNow() { return g_objects == 0 && g_locks == 0 ? S_OK : S_FALSE; }

namespace {
const oa::reg::coclass_entry test_classes[] = {
    {rt_test::CLSID_TestCounter, "test counter", rt_test::kTestProgID, rt_test::kTestVIProgID}};
const oa::reg::library test_library{"runtime_testlib.dll", test_classes};
}  // namespace

TESTLIB_EXPORT HRESULT DllRegisterServer() {
    return oa::reg::register_server(test_library, reinterpret_cast<const void*>(&DllRegisterServer));
}

TESTLIB_EXPORT HRESULT DllUnregisterServer() { return oa::reg::unregister_server(test_library); }
