// The library frame: each class's description (generated from the IDL files, read by the
// dispatcher and the type information alike) with the hand-written late-bound forms that
// the IDL names, class objects and unloading. Registration: registration.cpp.
#include <emulator/objects.h>
#include <emulator/replay.h>

#include <climits>

#define MREMU_EXPORT OLEAUTO_EXPORT

MREMU_EXPORT HRESULT DllGetClassObject(REFCLSID clsid, REFIID iid, void** ppv);
MREMU_EXPORT HRESULT DllCanUnloadNow();

namespace mremu {

namespace {
using namespace oa::disp;

// Late-bound AddUsers and AddUsersRoles.
api_object* api_of(void* self) { return static_cast<api_object*>(static_cast<Iapi*>(self)); }
// Rows to read behind the first: all the caller asks for when the dispatcher handed over
// the caller's own block, else only the one row of its copy.
SHORT rows_behind(void* const* slots) noexcept { return callers_own_argument(slots, 3, 1) ? SHRT_MAX : 1; }
HRESULT add_users_call(void* self, void* const* slots) {
    return api_of(self)->add_users(*static_cast<IDispatch**>(slots[0]), static_cast<IDispatch**>(slots[1]),
                                   *static_cast<SHORT*>(slots[2]), static_cast<BSTR*>(slots[3]), rows_behind(slots));
}
HRESULT add_users_roles_call(void* self, void* const* slots) {
    return api_of(self)->add_users_roles(*static_cast<IDispatch**>(slots[0]), static_cast<IDispatch**>(slots[1]),
                                         *static_cast<SHORT*>(slots[2]), static_cast<BSTR*>(slots[3]),
                                         rows_behind(slots));
}
// Late-bound InjectFault takes the HRESULT as a Variant, so that 0x80040201 written in a
// script (beyond a Long) arrives whole; early-bound callers pass a LONG.
HRESULT inject_fault_call(void* self, void* const* slots) {
    return static_cast<emulator_object*>(static_cast<IEmulator*>(self))
        ->inject_fault_late(*static_cast<BSTR*>(slots[0]), *static_cast<VARIANT*>(slots[1]),
                            *static_cast<BSTR*>(slots[2]), *static_cast<LONG*>(slots[3]));
}

}  // namespace

const library_desc* type_library() { return &MRLIBLib_library(); }
const interface_desc& api_object::description() { return Iapi_description(); }
const interface_desc& user_object::description() { return IUser_description(); }
const interface_desc& object_list_object::description() { return IObjectList_description(); }
const interface_desc& object_data_object::description() { return IObjectData_description(); }
const interface_desc& attribute_object::description() { return IAttribute_description(); }
const interface_desc& emulator_object::description() { return IEmulator_description(); }

}  // namespace mremu

// The late-bound forms that the IDL names (// late-bound:), applied to the generated
// descriptions of both builds.
namespace MRLIBLib {
using oa::disp::member;
member late_add_users(member generated) {
    generated.call = &mremu::add_users_call;
    return generated;
}
member late_add_users_roles(member generated) {
    generated.call = &mremu::add_users_roles_call;
    return generated;
}
member late_inject_fault(member generated) {
    using namespace oa::disp::detail;
    return build(generated.kind, generated.id, generated.name,
                 u"String op, Variant hresult, String description, Long times", u"",
                 {describe_arg<BSTR>(), describe_arg<VARIANT*>(), describe_arg<BSTR>(), describe_arg<LONG>()},
                 &mremu::inject_fault_call);
}
}  // namespace MRLIBLib

using namespace mremu;

namespace {
template <class T> HRESULT factory_for(REFIID iid, void** ppv) {
    return oa::make_self<oa::class_factory<T>>()->QueryInterface(iid, ppv);
}
}  // namespace

MREMU_EXPORT HRESULT DllGetClassObject(REFCLSID clsid, REFIID iid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    try {
        // A class object put in front of the library's (ServeClass), then while replaying
        // the cassette's.
        if (clsid == MRLIBLib::CLSID_api || clsid == MRLIBLib::CLSID_User)
            if (oa::com_ptr<IClassFactory> served = served_class(clsid == MRLIBLib::CLSID_api ? 0 : 1))
                return served->QueryInterface(iid, ppv);
        // While replaying, the classes make the cassette's objects.
        if (replay::active() && clsid == MRLIBLib::CLSID_api) return replay::class_object("mrlib.api", iid, ppv);
        if (replay::active() && clsid == MRLIBLib::CLSID_User) return replay::class_object("mrlib.User", iid, ppv);
        if (clsid == MRLIBLib::CLSID_api) return factory_for<api_object>(iid, ppv);
        if (clsid == MRLIBLib::CLSID_User) return factory_for<user_object>(iid, ppv);
        if (clsid == CLSID_Emulator) return factory_for<emulator_object>(iid, ppv);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    return CLASS_E_CLASSNOTAVAILABLE;
}

MREMU_EXPORT HRESULT DllCanUnloadNow() { return oa::can_unload_now(); }
