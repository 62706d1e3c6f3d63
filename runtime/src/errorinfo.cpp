// Error info objects and the per-thread error slot.
#include "internal.h"

#include <oa/com_ptr.h>
#include <oa/unique.h>

#include <atomic>
#include <new>

using namespace oa_detail;

namespace {

class ErrorInfo final : public IErrorInfo, public ICreateErrorInfo {
public:
    // IUnknown, reached through either base.
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IErrorInfo) {
            *ppv = static_cast<IErrorInfo*>(this);
        } else if (riid == IID_ICreateErrorInfo) {
            *ppv = static_cast<ICreateErrorInfo*>(this);
        } else {
            *ppv = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG n = --refs_;
        if (n == 0) delete this;
        return n;
    }

    // IErrorInfo
    HRESULT STDMETHODCALLTYPE GetGUID(GUID* pGUID) override {
        if (!pGUID) return E_INVALIDARG;
        *pGUID = guid_;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetSource(BSTR* p) override { return copy_out(source_, p); }
    HRESULT STDMETHODCALLTYPE GetDescription(BSTR* p) override { return copy_out(description_, p); }
    HRESULT STDMETHODCALLTYPE GetHelpFile(BSTR* p) override { return copy_out(helpfile_, p); }
    HRESULT STDMETHODCALLTYPE GetHelpContext(DWORD* p) override {
        if (!p) return E_INVALIDARG;
        *p = context_;
        return S_OK;
    }

    // ICreateErrorInfo
    HRESULT STDMETHODCALLTYPE SetGUID(REFGUID rguid) override {
        guid_ = rguid;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetSource(LPOLESTR s) override { return copy_in(source_, s); }
    HRESULT STDMETHODCALLTYPE SetDescription(LPOLESTR s) override { return copy_in(description_, s); }
    HRESULT STDMETHODCALLTYPE SetHelpFile(LPOLESTR s) override { return copy_in(helpfile_, s); }
    HRESULT STDMETHODCALLTYPE SetHelpContext(DWORD c) override {
        context_ = c;
        return S_OK;
    }

private:
    ~ErrorInfo() = default;

    static HRESULT copy_out(const oa::unique_bstr& from, BSTR* to) {
        if (!to) return E_INVALIDARG;
        *to = nullptr;
        if (!from.get()) return S_OK;
        *to = SysAllocStringLen(from.get(), SysStringLen(from.get()));
        return *to ? S_OK : E_OUTOFMEMORY;
    }
    static HRESULT copy_in(oa::unique_bstr& to, LPOLESTR s) {
        BSTR b = nullptr;
        if (s && !(b = SysAllocString(s))) return E_OUTOFMEMORY;
        *to.put() = b;
        return S_OK;
    }

    std::atomic<ULONG> refs_{1};
    GUID guid_{};
    oa::unique_bstr source_, description_, helpfile_;
    DWORD context_ = 0;
};

// The slot is released when its thread ends.
thread_local oa::com_ptr<IErrorInfo> t_slot;

}  // namespace

namespace oa_detail {
void clear_thread_error_info() { t_slot.reset(); }
}  // namespace oa_detail

STDAPI CreateErrorInfo(ICreateErrorInfo** pperrinfo) {
    if (!pperrinfo) return E_INVALIDARG;
    auto* e = new (std::nothrow) ErrorInfo;
    *pperrinfo = e;
    return e ? S_OK : E_OUTOFMEMORY;
}

STDAPI SetErrorInfo(ULONG dwReserved, IErrorInfo* perrinfo) {
    if (dwReserved != 0) return E_INVALIDARG;
    t_slot = oa::make_ref(perrinfo);
    return S_OK;
}

STDAPI GetErrorInfo(ULONG dwReserved, IErrorInfo** pperrinfo) {
    if (dwReserved != 0 || !pperrinfo) return E_INVALIDARG;
    *pperrinfo = t_slot.detach();
    return *pperrinfo ? S_OK : S_FALSE;
}
