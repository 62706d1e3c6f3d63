// The dispatch probe: a dual interface (probe.idl) whose members note what they receive.
// On Linux the project's dispatcher serves it (probe_project.cpp), in the Windows build the
// standard runtime's dispatch over the type library (probe_standard.cpp).
#pragma once

#include "conformance.h"

#include <oa/text.h>

namespace conf {

struct IProbe : IDispatch {
    virtual HRESULT STDMETHODCALLTYPE Add(LONG a, SHORT b, LONG* result) = 0;
    virtual HRESULT STDMETHODCALLTYPE Join(BSTR a, BSTR b, BSTR* result) = 0;
    virtual HRESULT STDMETHODCALLTYPE Swap(SHORT* a, BSTR* b) = 0;
    virtual HRESULT STDMETHODCALLTYPE Describe(VARIANT* v, BSTR* result) = 0;
    virtual HRESULT STDMETHODCALLTYPE Fail(LONG code) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Count(LONG* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_Count(LONG value) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_Peer(IDispatch** value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Peer(IDispatch** value) = 0;
    virtual HRESULT STDMETHODCALLTYPE putref_Link(IDispatch* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Link(IDispatch** value) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_Flag(VARIANT_BOOL* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Flag(VARIANT_BOOL* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Value(BSTR* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE Nothing() = 0;
    virtual HRESULT STDMETHODCALLTYPE Bump(BYTE* b, LONG* c) = 0;
};

// What the probe's members received, in order.
std::string& probe_calls();

// A new probe, served by the runtime's dispatch.
IDispatch* new_probe();

// The members, over a base that supplies IUnknown and IDispatch.
template <class Base> class probe_members : public Base {
public:
    HRESULT STDMETHODCALLTYPE Add(LONG a, SHORT b, LONG* result) override {
        note("Add(" + std::to_string(a) + "," + std::to_string(b) + ")");
        *result = a + b;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Join(BSTR a, BSTR b, BSTR* result) override {
        note("Join(" + text_of(a) + "," + text_of(b) + ")");
        *result = oa::make_bstr(std::u16string(oa::view(a)) + std::u16string(oa::view(b))).release();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Swap(SHORT* a, BSTR* b) override {
        if (!a || !b) return null_pointer("Swap");
        note("Swap(" + std::to_string(*a) + "," + text_of(*b) + ")");
        ++*a;
        oa::assign(b, std::u16string(oa::view(*b)) + u"!");
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Describe(VARIANT* v, BSTR* result) override {
        if (!v) return null_pointer("Describe");
        const std::string seen = vt_name(v->vt) + " " + value_text(*v);
        note("Describe(" + seen + ")");
        *result = oa::make_bstr(std::u16string(seen.begin(), seen.end())).release();
        VariantClear(v);
        v->vt = VT_I4;
        v->lVal = 99;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Fail(LONG code) override {
        note("Fail(" + std::to_string(code) + ")");
        if (!code) {
            SetErrorInfo(0, nullptr);
            return E_FAIL;
        }
        oa::com_ptr<ICreateErrorInfo> create;
        CreateErrorInfo(create.put());
        create->SetSource(const_cast<LPOLESTR>(oa::ole(u"Probe")));
        create->SetDescription(const_cast<LPOLESTR>(oa::ole(u"It failed")));
        SetErrorInfo(0, create.try_query<IErrorInfo>().get());
        return hresult_of(0x800A0000u | static_cast<std::uint32_t>(code & 0xFFFF));
    }
    HRESULT STDMETHODCALLTYPE get_Count(LONG* value) override {
        note("get_Count");
        *value = count_;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE put_Count(LONG value) override {
        note("put_Count(" + std::to_string(value) + ")");
        count_ = value;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE put_Peer(IDispatch** value) override {
        if (!value) return null_pointer("put_Peer");
        note("put_Peer(" + object_name(*value) + ")");
        peer_ = oa::make_ref(*value);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_Peer(IDispatch** value) override {
        note("get_Peer");
        peer_.copy_to(value);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE putref_Link(IDispatch* value) override {
        note("putref_Link(" + object_name(value) + ")");
        link_ = oa::make_ref(value);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_Link(IDispatch** value) override {
        note("get_Link");
        link_.copy_to(value);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE put_Flag(VARIANT_BOOL* value) override {
        if (!value) return null_pointer("put_Flag");
        note("put_Flag(" + std::to_string(*value) + ")");
        flag_ = *value;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_Flag(VARIANT_BOOL* value) override {
        note("get_Flag");
        *value = flag_;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_Value(BSTR* value) override {
        note("get_Value");
        *value = oa::make_bstr(u"probe").release();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Nothing() override {
        note("Nothing");
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Bump(BYTE* b, LONG* c) override {
        if (!b || !c) return null_pointer("Bump");
        note("Bump(" + std::to_string(*b) + "," + std::to_string(*c) + ")");
        ++*b;
        ++*c;
        return S_OK;
    }

private:
    static void note(const std::string& s) { probe_calls() += (probe_calls().empty() ? "" : " ") + s; }
    static HRESULT null_pointer(const char* member) {
        note(std::string(member) + "(null pointer)");
        return E_POINTER;
    }
    LONG count_ = 0;
    VARIANT_BOOL flag_ = VARIANT_FALSE;
    oa::com_ptr<IDispatch> peer_, link_;
};

}  // namespace conf

OLEAUTO_DECLARE_IID(conf::IProbe, 0x6B9832E8, 0x6029, 0x4C19, 0xB6, 0xE8, 0xB8, 0x86, 0x8B, 0x54, 0x1B, 0xAB);
