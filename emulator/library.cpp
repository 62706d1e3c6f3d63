// The library frame: the classes' descriptions (read by the dispatcher and the type
// information alike), class objects and unloading. Registration: registration.cpp.
#include <emulator/objects.h>
#include <emulator/replay.h>

#include <algorithm>
#include <climits>

#define MREMU_EXPORT OLEAUTO_EXPORT

MREMU_EXPORT HRESULT DllGetClassObject(REFCLSID clsid, REFIID iid, void** ppv);
MREMU_EXPORT HRESULT DllCanUnloadNow();

namespace mremu {

constexpr WORD type_library_major = MRLIBLib::foreign_build ? 2 : 1, type_library_minor = 0;

namespace {
using namespace oa::disp;

constexpr DISPID foreign_id_offset = 0x100;
constexpr WORD dual_flags = TYPEFLAG_FDUAL | TYPEFLAG_FNONEXTENSIBLE | TYPEFLAG_FOLEAUTOMATION | TYPEFLAG_FDISPATCHABLE;

// Late-bound AddUsers and AddUsersRoles.
api_object* api_of(void* self) { return static_cast<api_object*>(static_cast<Iapi*>(self)); }
// Rows to read behind the first: all the caller asks for when the dispatcher handed over
// the caller's own block, else only the one row of its copy.
SHORT rows_behind(void* const* slots) noexcept { return callers_own_argument(slots, 3, 1) ? SHRT_MAX : 1; }
HRESULT late_add_users(void* self, void* const* slots) {
    return api_of(self)->add_users(*static_cast<IDispatch**>(slots[0]), static_cast<IDispatch**>(slots[1]),
                                   *static_cast<SHORT*>(slots[2]), static_cast<BSTR*>(slots[3]), rows_behind(slots));
}
HRESULT late_add_users_roles(void* self, void* const* slots) {
    return api_of(self)->add_users_roles(*static_cast<IDispatch**>(slots[0]), static_cast<IDispatch**>(slots[1]),
                                         *static_cast<SHORT*>(slots[2]), static_cast<BSTR*>(slots[3]),
                                         rows_behind(slots));
}
// Late-bound InjectFault takes the HRESULT as a Variant, so that 0x80040201 written in a
// script (beyond a Long) arrives whole; early-bound callers pass a LONG.
HRESULT late_inject_fault(void* self, void* const* slots) {
    return static_cast<emulator_object*>(static_cast<IEmulator*>(self))
        ->inject_fault_late(*static_cast<BSTR*>(slots[0]), *static_cast<VARIANT*>(slots[1]),
                            *static_cast<BSTR*>(slots[2]), *static_cast<LONG*>(slots[3]));
}
member late_inject_fault_member() {
    using namespace oa::disp::detail;
    return build(member_kind::method, 3, u"InjectFault", u"String op, Variant hresult, String description, Long times",
                 u"", {describe_arg<BSTR>(), describe_arg<VARIANT*>(), describe_arg<BSTR>(), describe_arg<LONG>()},
                 &late_inject_fault);
}

member with_call(member m, thunk call) {
    m.call = call;
    return m;
}

// An interface as this build serves it. The second build lists the members in reverse
// order under other dispatch ids (default members keep theirs) and hands out its objects
// as IDispatch.
interface_desc as_built(std::u16string name, const IID& iid, std::vector<member> members) {
    if (MRLIBLib::foreign_build) {
        std::reverse(members.begin(), members.end());
        for (member& m : members) {
            if (m.id != DISPID_VALUE) m.id += foreign_id_offset;
            if (m.result.store == storage::object) m.result.type_name = u"IDispatch";
        }
    }
    return interface_desc{std::move(name), iid, dual_flags, std::move(members)};
}

const interface_desc& api_interface() {
    using I = Iapi;
    static const interface_desc desc = as_built(u"Iapi", iid_of<I>(), {
            method<&I::OpenConnection>(1, u"OpenConnection", u"String protocol, String host, Long port", u"Long"),
            method<&I::AdminLogin>(2, u"AdminLogin", u"String name, String password, String role, String database",
                                   u"IUser"),
            method<&I::appLogin>(3, u"appLogin",
                                 u"String name, String password, String role, String database, String loginAppID",
                                 u"IUser"),
            method<&I::CreateGroup>(4, u"CreateGroup", u"IDispatch user, String group", u"Long"),
            method<&I::PrepareGroupDeletion>(5, u"PrepareGroupDeletion", u"IDispatch user, String group", u"Long"),
            method<&I::DeleteGroup>(6, u"DeleteGroup", u"IDispatch user, String group", u"Long"),
            method<&I::AssignUserToGroup>(7, u"AssignUserToGroup", u"IDispatch user, String group, String userName",
                                          u"Long"),
            with_call(method<&I::AddUsers>(8, u"AddUsers", u"IDispatch user, IDispatch firstRow, Integer count", u"String"),
                      &late_add_users),
            method<&I::LoadConfigurationData>(9, u"LoadConfigurationData", u"IDispatch user", u"String"),
            method<&I::SetMerivexUsernames>(10, u"SetMerivexUsernames",
                                            u"IDispatch user, Variant firstRow, Integer &count", u"Variant"),
            with_call(method<&I::AddUsersRoles>(11, u"AddUsersRoles", u"IDispatch user, IDispatch firstRow, Integer count",
                                                u"String"),
                      &late_add_users_roles),
            method<&I::AddAPreferenceForAUser>(
                12, u"AddAPreferenceForAUser",
                u"IDispatch user, String userName, String preference, String value, Boolean allDatabases", u"String"),
            method<&I::QueryObjects>(13, u"QueryObjects", u"IDispatch user, String report, String query, String options",
                                     u"IObjectList"),
            sub<&I::GetDynamicAttrsData>(14, u"GetDynamicAttrsData",
                                         u"IDispatch user, String cvid, Byte() &buffer, Long &byteCount"),
            method<&I::GetHostname>(15, u"GetHostname", u"IDispatch user", u"String"),
            method<&I::SetDynamicAttrsData>(16, u"SetDynamicAttrsData",
                                            u"IDispatch user, String rcpId, String label, Byte firstByte, Long byteCount",
                                            u"String"),
            method<&I::CreateRCObjectFromData>(17, u"CreateRCObjectFromData",
                                               u"IDispatch user, String rcpId, String relation, String filename, "
                                               u"String label, String options, Byte firstByte, Long byteCount",
                                               u"String"),
            method<&I::CRData>(18, u"CRData", u"IDispatch user, String crid, String attributeList", u"IObjectData"),
            method<&I::ModifyCR>(19, u"ModifyCR", u"IDispatch user, IDispatch data", u"String"),
            method<&I::TransitionCR>(20, u"TransitionCR", u"IDispatch user, IDispatch data", u"String"),
            method<&I::CreateRelationship>(
                21, u"CreateRelationship",
                u"IDispatch user, Long bothWays, String fromID, String toID, String relationName, String relationType",
                u"String"),
        });
    return desc;
}

const interface_desc& user_interface() {
    using I = IUser;
    static const interface_desc desc = as_built(u"IUser", iid_of<I>(), {
            get<&I::get_LoginToken>(1, u"LoginToken", u"String"),
            sub<&I::SetUserInfo>(2, u"SetUserInfo", u"String user, String password, String role, String database"),
            sub<&I::SetNameMapping>(3, u"SetNameMapping", u"String user, String quellarUser"),
            sub<&I::SetRoleInfo>(4, u"SetRoleInfo", u"String user, String roleList, String database"),
        });
    return desc;
}

const interface_desc& object_list_interface() {
    using I = IObjectList;
    static const interface_desc desc = as_built(u"IObjectList", iid_of<I>(), {
                                         get<&I::get_Count>(1, u"Count", u"Integer"),
                                         method<&I::Item>(DISPID_VALUE, u"Item", u"Integer index", u"IObjectData"),
                                         sub<&I::Close>(2, u"Close", u""),
                                     });
    return desc;
}

const interface_desc& object_data_interface() {
    using I = IObjectData;
    static const interface_desc desc = as_built(u"IObjectData", iid_of<I>(), {
                                         method<&I::GetAttribute>(1, u"GetAttribute", u"String name", u"IAttribute"),
                                     });
    return desc;
}

const interface_desc& attribute_interface() {
    using I = IAttribute;
    static const interface_desc desc = as_built(u"IAttribute", iid_of<I>(), {
                                         get<&I::get_Value>(DISPID_VALUE, u"Value", u"String"),
                                         put<&I::put_Value>(DISPID_VALUE, u"Value", u"String"),
                                     });
    return desc;
}

const interface_desc& emulator_interface() {
    using I = IEmulator;
    static const interface_desc desc{
        u"IEmulator",
        iid_of<I>(),
        dual_flags,
        {
            sub<&I::LoadFixture>(1, u"LoadFixture", u"String path"),
            sub<&I::SaveState>(2, u"SaveState", u"String path"),
            late_inject_fault_member(),
            sub<&I::StartJournal>(4, u"StartJournal", u"String path"),
            sub<&I::StopJournal>(5, u"StopJournal", u""),
            method<&I::LiveObjects>(6, u"LiveObjects", u"String className", u"Long"),
            sub<&I::Reset>(7, u"Reset", u""),
            sub<&I::TraceCalls>(8, u"TraceCalls", u"Boolean on"),
            sub<&I::ReplayCassette>(9, u"ReplayCassette", u"String path"),
            method<&I::ReplayOutcome>(10, u"ReplayOutcome", u"", u"String"),
            sub<&I::ServeClass>(11, u"ServeClass", u"String progid, Variant classObject"),
            method<&I::CallCount>(12, u"CallCount", u"", u"Long"),
        }};
    return desc;
}

const coclass_desc& api_class() {
    static const coclass_desc desc{u"api", CLSID_api, TYPEFLAG_FCANCREATE, &api_interface()};
    return desc;
}
const coclass_desc& user_class() {
    static const coclass_desc desc{u"User", CLSID_User, TYPEFLAG_FCANCREATE, &user_interface()};
    return desc;
}
const coclass_desc& emulator_class() {
    static const coclass_desc desc{u"Emulator", CLSID_Emulator, TYPEFLAG_FCANCREATE, &emulator_interface()};
    return desc;
}

const library_desc& mrlib_library() {
    static const library_desc desc{u"MRLIBLib",
                                   LIBID_MRLIBLib,
                                   type_library_major,
                                   type_library_minor,
                                   0,
                                   {{&user_interface(), nullptr},
                                    {nullptr, &user_class()},
                                    {&attribute_interface(), nullptr},
                                    {&object_data_interface(), nullptr},
                                    {&object_list_interface(), nullptr},
                                    {&api_interface(), nullptr},
                                    {nullptr, &api_class()},
                                    {&emulator_interface(), nullptr},
                                    {nullptr, &emulator_class()}}};
    return desc;
}

}  // namespace

const library_desc* type_library() { return &mrlib_library(); }
const interface_desc& api_object::description() { return api_interface(); }
const interface_desc& user_object::description() { return user_interface(); }
const interface_desc& object_list_object::description() { return object_list_interface(); }
const interface_desc& object_data_object::description() { return object_data_interface(); }
const interface_desc& attribute_object::description() { return attribute_interface(); }
const interface_desc& emulator_object::description() { return emulator_interface(); }

}  // namespace mremu

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
