// The library frame: the two classes' descriptions (read by the dispatcher and by the
// type information alike), registration, class objects and unloading.
#include <component/t2mrapp.h>
#include <value/t2DataClass.h>

#include <oa/implements.h>

#include <string>

namespace quellar2mrapi {

namespace {
using namespace oa::disp;
using I = _t2mrapp;
using D = _t2DataClass;

constexpr WORD dispatch_interface_flags =
    TYPEFLAG_FDUAL | TYPEFLAG_FHIDDEN | TYPEFLAG_FNONEXTENSIBLE | TYPEFLAG_FOLEAUTOMATION | TYPEFLAG_FDISPATCHABLE;

const interface_desc& session_interface() {
    static const interface_desc desc{
        u"_t2mrapp",
        iid_of<I>(),
        dispatch_interface_flags,
        {
            put<&I::put_User>(0x68030002, u"User", u"IDispatch"),
            get<&I::get_User>(0x68030002, u"User", u"IDispatch"),
            put<&I::put_api>(0x68030001, u"api", u"IDispatch"),
            get<&I::get_api>(0x68030001, u"api", u"IDispatch"),
            put<&I::put_GoodConnection>(0x68030000, u"GoodConnection", u"Boolean"),
            get<&I::get_GoodConnection>(0x68030000, u"GoodConnection", u"Boolean"),
            method<&I::Connect>(0x60030007, u"Connect", u"String host, String protocol, Integer port", u"String"),
            method<&I::Login>(0x60030008, u"Login",
                              u"String &name, String &Password, String Role, String database, String loginAppID",
                              u"String"),
            method<&I::CreateAGroup>(0x60030009, u"CreateAGroup", u"String groupname", u"Boolean"),
            method<&I::DeleteAGroup>(0x6003000A, u"DeleteAGroup", u"String groupname", u"Boolean"),
            method<&I::AddUserToGroup>(0x6003000B, u"AddUserToGroup", u"String username, String groupname",
                                       u"Boolean"),
            method<&I::AddUserToArray>(
                0x6003000C, u"AddUserToArray",
                u"Integer index, String username, String Password, String Role, String database", u"String"),
            method<&I::AddUserToNMXArray>(0x6003000D, u"AddUserToNMXArray",
                                          u"Integer index, String username, String quellarUserName", u"String"),
            method<&I::AddUserToRoleArray>(0x6003000E, u"AddUserToRoleArray",
                                           u"Integer index, String username, String roleList, String database",
                                           u"String"),
            method<&I::CreateUsers>(0x6003000F, u"CreateUsers", u"Integer numberOfUsers", u"String"),
            method<&I::SetMerivexUsernames>(0x60030010, u"SetMerivexUsernames", u"Integer &numberOfUsers",
                                            u"String"),
            method<&I::AddUserRoles>(0x60030011, u"AddUserRoles", u"Integer numberOfUsers", u"String"),
            method<&I::AddUserPreference>(0x60030012, u"AddUserPreference",
                                          u"Variant mrUserName, Variant pref, String value, Boolean all_dbs",
                                          u"String"),
            method<&I::GetNewAttrs>(0x60030013, u"GetNewAttrs", u"String object_name, String instance", u"String"),
            method<&I::GetDynamicAttrs>(0x60030014, u"GetDynamicAttrs", u"String cvid", u"String"),
            method<&I::VANT_GetHostname>(0x60030015, u"VANT_GetHostname", u"", u"String"),
            method<&I::setDynamicAttrs>(0x60030016, u"setDynamicAttrs", u"String rcpId, String values", u"Variant"),
            method<&I::createRCObject>(0x60030017, u"createRCObject",
                                       u"String rcpId, String relation, String values, String filename", u"Variant"),
            method<&I::encodeXML>(0x60030018, u"encodeXML", u"String toEncode", u"String"),
            method<&I::VANT_SetCRattributeByFile>(
                0x6003001A, u"VANT_SetCRattributeByFile",
                u"String crid, String atrName, String atrFile, String atr1Name, String atr1File", u"String"),
            method<&I::VANT_SetCRattribute>(
                0x6003001B, u"VANT_SetCRattribute",
                u"String crid, String atrName, String atrValue, String atr1Name, String atr1Value", u"String"),
            method<&I::CreateRelation>(
                0x6003001C, u"CreateRelation",
                u"Long BothWayRelationship, String fromID, String toID, String relationName, String relationType",
                u"String"),
        }};
    return desc;
}

const interface_desc& value_interface() {
    static const interface_desc desc{u"_t2DataClass",
                                     iid_of<D>(),
                                     dispatch_interface_flags,
                                     {
                                         put<&D::put_ValueType>(0x68030005, u"ValueType", u"String"),
                                         get<&D::get_ValueType>(0x68030005, u"ValueType", u"String"),
                                         put<&D::put_StringValue>(0x68030004, u"StringValue", u"String"),
                                         get<&D::get_StringValue>(0x68030004, u"StringValue", u"String"),
                                         put<&D::put_StringValueSize>(0x68030003, u"StringValueSize", u"Integer"),
                                         get<&D::get_StringValueSize>(0x68030003, u"StringValueSize", u"Integer"),
                                         put<&D::put_IntegerValue>(0x68030002, u"IntegerValue", u"Integer"),
                                         get<&D::get_IntegerValue>(0x68030002, u"IntegerValue", u"Integer"),
                                         put<&D::put_BooleanValue>(0x68030001, u"BooleanValue", u"Boolean"),
                                         get<&D::get_BooleanValue>(0x68030001, u"BooleanValue", u"Boolean"),
                                         put<&D::put_ErrMsg>(0x68030000, u"ErrMsg", u"String"),
                                         get<&D::get_ErrMsg>(0x68030000, u"ErrMsg", u"String"),
                                     }};
    return desc;
}

const coclass_desc& session_class() {
    static const coclass_desc desc{u"t2mrapp", CLSID_t2mrapp, TYPEFLAG_FCANCREATE, &session_interface()};
    return desc;
}

const coclass_desc& value_class() {
    static const coclass_desc desc{u"t2DataClass", CLSID_t2DataClass, TYPEFLAG_FCANCREATE, &value_interface()};
    return desc;
}

const library_desc& component_library() {
    static const library_desc desc{u"quellar2mrapi",
                                   LIBID_quellar2mrapi,
                                   type_library_major,
                                   type_library_minor,
                                   type_library_lcid,
                                   {{&session_interface(), nullptr},
                                    {nullptr, &session_class()},
                                    {&value_interface(), nullptr},
                                    {nullptr, &value_class()}}};
    return desc;
}

}  // namespace

const interface_desc& t2mrapp::description() { return session_interface(); }
const library_desc* t2mrapp::library() { return &component_library(); }
const interface_desc& t2DataClass::description() { return value_interface(); }
const library_desc* t2DataClass::library() { return &component_library(); }

HRESULT get_type_library(ITypeLib** out) noexcept { return make_type_lib(&component_library(), out); }

}  // namespace quellar2mrapi
