// The component-object entry points the runtime offers: GUID texts, ProgIDs, creation of
// classes registered in the process or unknown, initialisation counts and error info.
#include "conformance.h"

namespace conf {

namespace {

constexpr CLSID some_clsid{0x6A1F0C3E, 0x2B7D, 0x4E59, {0x9C, 0x11, 0x0D, 0x5E, 0x7A, 0x3B, 0x8F, 0x21}};
constexpr CLSID unknown_clsid{0x0BADC0DE, 0x0001, 0x0002, {0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0A}};

std::string guid_text(const GUID& g) {
    OLECHAR buf[64] = {};
    const int n = StringFromGUID2(g, buf, 64);
    return n ? std::string(oa::view_z(buf).begin(), oa::view_z(buf).end()) : "(none)";
}

// A class object that makes value objects.
class factory final : public IClassFactory {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (riid != IID_IUnknown && riid != IID_IClassFactory) return E_NOINTERFACE;
        *ppv = static_cast<IClassFactory*>(this);
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs; }  // lives on the stack of the case
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        oa::unique_variant value;
        make(v_int(VT_I4, 1), value);
        oa::com_ptr<IDispatch> object = oa::adopt(new_value_object(value, false, true));
        return object->QueryInterface(riid, ppv);
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
    ULONG refs = 1;
};

answer with_registered(const std::function<answer()>& body, DWORD flags = REGCLS_MULTIPLEUSE) {
    factory f;
    DWORD cookie = 0;
    const HRESULT hr = CoRegisterClassObject(some_clsid, &f, CLSCTX_INPROC_SERVER, flags, &cookie);
    if (FAILED(hr)) return plain(hr, "registration failed");
    answer a = body();
    CoRevokeClassObject(cookie);
    a.value += " | factory refs " + std::to_string(f.refs);
    return a;
}

}  // namespace

void add_entry_points(cases& out) {
    // GUID texts.
    for (const char16_t* text : {u"{6A1F0C3E-2B7D-4E59-9C11-0D5E7A3B8F21}", u"{6a1f0c3e-2b7d-4e59-9c11-0d5e7a3b8f21}",
                                 u"6A1F0C3E-2B7D-4E59-9C11-0D5E7A3B8F21", u"{6A1F0C3E-2B7D-4E59-9C11-0D5E7A3B8F2}",
                                 u"{6A1F0C3E-2B7D-4E59-9C11-0D5E7A3B8F211}", u"{6A1F0C3E-2B7D-4E59-9C11+0D5E7A3B8F21}",
                                 u"{6A1F0C3E-2B7D-4E59-9C11-0D5E7A3B8G21}", u"{6A1F0C3E2B7D-4E59-9C11-0D5E7A3B8F21}",
                                 u"{00000000-0000-0000-0000-000000000000}", u"", u"{}", u"No.Such.ProgID"}) {
        out.push_back({"CLSIDFromString " + quoted(text), [text] {
                           CLSID c = unknown_clsid;
                           const HRESULT hr = CLSIDFromString(oa::ole(text), &c);
                           return plain(hr, SUCCEEDED(hr) ? guid_text(c) : "");  // a failure leaves it undefined
                       }});
    }
    out.push_back({"CLSIDFromString(null)", [] {
                       CLSID c = unknown_clsid;
                       const HRESULT hr = CLSIDFromString(nullptr, &c);
                       return plain(hr, guid_text(c));
                   }});
    for (int n : {0, 38, 39, 40}) {
        out.push_back({"StringFromGUID2 buffer=" + std::to_string(n), [n] {
                           OLECHAR buf[64];
                           for (auto& c : buf) c = u'#';
                           const int written = StringFromGUID2(some_clsid, buf, n);
                           std::u16string seen(oa::u16(buf), 40);
                           return plain(S_OK, std::to_string(written) + " " + quoted(seen));
                       }});
    }

    out.push_back({"StringFromCLSID", [] {
                       LPOLESTR text = nullptr;
                       const HRESULT hr = StringFromCLSID(some_clsid, &text);
                       std::string s = text ? quoted(oa::view_z(text)) : "null";
                       CoTaskMemFree(text);
                       return plain(hr, s);
                   }});
    out.push_back({"StringFromIID", [] {
                       LPOLESTR text = nullptr;
                       const HRESULT hr = StringFromIID(IID_IDispatch, &text);
                       std::string s = text ? quoted(oa::view_z(text)) : "null";
                       CoTaskMemFree(text);
                       return plain(hr, s);
                   }});
    for (const char16_t* text : {u"{6A1F0C3E-2B7D-4E59-9C11-0D5E7A3B8F21}", u"{6a1f0c3e-2b7d-4e59-9c11-0d5e7a3b8f21}",
                                 u"6A1F0C3E-2B7D-4E59-9C11-0D5E7A3B8F21", u"{6A1F0C3E-2B7D-4E59-9C11-0D5E7A3B8F2}", u"",
                                 u"No.Such.ProgID"}) {
        out.push_back({"IIDFromString " + quoted(text), [text] {
                           IID iid = unknown_clsid;
                           const HRESULT hr = IIDFromString(oa::ole(text), &iid);
                           return plain(hr, SUCCEEDED(hr) ? guid_text(iid) : "");
                       }});
    }
    out.push_back({"CoInitialize again", [] {
                       const HRESULT hr = CoInitialize(nullptr);
                       if (SUCCEEDED(hr)) CoUninitialize();
                       return plain(hr, "");
                   }});

    // ProgIDs and classes nobody registered.
    for (const char16_t* progid : {u"No.Such.ProgID", u"", u"{6A1F0C3E-2B7D-4E59-9C11-0D5E7A3B8F21}"}) {
        out.push_back({"CLSIDFromProgID " + quoted(progid), [progid] {
                           CLSID c = unknown_clsid;
                           const HRESULT hr = CLSIDFromProgID(oa::ole(progid), &c);
                           return plain(hr, guid_text(c));
                       }});
    }
    out.push_back({"ProgIDFromCLSID unknown class", [] {
                       LPOLESTR p = reinterpret_cast<LPOLESTR>(1);
                       const HRESULT hr = ProgIDFromCLSID(unknown_clsid, &p);
                       const bool null = !p;
                       if (SUCCEEDED(hr)) CoTaskMemFree(p);
                       return plain(hr, null ? "null" : "set");
                   }});
    for (const IID iid : {IID_IUnknown, IID_IDispatch}) {
        const std::string name = iid == IID_IUnknown ? "IUnknown" : "IDispatch";
        out.push_back({"CoCreateInstance unknown class " + name, [iid] {
                           void* p = reinterpret_cast<void*>(1);
                           const HRESULT hr = CoCreateInstance(unknown_clsid, nullptr, CLSCTX_INPROC_SERVER, iid, &p);
                           return plain(hr, p ? "set" : "null");
                       }});
        out.push_back({"CoGetClassObject unknown class " + name, [iid] {
                           void* p = reinterpret_cast<void*>(1);
                           const HRESULT hr = CoGetClassObject(unknown_clsid, CLSCTX_INPROC_SERVER, nullptr, iid, &p);
                           return plain(hr, p ? "set" : "null");
                       }});
    }

    // A class registered in the process.
    out.push_back({"CoCreateInstance registered class", [] {
                       return with_registered([] {
                           oa::com_ptr<IDispatch> d;
                           const HRESULT hr = CoCreateInstance(some_clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, d.put_void());
                           return plain(hr, object_name(d.get()));
                       });
                   }});
    out.push_back({"CoCreateInstance registered class, aggregated", [] {
                       return with_registered([] {
                           factory outer;
                           void* p = reinterpret_cast<void*>(1);
                           const HRESULT hr = CoCreateInstance(some_clsid, &outer, CLSCTX_INPROC_SERVER, IID_IUnknown, &p);
                           return plain(hr, p ? "set" : "null");
                       });
                   }});
    out.push_back({"CoCreateInstance registered class, interface it lacks", [] {
                       return with_registered([] {
                           void* p = reinterpret_cast<void*>(1);
                           const HRESULT hr = CoCreateInstance(some_clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IClassFactory, &p);
                           return plain(hr, p ? "set" : "null");
                       });
                   }});
    out.push_back({"CoGetClassObject registered class", [] {
                       return with_registered([] {
                           oa::com_ptr<IClassFactory> f;
                           const HRESULT hr = CoGetClassObject(some_clsid, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory, f.put_void());
                           return plain(hr, f ? "factory" : "null");
                       });
                   }});
    out.push_back({"CoCreateInstance single-use class twice", [] {
                       return with_registered([] {
                           oa::com_ptr<IUnknown> a, b;
                           const HRESULT first = CoCreateInstance(some_clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, a.put_void());
                           const HRESULT second = CoCreateInstance(some_clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, b.put_void());
                           return plain(first, "then " + hex(static_cast<std::uint32_t>(second), 8));
                       }, REGCLS_SINGLEUSE);
                   }});
    out.push_back({"CoRevokeClassObject unknown cookie", [] { return plain(CoRevokeClassObject(0x7777), ""); }});
    out.push_back({"CoRevokeClassObject twice", [] {
                       factory f;
                       DWORD cookie = 0;
                       CoRegisterClassObject(some_clsid, &f, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &cookie);
                       const HRESULT first = CoRevokeClassObject(cookie);
                       const HRESULT second = CoRevokeClassObject(cookie);
                       return plain(first, "then " + hex(static_cast<std::uint32_t>(second), 8) + " refs " + std::to_string(f.refs));
                   }});

    // Initialisation counts on a thread that is already initialised.
    out.push_back({"CoInitializeEx again", [] {
                       const HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
                       if (SUCCEEDED(hr)) CoUninitialize();
                       return plain(hr, "");
                   }});

    // Error info: one slot per thread, taken by the first GetErrorInfo.
    out.push_back({"GetErrorInfo empty slot", [] {
                       SetErrorInfo(0, nullptr);
                       IErrorInfo* e = reinterpret_cast<IErrorInfo*>(1);
                       const HRESULT hr = GetErrorInfo(0, &e);
                       return plain(hr, e ? "set" : "null");
                   }});
    out.push_back({"SetErrorInfo reserved 1", [] { return plain(SetErrorInfo(1, nullptr), ""); }});
    out.push_back({"GetErrorInfo reserved 1", [] {
                       IErrorInfo* e = nullptr;
                       return plain(GetErrorInfo(1, &e), e ? "set" : "null");
                   }});
    out.push_back({"error info round trip", [] {
                       oa::com_ptr<ICreateErrorInfo> create;
                       HRESULT hr = CreateErrorInfo(create.put());
                       if (FAILED(hr)) return plain(hr, "");
                       create->SetSource(const_cast<LPOLESTR>(oa::ole(u"src")));
                       create->SetDescription(const_cast<LPOLESTR>(oa::ole(u"what")));
                       create->SetHelpContext(7);
                       create->SetGUID(some_clsid);
                       oa::com_ptr<IErrorInfo> info = create.try_query<IErrorInfo>();
                       SetErrorInfo(0, info.get());
                       oa::com_ptr<IErrorInfo> got, again;
                       hr = GetErrorInfo(0, got.put());
                       const HRESULT second = GetErrorInfo(0, again.put());
                       if (!got) return plain(hr, "none");
                       oa::unique_bstr source, description, help;
                       DWORD context = 0;
                       GUID g{};
                       got->GetSource(source.put());
                       got->GetDescription(description.put());
                       got->GetHelpFile(help.put());
                       got->GetHelpContext(&context);
                       got->GetGUID(&g);
                       return plain(hr, text_of(source.get()) + " " + text_of(description.get()) + " " + text_of(help.get()) +
                                            " " + std::to_string(context) + " " + guid_text(g) + " same=" +
                                            (got == info ? "yes" : "no") + " then " +
                                            hex(static_cast<std::uint32_t>(second), 8));
                   }});
    out.push_back({"error info fields unset", [] {
                       oa::com_ptr<ICreateErrorInfo> create;
                       CreateErrorInfo(create.put());
                       oa::com_ptr<IErrorInfo> info = create.try_query<IErrorInfo>();
                       oa::unique_bstr source, description;
                       DWORD context = 9;
                       info->GetSource(source.put());
                       info->GetDescription(description.put());
                       info->GetHelpContext(&context);
                       return plain(S_OK, text_of(source.get()) + " " + text_of(description.get()) + " " +
                                              std::to_string(context));
                   }});
    out.push_back({"CoTaskMemAlloc and CoTaskMemRealloc", [] {
                       void* p = CoTaskMemAlloc(16);
                       void* q = CoTaskMemRealloc(p, 64);
                       const bool ok = p && q;
                       CoTaskMemFree(q ? q : p);
                       CoTaskMemFree(nullptr);
                       return plain(ok ? S_OK : E_OUTOFMEMORY, "");
                   }});
}

}  // namespace conf
