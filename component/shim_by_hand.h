// Written by hand until the build generates it from component/quellar2mrapi.idl.
#pragma once

#include <component/interfaces.h>
#include <oa/entry.h>

#include <cstddef>
#include <string_view>

namespace quellar2mrapi {

// Each ABI method of an interface enters its class's plain method of the same name; a put
// whose plain argument is a pointer also takes nullptr, which names the ABI method.
template <class D>
class _t2mrapp_shim : public oa::disp::dispatch_object<D, _t2mrapp> {
public:
    HRESULT STDMETHODCALLTYPE put_User(IDispatch** value) final {
        return oa::disp::entry<static_cast<void (D::*)(IDispatch*)>(&D::put_User)>(static_cast<D*>(this),
                                                                                   oa::disp::no_result, value);
    }
    HRESULT put_User(std::nullptr_t) { return put_User(static_cast<IDispatch**>(nullptr)); }
    HRESULT STDMETHODCALLTYPE get_User(IDispatch** value) final {
        return oa::disp::entry<static_cast<oa::com_ptr<IDispatch> (D::*)()>(&D::get_User)>(static_cast<D*>(this),
                                                                                           value);
    }
    HRESULT STDMETHODCALLTYPE put_api(IDispatch** value) final {
        return oa::disp::entry<static_cast<void (D::*)(IDispatch*)>(&D::put_api)>(static_cast<D*>(this),
                                                                                  oa::disp::no_result, value);
    }
    HRESULT put_api(std::nullptr_t) { return put_api(static_cast<IDispatch**>(nullptr)); }
    HRESULT STDMETHODCALLTYPE get_api(IDispatch** value) final {
        return oa::disp::entry<static_cast<oa::com_ptr<IDispatch> (D::*)()>(&D::get_api)>(static_cast<D*>(this), value);
    }
    HRESULT STDMETHODCALLTYPE put_GoodConnection(VARIANT_BOOL* value) final {
        return oa::disp::entry<static_cast<void (D::*)(VARIANT_BOOL)>(&D::put_GoodConnection)>(
            static_cast<D*>(this), oa::disp::no_result, value);
    }
    HRESULT STDMETHODCALLTYPE get_GoodConnection(VARIANT_BOOL* value) final {
        return oa::disp::entry<static_cast<VARIANT_BOOL (D::*)()>(&D::get_GoodConnection)>(static_cast<D*>(this),
                                                                                           value);
    }
    HRESULT STDMETHODCALLTYPE Connect(BSTR* host, BSTR* protocol, SHORT* port, BSTR* result) final {
        return oa::disp::entry<static_cast<oa::unique_bstr (D::*)(BSTR, BSTR, SHORT)>(&D::Connect)>(
            static_cast<D*>(this), result, host, protocol, port);
    }
    HRESULT STDMETHODCALLTYPE Login(BSTR* name, BSTR* Password, BSTR* Role, BSTR* database, BSTR* loginAppID,
                                    BSTR* result) final {
        return oa::disp::entry<static_cast<oa::unique_bstr (D::*)(BSTR&, BSTR&, BSTR, BSTR, BSTR)>(&D::Login)>(
            static_cast<D*>(this), result, name, Password, Role, database, loginAppID);
    }
    HRESULT STDMETHODCALLTYPE CreateAGroup(BSTR* groupname, VARIANT_BOOL* result) final {
        return oa::disp::entry<static_cast<VARIANT_BOOL (D::*)(BSTR)>(&D::CreateAGroup)>(static_cast<D*>(this), result,
                                                                                         groupname);
    }
    HRESULT STDMETHODCALLTYPE DeleteAGroup(BSTR* groupname, VARIANT_BOOL* result) final {
        return oa::disp::entry<static_cast<VARIANT_BOOL (D::*)(BSTR)>(&D::DeleteAGroup)>(static_cast<D*>(this), result,
                                                                                         groupname);
    }
    HRESULT STDMETHODCALLTYPE AddUserToGroup(BSTR* username, BSTR* groupname, VARIANT_BOOL* result) final {
        return oa::disp::entry<static_cast<VARIANT_BOOL (D::*)(BSTR, BSTR)>(&D::AddUserToGroup)>(
            static_cast<D*>(this), result, username, groupname);
    }
    HRESULT STDMETHODCALLTYPE AddUserToArray(SHORT* index, BSTR* username, BSTR* Password, BSTR* Role, BSTR* database,
                                             BSTR* result) final {
        return oa::disp::entry<static_cast<oa::unique_bstr (D::*)(SHORT, BSTR, BSTR, BSTR, BSTR)>(&D::AddUserToArray)>(
            static_cast<D*>(this), result, index, username, Password, Role, database);
    }
    HRESULT STDMETHODCALLTYPE AddUserToNMXArray(SHORT* index, BSTR* username, BSTR* quellarUserName,
                                                BSTR* result) final {
        return oa::disp::entry<static_cast<oa::unique_bstr (D::*)(SHORT, BSTR, BSTR)>(&D::AddUserToNMXArray)>(
            static_cast<D*>(this), result, index, username, quellarUserName);
    }
    HRESULT STDMETHODCALLTYPE AddUserToRoleArray(SHORT* index, BSTR* username, BSTR* roleList, BSTR* database,
                                                 BSTR* result) final {
        return oa::disp::entry<static_cast<oa::unique_bstr (D::*)(SHORT, BSTR, BSTR, BSTR)>(&D::AddUserToRoleArray)>(
            static_cast<D*>(this), result, index, username, roleList, database);
    }
    HRESULT STDMETHODCALLTYPE CreateUsers(SHORT* numberOfUsers, BSTR* result) final {
        return oa::disp::entry<static_cast<oa::unique_bstr (D::*)(SHORT)>(&D::CreateUsers)>(static_cast<D*>(this),
                                                                                            result, numberOfUsers);
    }
    HRESULT STDMETHODCALLTYPE SetMerivexUsernames(SHORT* numberOfUsers, BSTR* result) final {
        return oa::disp::entry<static_cast<oa::unique_bstr (D::*)(SHORT&)>(&D::SetMerivexUsernames)>(
            static_cast<D*>(this), result, numberOfUsers);
    }
    HRESULT STDMETHODCALLTYPE AddUserRoles(SHORT* numberOfUsers, BSTR* result) final {
        return oa::disp::entry<static_cast<oa::unique_bstr (D::*)(SHORT)>(&D::AddUserRoles)>(static_cast<D*>(this),
                                                                                             result, numberOfUsers);
    }
    HRESULT STDMETHODCALLTYPE AddUserPreference(VARIANT* mrUserName, VARIANT* pref, BSTR* value, VARIANT_BOOL* all_dbs,
                                                BSTR* result) final {
        return oa::disp::entry<static_cast<oa::unique_bstr (D::*)(const VARIANT&, const VARIANT&, BSTR, VARIANT_BOOL)>(
            &D::AddUserPreference)>(static_cast<D*>(this), result, mrUserName, pref, value, all_dbs);
    }
    HRESULT STDMETHODCALLTYPE GetNewAttrs(BSTR* object_name, BSTR* instance, BSTR* result) final {
        return oa::disp::entry<static_cast<oa::unique_bstr (D::*)(BSTR, BSTR)>(&D::GetNewAttrs)>(
            static_cast<D*>(this), result, object_name, instance);
    }
    HRESULT STDMETHODCALLTYPE GetDynamicAttrs(BSTR* cvid, BSTR* result) final {
        return oa::disp::entry<static_cast<oa::unique_bstr (D::*)(BSTR)>(&D::GetDynamicAttrs)>(static_cast<D*>(this),
                                                                                               result, cvid);
    }
    HRESULT STDMETHODCALLTYPE VANT_GetHostname(BSTR* result) final {
        return oa::disp::entry<static_cast<oa::unique_bstr (D::*)()>(&D::VANT_GetHostname)>(static_cast<D*>(this),
                                                                                            result);
    }
    HRESULT STDMETHODCALLTYPE setDynamicAttrs(BSTR* rcpId, BSTR* values, VARIANT* result) final {
        return oa::disp::entry<static_cast<oa::unique_variant (D::*)(BSTR, BSTR)>(&D::setDynamicAttrs)>(
            static_cast<D*>(this), result, rcpId, values);
    }
    HRESULT STDMETHODCALLTYPE createRCObject(BSTR* rcpId, BSTR* relation, BSTR* values, BSTR* filename,
                                             VARIANT* result) final {
        return oa::disp::entry<static_cast<oa::unique_variant (D::*)(BSTR, BSTR, BSTR, BSTR)>(&D::createRCObject)>(
            static_cast<D*>(this), result, rcpId, relation, values, filename);
    }
    HRESULT STDMETHODCALLTYPE encodeXML(BSTR* toEncode, BSTR* result) final {
        return oa::disp::entry<static_cast<oa::unique_bstr (D::*)(BSTR)>(&D::encodeXML)>(static_cast<D*>(this), result,
                                                                                         toEncode);
    }
    HRESULT STDMETHODCALLTYPE VANT_SetCRattributeByFile(BSTR* crid, BSTR* atrName, BSTR* atrFile, BSTR* atr1Name,
                                                        BSTR* atr1File, BSTR* result) final {
        return oa::disp::entry<static_cast<oa::unique_bstr (D::*)(BSTR, BSTR, BSTR, BSTR, BSTR)>(
            &D::VANT_SetCRattributeByFile)>(static_cast<D*>(this), result, crid, atrName, atrFile, atr1Name, atr1File);
    }
    HRESULT STDMETHODCALLTYPE VANT_SetCRattribute(BSTR* crid, BSTR* atrName, BSTR* atrValue, BSTR* atr1Name,
                                                  BSTR* atr1Value, BSTR* result) final {
        return oa::disp::entry<static_cast<oa::unique_bstr (D::*)(BSTR, BSTR, BSTR, BSTR, BSTR)>(
            &D::VANT_SetCRattribute)>(static_cast<D*>(this), result, crid, atrName, atrValue, atr1Name, atr1Value);
    }
    HRESULT STDMETHODCALLTYPE CreateRelation(LONG* BothWayRelationship, BSTR* fromID, BSTR* toID, BSTR* relationName,
                                             BSTR* relationType, BSTR* result) final {
        return oa::disp::entry<static_cast<oa::unique_bstr (D::*)(LONG, BSTR, BSTR, BSTR, BSTR)>(&D::CreateRelation)>(
            static_cast<D*>(this), result, BothWayRelationship, fromID, toID, relationName, relationType);
    }
};

template <class D>
class _t2DataClass_shim : public oa::disp::dispatch_object<D, _t2DataClass> {
public:
    HRESULT STDMETHODCALLTYPE put_ValueType(BSTR* value) final {
        return oa::disp::entry<static_cast<void (D::*)(BSTR)>(&D::put_ValueType)>(static_cast<D*>(this),
                                                                                  oa::disp::no_result, value);
    }
    HRESULT put_ValueType(std::nullptr_t) { return put_ValueType(static_cast<BSTR*>(nullptr)); }
    HRESULT STDMETHODCALLTYPE get_ValueType(BSTR* value) final {
        return oa::disp::entry<static_cast<oa::unique_bstr (D::*)()>(&D::get_ValueType)>(static_cast<D*>(this), value);
    }
    HRESULT STDMETHODCALLTYPE put_StringValue(BSTR* value) final {
        return oa::disp::entry<static_cast<void (D::*)(BSTR)>(&D::put_StringValue)>(static_cast<D*>(this),
                                                                                    oa::disp::no_result, value);
    }
    HRESULT put_StringValue(std::nullptr_t) { return put_StringValue(static_cast<BSTR*>(nullptr)); }
    HRESULT STDMETHODCALLTYPE get_StringValue(BSTR* value) final {
        return oa::disp::entry<static_cast<oa::unique_bstr (D::*)()>(&D::get_StringValue)>(static_cast<D*>(this),
                                                                                           value);
    }
    HRESULT STDMETHODCALLTYPE put_StringValueSize(SHORT* value) final {
        return oa::disp::entry<static_cast<void (D::*)(SHORT)>(&D::put_StringValueSize)>(static_cast<D*>(this),
                                                                                         oa::disp::no_result, value);
    }
    HRESULT STDMETHODCALLTYPE get_StringValueSize(SHORT* value) final {
        return oa::disp::entry<static_cast<SHORT (D::*)()>(&D::get_StringValueSize)>(static_cast<D*>(this), value);
    }
    HRESULT STDMETHODCALLTYPE put_IntegerValue(SHORT* value) final {
        return oa::disp::entry<static_cast<void (D::*)(SHORT)>(&D::put_IntegerValue)>(static_cast<D*>(this),
                                                                                      oa::disp::no_result, value);
    }
    HRESULT STDMETHODCALLTYPE get_IntegerValue(SHORT* value) final {
        return oa::disp::entry<static_cast<SHORT (D::*)()>(&D::get_IntegerValue)>(static_cast<D*>(this), value);
    }
    HRESULT STDMETHODCALLTYPE put_BooleanValue(VARIANT_BOOL* value) final {
        return oa::disp::entry<static_cast<void (D::*)(VARIANT_BOOL)>(&D::put_BooleanValue)>(
            static_cast<D*>(this), oa::disp::no_result, value);
    }
    HRESULT STDMETHODCALLTYPE get_BooleanValue(VARIANT_BOOL* value) final {
        return oa::disp::entry<static_cast<VARIANT_BOOL (D::*)()>(&D::get_BooleanValue)>(static_cast<D*>(this), value);
    }
    HRESULT STDMETHODCALLTYPE put_ErrMsg(BSTR* value) final {
        return oa::disp::entry<static_cast<void (D::*)(BSTR)>(&D::put_ErrMsg)>(static_cast<D*>(this),
                                                                               oa::disp::no_result, value);
    }
    HRESULT put_ErrMsg(std::nullptr_t) { return put_ErrMsg(static_cast<BSTR*>(nullptr)); }
    HRESULT STDMETHODCALLTYPE get_ErrMsg(BSTR* value) final {
        return oa::disp::entry<static_cast<oa::unique_bstr (D::*)()>(&D::get_ErrMsg)>(static_cast<D*>(this), value);
    }
};

}  // namespace quellar2mrapi

// The members that the class declares: its name, descriptions and plain methods.
#define QUELLAR2MRAPI__T2MRAPP_MEMBERS                                                                              \
    static constexpr std::u16string_view class_name = u"quellar2mrapi.t2mrapp";                                     \
    static const oa::disp::interface_desc& description();                                                           \
    static const oa::disp::library_desc* library();                                                                 \
    using _t2mrapp_shim<t2mrapp>::put_User;                                                                         \
    void put_User(IDispatch* value);                                                                                \
    using _t2mrapp_shim<t2mrapp>::get_User;                                                                         \
    oa::com_ptr<IDispatch> get_User();                                                                              \
    using _t2mrapp_shim<t2mrapp>::put_api;                                                                          \
    void put_api(IDispatch* value);                                                                                 \
    using _t2mrapp_shim<t2mrapp>::get_api;                                                                          \
    oa::com_ptr<IDispatch> get_api();                                                                               \
    using _t2mrapp_shim<t2mrapp>::put_GoodConnection;                                                               \
    void put_GoodConnection(VARIANT_BOOL value);                                                                    \
    using _t2mrapp_shim<t2mrapp>::get_GoodConnection;                                                               \
    VARIANT_BOOL get_GoodConnection();                                                                              \
    using _t2mrapp_shim<t2mrapp>::Connect;                                                                          \
    oa::unique_bstr Connect(BSTR host, BSTR protocol, SHORT port);                                                  \
    using _t2mrapp_shim<t2mrapp>::Login;                                                                            \
    oa::unique_bstr Login(BSTR& name, BSTR& Password, BSTR Role, BSTR database, BSTR loginAppID);                   \
    using _t2mrapp_shim<t2mrapp>::CreateAGroup;                                                                     \
    VARIANT_BOOL CreateAGroup(BSTR groupname);                                                                      \
    using _t2mrapp_shim<t2mrapp>::DeleteAGroup;                                                                     \
    VARIANT_BOOL DeleteAGroup(BSTR groupname);                                                                      \
    using _t2mrapp_shim<t2mrapp>::AddUserToGroup;                                                                   \
    VARIANT_BOOL AddUserToGroup(BSTR username, BSTR groupname);                                                     \
    using _t2mrapp_shim<t2mrapp>::AddUserToArray;                                                                   \
    oa::unique_bstr AddUserToArray(SHORT index, BSTR username, BSTR Password, BSTR Role, BSTR database);            \
    using _t2mrapp_shim<t2mrapp>::AddUserToNMXArray;                                                                \
    oa::unique_bstr AddUserToNMXArray(SHORT index, BSTR username, BSTR quellarUserName);                            \
    using _t2mrapp_shim<t2mrapp>::AddUserToRoleArray;                                                               \
    oa::unique_bstr AddUserToRoleArray(SHORT index, BSTR username, BSTR roleList, BSTR database);                   \
    using _t2mrapp_shim<t2mrapp>::CreateUsers;                                                                      \
    oa::unique_bstr CreateUsers(SHORT numberOfUsers);                                                               \
    using _t2mrapp_shim<t2mrapp>::SetMerivexUsernames;                                                              \
    oa::unique_bstr SetMerivexUsernames(SHORT& numberOfUsers);                                                      \
    using _t2mrapp_shim<t2mrapp>::AddUserRoles;                                                                     \
    oa::unique_bstr AddUserRoles(SHORT numberOfUsers);                                                              \
    using _t2mrapp_shim<t2mrapp>::AddUserPreference;                                                                \
    oa::unique_bstr AddUserPreference(const VARIANT& mrUserName, const VARIANT& pref, BSTR value,                   \
                                      VARIANT_BOOL all_dbs);                                                        \
    using _t2mrapp_shim<t2mrapp>::GetNewAttrs;                                                                      \
    oa::unique_bstr GetNewAttrs(BSTR object_name, BSTR instance);                                                   \
    using _t2mrapp_shim<t2mrapp>::GetDynamicAttrs;                                                                  \
    oa::unique_bstr GetDynamicAttrs(BSTR cvid);                                                                     \
    using _t2mrapp_shim<t2mrapp>::VANT_GetHostname;                                                                 \
    oa::unique_bstr VANT_GetHostname();                                                                             \
    using _t2mrapp_shim<t2mrapp>::setDynamicAttrs;                                                                  \
    oa::unique_variant setDynamicAttrs(BSTR rcpId, BSTR values);                                                    \
    using _t2mrapp_shim<t2mrapp>::createRCObject;                                                                   \
    oa::unique_variant createRCObject(BSTR rcpId, BSTR relation, BSTR values, BSTR filename);                       \
    using _t2mrapp_shim<t2mrapp>::encodeXML;                                                                        \
    oa::unique_bstr encodeXML(BSTR toEncode);                                                                       \
    using _t2mrapp_shim<t2mrapp>::VANT_SetCRattributeByFile;                                                        \
    oa::unique_bstr VANT_SetCRattributeByFile(BSTR crid, BSTR atrName, BSTR atrFile, BSTR atr1Name, BSTR atr1File); \
    using _t2mrapp_shim<t2mrapp>::VANT_SetCRattribute;                                                              \
    oa::unique_bstr VANT_SetCRattribute(BSTR crid, BSTR atrName, BSTR atrValue, BSTR atr1Name, BSTR atr1Value);     \
    using _t2mrapp_shim<t2mrapp>::CreateRelation;                                                                   \
    oa::unique_bstr CreateRelation(LONG BothWayRelationship, BSTR fromID, BSTR toID, BSTR relationName,             \
                                   BSTR relationType);

#define QUELLAR2MRAPI__T2DATACLASS_MEMBERS                                          \
    static constexpr std::u16string_view class_name = u"quellar2mrapi.t2DataClass"; \
    static const oa::disp::interface_desc& description();                           \
    static const oa::disp::library_desc* library();                                 \
    using _t2DataClass_shim<t2DataClass>::put_ValueType;                            \
    void put_ValueType(BSTR value);                                                 \
    using _t2DataClass_shim<t2DataClass>::get_ValueType;                            \
    oa::unique_bstr get_ValueType();                                                \
    using _t2DataClass_shim<t2DataClass>::put_StringValue;                          \
    void put_StringValue(BSTR value);                                               \
    using _t2DataClass_shim<t2DataClass>::get_StringValue;                          \
    oa::unique_bstr get_StringValue();                                              \
    using _t2DataClass_shim<t2DataClass>::put_StringValueSize;                      \
    void put_StringValueSize(SHORT value);                                          \
    using _t2DataClass_shim<t2DataClass>::get_StringValueSize;                      \
    SHORT get_StringValueSize();                                                    \
    using _t2DataClass_shim<t2DataClass>::put_IntegerValue;                         \
    void put_IntegerValue(SHORT value);                                             \
    using _t2DataClass_shim<t2DataClass>::get_IntegerValue;                         \
    SHORT get_IntegerValue();                                                       \
    using _t2DataClass_shim<t2DataClass>::put_BooleanValue;                         \
    void put_BooleanValue(VARIANT_BOOL value);                                      \
    using _t2DataClass_shim<t2DataClass>::get_BooleanValue;                         \
    VARIANT_BOOL get_BooleanValue();                                                \
    using _t2DataClass_shim<t2DataClass>::put_ErrMsg;                               \
    void put_ErrMsg(BSTR value);                                                    \
    using _t2DataClass_shim<t2DataClass>::get_ErrMsg;                               \
    oa::unique_bstr get_ErrMsg();
