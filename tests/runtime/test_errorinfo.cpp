// Error info objects and the one-slot-per-thread rule.
#include "oleauto.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

namespace {

std::u16string text_of(BSTR b) { return std::u16string(b, SysStringLen(b)); }

// An IErrorInfo that counts its references, to see the slot take and drop them.
class CountedError final : public IErrorInfo {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (riid == IID_IUnknown || riid == IID_IErrorInfo) {
            *ppv = this;
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs; }  // lives on the test's stack
    HRESULT STDMETHODCALLTYPE GetGUID(GUID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetSource(BSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetDescription(BSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetHelpFile(BSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetHelpContext(DWORD*) override { return E_NOTIMPL; }
    std::atomic<ULONG> refs{1};
};

TEST(ErrorInfo, CreatedObjectHoldsWhatWasSet) {
    ICreateErrorInfo* create = nullptr;
    ASSERT_EQ(CreateErrorInfo(&create), S_OK);
    const GUID g{0x12345678, 0x9ABC, 0xDEF0, {1, 2, 3, 4, 5, 6, 7, 8}};
    create->SetGUID(g);
    create->SetSource(const_cast<LPOLESTR>(u"quellar2mrapi.t2DataClass"));
    create->SetDescription(const_cast<LPOLESTR>(u"Type mismatch"));
    create->SetHelpFile(const_cast<LPOLESTR>(u"help.txt"));
    create->SetHelpContext(13);

    IErrorInfo* info = nullptr;
    ASSERT_EQ(create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&info)), S_OK);
    GUID got{};
    info->GetGUID(&got);
    EXPECT_EQ(got, g);
    BSTR s = nullptr;
    ASSERT_EQ(info->GetSource(&s), S_OK);
    EXPECT_EQ(text_of(s), u"quellar2mrapi.t2DataClass");
    SysFreeString(s);
    ASSERT_EQ(info->GetDescription(&s), S_OK);
    EXPECT_EQ(text_of(s), u"Type mismatch");
    SysFreeString(s);
    ASSERT_EQ(info->GetHelpFile(&s), S_OK);
    EXPECT_EQ(text_of(s), u"help.txt");
    SysFreeString(s);
    DWORD ctx = 0;
    info->GetHelpContext(&ctx);
    EXPECT_EQ(ctx, 13u);

    // Both interfaces answer for one object.
    IUnknown* u1 = nullptr;
    IUnknown* u2 = nullptr;
    create->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&u1));
    info->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&u2));
    EXPECT_EQ(u1, u2);
    ICreateErrorInfo* back = nullptr;
    ASSERT_EQ(info->QueryInterface(IID_ICreateErrorInfo, reinterpret_cast<void**>(&back)), S_OK);
    EXPECT_EQ(back, create);
    void* none = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(info->QueryInterface(IID_IDispatch, &none), E_NOINTERFACE);
    EXPECT_EQ(none, nullptr);
    back->Release();
    u1->Release();
    u2->Release();
    info->Release();
    EXPECT_EQ(create->Release(), 0u);
}

TEST(ErrorInfo, GetHandsTheObjectOverAndEmptiesTheSlot) {
    CountedError e;
    ASSERT_EQ(SetErrorInfo(0, &e), S_OK);
    EXPECT_EQ(e.refs, 2u);
    IErrorInfo* got = nullptr;
    ASSERT_EQ(GetErrorInfo(0, &got), S_OK);
    EXPECT_EQ(got, &e);
    EXPECT_EQ(e.refs, 2u);  // the slot's reference moved to the caller
    got->Release();
    got = reinterpret_cast<IErrorInfo*>(0x1);
    EXPECT_EQ(GetErrorInfo(0, &got), S_FALSE);
    EXPECT_EQ(got, nullptr);
    EXPECT_EQ(GetErrorInfo(1, &got), E_INVALIDARG);
    EXPECT_EQ(SetErrorInfo(1, &e), E_INVALIDARG);
}

TEST(ErrorInfo, SetReplacesAndNullClears) {
    CountedError a, b;
    SetErrorInfo(0, &a);
    SetErrorInfo(0, &b);
    EXPECT_EQ(a.refs, 1u);
    EXPECT_EQ(b.refs, 2u);
    SetErrorInfo(0, nullptr);
    EXPECT_EQ(b.refs, 1u);
    IErrorInfo* got = nullptr;
    EXPECT_EQ(GetErrorInfo(0, &got), S_FALSE);
}

TEST(ErrorInfo, OneSlotPerThread) {
    CountedError mine, theirs;
    SetErrorInfo(0, &mine);
    HRESULT seen_in_thread = E_FAIL;
    std::thread t([&] {
        IErrorInfo* got = nullptr;
        seen_in_thread = GetErrorInfo(0, &got);
        SetErrorInfo(0, &theirs);  // left in the slot: released when the thread ends
    });
    t.join();
    EXPECT_EQ(seen_in_thread, S_FALSE);
    EXPECT_EQ(theirs.refs, 1u);
    IErrorInfo* got = nullptr;
    ASSERT_EQ(GetErrorInfo(0, &got), S_OK);
    EXPECT_EQ(got, &mine);
    got->Release();
}

TEST(ErrorInfo, LastUninitializeOfAThreadClearsItsSlot) {
    CountedError e;
    std::thread t([&] {
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_FALSE);
        SetErrorInfo(0, &e);
        CoUninitialize();
        EXPECT_EQ(e.refs, 2u);
        CoUninitialize();
        EXPECT_EQ(e.refs, 1u);
    });
    t.join();
}

}  // namespace
