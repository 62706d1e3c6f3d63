// Small counting component objects shared by the runtime tests.
#pragma once

#include "oleauto.h"

#include <atomic>
#include <cstring>

namespace rt_test {

// Counts live instances so that tests can see releases happen.
inline std::atomic<int> g_live{0};

// An IDispatch whose default value (DISPID_VALUE, property get) is a stored variant.
class TestObject final : public IDispatch {
public:
    TestObject() { ++g_live; VariantInit(&value); }
    TestObject(const TestObject&) = delete;
    TestObject& operator=(const TestObject&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        if (riid == IID_IUnknown || (riid == IID_IDispatch && dispatchable)) {
            *ppv = static_cast<IDispatch*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG n = --refs;
        if (n == 0) delete this;
        return n;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* n) override { *n = 0; return S_OK; }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                                     EXCEPINFO*, UINT*) override {
        ++invokes;
        last_id = id;
        last_flags = flags;
        if (id != DISPID_VALUE || !(flags & DISPATCH_PROPERTYGET) || !params || params->cArgs) return DISP_E_MEMBERNOTFOUND;
        if (fail) return E_FAIL;
        if (!result) return E_INVALIDARG;
        return VariantCopy(result, &value);
    }

    std::atomic<ULONG> refs{1};
    VARIANT value;
    bool fail = false;
    bool dispatchable = true;
    int invokes = 0;
    DISPID last_id = -100;
    WORD last_flags = 0;

private:
    ~TestObject() {
        VariantClear(&value);
        --g_live;
    }
};

}  // namespace rt_test
