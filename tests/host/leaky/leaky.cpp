// A deliberately leaky test double: each object it makes keeps a library User alive
// forever, so that the host's leak check has something to find.
#include <emulator/mrlib.h>
#include <oa/dispatch.h>
#include <oa/registration.h>

#include <vector>

#define LEAKY_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

struct ILeaky : IDispatch {
    virtual HRESULT STDMETHODCALLTYPE Leak(LONG* made) = 0;
};

}  // namespace

OLEAUTO_DECLARE_IID(ILeaky, 0x5E1A7C21, 0x1B0E, 0x4C55, 0x9A, 0x31, 0x6C, 0x2F, 0x88, 0x10, 0xAB, 0x01);

namespace {

// What the double has leaked. It holds those references for good, so it never unloads and
// the objects stay reachable: a leak checker sees them as held, the host's check as alive.
std::vector<MRLIBLib::IUser*>& leaked() {
    static auto* users = new std::vector<MRLIBLib::IUser*>;
    return *users;
}

constexpr CLSID CLSID_Leaky{0x5E1A7C22, 0x1B0E, 0x4C55, {0x9A, 0x31, 0x6C, 0x2F, 0x88, 0x10, 0xAB, 0x02}};

class leaky final : public oa::disp::dispatch_object<leaky, ILeaky> {
public:
    static constexpr std::u16string_view class_name = u"q2mrtest.Leaky";
    static const oa::disp::interface_desc& description() {
        static const oa::disp::interface_desc desc{
            u"ILeaky", iid_of<ILeaky>(), TYPEFLAG_FDUAL, {oa::disp::method<&ILeaky::Leak>(1, u"Leak", u"", u"Long")}};
        return desc;
    }
    static const oa::disp::library_desc* library() { return nullptr; }

    HRESULT STDMETHODCALLTYPE Leak(LONG* made) override {
        return call([&] {
            oa::com_ptr<MRLIBLib::IUser> user;
            oa::check(CoCreateInstance(MRLIBLib::CLSID_User, nullptr, CLSCTX_INPROC_SERVER,
                                       iid_of<MRLIBLib::IUser>(), user.put_void()));
            leaked().push_back(user.detach());  // the leak this double exists for
            *made = 1;
        }, made);
    }
};

}  // namespace

const oa::reg::coclass_entry leaky_classes[] = {{CLSID_Leaky, "leaky test double", "q2mrtest.Leaky", "q2mrtest.Leaky"}};
const oa::reg::library leaky_library{"leaky.dll", leaky_classes};

LEAKY_EXPORT HRESULT DllRegisterServer() {
    return oa::reg::register_server(leaky_library, reinterpret_cast<const void*>(&DllRegisterServer));
}
LEAKY_EXPORT HRESULT DllUnregisterServer() { return oa::reg::unregister_server(leaky_library); }
LEAKY_EXPORT HRESULT DllGetClassObject(REFCLSID clsid, REFIID iid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (clsid != CLSID_Leaky) return CLASS_E_CLASSNOTAVAILABLE;
    return oa::make_self<oa::class_factory<leaky>>()->QueryInterface(iid, ppv);
}
LEAKY_EXPORT HRESULT DllCanUnloadNow() { return leaked().empty() ? oa::can_unload_now() : S_FALSE; }
