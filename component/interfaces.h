// The component's two dual interfaces. The virtual functions follow the dispatch table's
// order after IUnknown and IDispatch; every argument is by reference and the result is
// the final out argument.
#pragma once

#include <oleauto.h>

namespace quellar2mrapi {

struct _t2mrapp : IDispatch {
    virtual HRESULT STDMETHODCALLTYPE put_User(IDispatch** value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_User(IDispatch** value) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_api(IDispatch** value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_api(IDispatch** value) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_GoodConnection(VARIANT_BOOL* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_GoodConnection(VARIANT_BOOL* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE Connect(BSTR* host, BSTR* protocol, SHORT* port, BSTR* result) = 0;
    virtual HRESULT STDMETHODCALLTYPE Login(BSTR* name, BSTR* Password, BSTR* Role, BSTR* database,
                                            BSTR* loginAppID, BSTR* result) = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateAGroup(BSTR* groupname, VARIANT_BOOL* result) = 0;
    virtual HRESULT STDMETHODCALLTYPE DeleteAGroup(BSTR* groupname, VARIANT_BOOL* result) = 0;
    virtual HRESULT STDMETHODCALLTYPE AddUserToGroup(BSTR* username, BSTR* groupname, VARIANT_BOOL* result) = 0;
    virtual HRESULT STDMETHODCALLTYPE AddUserToArray(SHORT* index, BSTR* username, BSTR* Password, BSTR* Role,
                                                     BSTR* database, BSTR* result) = 0;
    virtual HRESULT STDMETHODCALLTYPE AddUserToNMXArray(SHORT* index, BSTR* username, BSTR* quellarUserName,
                                                        BSTR* result) = 0;
    virtual HRESULT STDMETHODCALLTYPE AddUserToRoleArray(SHORT* index, BSTR* username, BSTR* roleList,
                                                         BSTR* database, BSTR* result) = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateUsers(SHORT* numberOfUsers, BSTR* result) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetMerivexUsernames(SHORT* numberOfUsers, BSTR* result) = 0;
    virtual HRESULT STDMETHODCALLTYPE AddUserRoles(SHORT* numberOfUsers, BSTR* result) = 0;
    virtual HRESULT STDMETHODCALLTYPE AddUserPreference(VARIANT* mrUserName, VARIANT* pref, BSTR* value,
                                                        VARIANT_BOOL* all_dbs, BSTR* result) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetNewAttrs(BSTR* object_name, BSTR* instance, BSTR* result) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetDynamicAttrs(BSTR* cvid, BSTR* result) = 0;
    virtual HRESULT STDMETHODCALLTYPE VANT_GetHostname(BSTR* result) = 0;
    virtual HRESULT STDMETHODCALLTYPE setDynamicAttrs(BSTR* rcpId, BSTR* values, VARIANT* result) = 0;
    virtual HRESULT STDMETHODCALLTYPE createRCObject(BSTR* rcpId, BSTR* relation, BSTR* values, BSTR* filename,
                                                     VARIANT* result) = 0;
    virtual HRESULT STDMETHODCALLTYPE encodeXML(BSTR* toEncode, BSTR* result) = 0;
    virtual HRESULT STDMETHODCALLTYPE VANT_SetCRattributeByFile(BSTR* crid, BSTR* atrName, BSTR* atrFile,
                                                                BSTR* atr1Name, BSTR* atr1File, BSTR* result) = 0;
    virtual HRESULT STDMETHODCALLTYPE VANT_SetCRattribute(BSTR* crid, BSTR* atrName, BSTR* atrValue, BSTR* atr1Name,
                                                          BSTR* atr1Value, BSTR* result) = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateRelation(LONG* BothWayRelationship, BSTR* fromID, BSTR* toID,
                                                     BSTR* relationName, BSTR* relationType, BSTR* result) = 0;
};

struct _t2DataClass : IDispatch {
    virtual HRESULT STDMETHODCALLTYPE put_ValueType(BSTR* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_ValueType(BSTR* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_StringValue(BSTR* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_StringValue(BSTR* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_StringValueSize(SHORT* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_StringValueSize(SHORT* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_IntegerValue(SHORT* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_IntegerValue(SHORT* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_BooleanValue(VARIANT_BOOL* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_BooleanValue(VARIANT_BOOL* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_ErrMsg(BSTR* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_ErrMsg(BSTR* value) = 0;
};

inline constexpr GUID LIBID_quellar2mrapi{0xD58F723C, 0xDCBC, 0x441D, {0x90, 0x72, 0xE4, 0x41, 0xF7, 0x44, 0xA1, 0x6A}};
inline constexpr CLSID CLSID_t2mrapp{0xF5D6F24D, 0x8056, 0x4675, {0xAB, 0x1E, 0xE1, 0xAD, 0x9E, 0xD0, 0x0C, 0x9B}};
inline constexpr CLSID CLSID_t2DataClass{0xD3E92039, 0xB40B, 0x4C8D, {0x8A, 0x56, 0x92, 0x67, 0xA8, 0x37, 0xA2, 0x7E}};
inline constexpr const char16_t* ProgID_t2mrapp = u"quellar2mrapi.t2mrapp";
inline constexpr const char16_t* ProgID_t2DataClass = u"quellar2mrapi.t2DataClass";
inline constexpr WORD type_library_major = 7;
inline constexpr WORD type_library_minor = 0;
inline constexpr LCID type_library_lcid = 0x409;

}  // namespace quellar2mrapi

OLEAUTO_DECLARE_IID(quellar2mrapi::_t2mrapp, 0xAFF3C887, 0x52A7, 0x4078, 0x98, 0x9D, 0xD1, 0xB8, 0x14, 0x82, 0xE4, 0x11);
OLEAUTO_DECLARE_IID(quellar2mrapi::_t2DataClass, 0x02237693, 0x3869, 0x462A, 0x93, 0x43, 0x39, 0x56, 0x30, 0x84, 0xBF,
                    0x61);
