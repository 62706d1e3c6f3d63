// The test-only second build of the emulated library: the same classes and members as
// emulator/mrlib.h, with ids of its own, other dispatch ids and each interface's members in
// another order (so another vtable layout). Its objects answer IDispatch only. A client
// that binds by name serves both builds alike; one that compiled in ids or a vtable serves
// only one.
#pragma once

#include <oleauto.h>

namespace MRLIBLib {

struct IUser;
struct IObjectList;
struct IObjectData;
struct IAttribute;

struct IUser : IDispatch {
    virtual HRESULT STDMETHODCALLTYPE SetRoleInfo(BSTR user, BSTR roleList, BSTR database) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetNameMapping(BSTR user, BSTR quellarUser) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetUserInfo(BSTR user, BSTR password, BSTR role, BSTR database) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_LoginToken(BSTR* token) = 0;
};

struct IAttribute : IDispatch {
    virtual HRESULT STDMETHODCALLTYPE put_Value(BSTR value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Value(BSTR* value) = 0;
};

struct IObjectData : IDispatch {
    virtual HRESULT STDMETHODCALLTYPE GetAttribute(BSTR name, IAttribute** attribute) = 0;
};

struct IObjectList : IDispatch {
    virtual HRESULT STDMETHODCALLTYPE Close() = 0;
    virtual HRESULT STDMETHODCALLTYPE Item(SHORT index, IObjectData** item) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Count(SHORT* count) = 0;
};

struct Iapi : IDispatch {
    virtual HRESULT STDMETHODCALLTYPE CreateRelationship(IDispatch* user, LONG bothWays, BSTR fromID, BSTR toID,
                                                         BSTR relationName, BSTR relationType, BSTR* answer) = 0;
    virtual HRESULT STDMETHODCALLTYPE TransitionCR(IDispatch* user, IDispatch* data, BSTR* reply) = 0;
    virtual HRESULT STDMETHODCALLTYPE ModifyCR(IDispatch* user, IDispatch* data, BSTR* reply) = 0;
    virtual HRESULT STDMETHODCALLTYPE CRData(IDispatch* user, BSTR crid, BSTR attributeList, IObjectData** data) = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateRCObjectFromData(IDispatch* user, BSTR rcpId, BSTR relation,
                                                             BSTR filename, BSTR label, BSTR options,
                                                             BYTE* firstByte, LONG byteCount, BSTR* answer) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetDynamicAttrsData(IDispatch* user, BSTR rcpId, BSTR label, BYTE* firstByte,
                                                          LONG byteCount, BSTR* answer) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetHostname(IDispatch* user, BSTR* hostname) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetDynamicAttrsData(IDispatch* user, BSTR cvid, SAFEARRAY** buffer,
                                                          LONG* byteCount) = 0;
    virtual HRESULT STDMETHODCALLTYPE QueryObjects(IDispatch* user, BSTR report, BSTR query, BSTR options,
                                                   IObjectList** list) = 0;
    virtual HRESULT STDMETHODCALLTYPE AddAPreferenceForAUser(IDispatch* user, BSTR userName, BSTR preference,
                                                             BSTR value, VARIANT_BOOL allDatabases,
                                                             BSTR* message) = 0;
    virtual HRESULT STDMETHODCALLTYPE AddUsersRoles(IDispatch* user, IDispatch** firstRow, SHORT count,
                                                    BSTR* message) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetMerivexUsernames(IDispatch* user, VARIANT* firstRow, SHORT* count,
                                                          VARIANT* result) = 0;
    virtual HRESULT STDMETHODCALLTYPE LoadConfigurationData(IDispatch* user, BSTR* text) = 0;
    virtual HRESULT STDMETHODCALLTYPE AddUsers(IDispatch* user, IDispatch** firstRow, SHORT count,
                                               BSTR* message) = 0;
    virtual HRESULT STDMETHODCALLTYPE AssignUserToGroup(IDispatch* user, BSTR group, BSTR userName,
                                                        LONG* status) = 0;
    virtual HRESULT STDMETHODCALLTYPE DeleteGroup(IDispatch* user, BSTR group, LONG* status) = 0;
    virtual HRESULT STDMETHODCALLTYPE PrepareGroupDeletion(IDispatch* user, BSTR group, LONG* status) = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateGroup(IDispatch* user, BSTR group, LONG* status) = 0;
    virtual HRESULT STDMETHODCALLTYPE appLogin(BSTR name, BSTR password, BSTR role, BSTR database, BSTR loginAppID,
                                               IUser** user) = 0;
    virtual HRESULT STDMETHODCALLTYPE AdminLogin(BSTR name, BSTR password, BSTR role, BSTR database,
                                                 IUser** user) = 0;
    virtual HRESULT STDMETHODCALLTYPE OpenConnection(BSTR protocol, BSTR host, LONG port, LONG* status) = 0;
};

}  // namespace MRLIBLib

OLEAUTO_DECLARE_IID(MRLIBLib::IUser, 0x7D3E0A51, 0x2C4B, 0x4E8F, 0x9A, 0x17, 0x5B, 0x60, 0xC2, 0x8D, 0x41, 0xE3);
OLEAUTO_DECLARE_IID(MRLIBLib::IObjectList, 0x1F9B42C6, 0x83D0, 0x4A75, 0xB2, 0x6E, 0x0D, 0x94, 0x3A, 0x71, 0xC5, 0x28);
OLEAUTO_DECLARE_IID(MRLIBLib::IObjectData, 0xC4A87E13, 0x5F62, 0x4B09, 0x8D, 0x3C, 0xE1, 0x27, 0x96, 0x0B, 0x5A, 0x74);
OLEAUTO_DECLARE_IID(MRLIBLib::IAttribute, 0x96E5D2F8, 0x0B41, 0x47C3, 0xA5, 0x8F, 0x33, 0x1C, 0x6E, 0xD9, 0x02, 0xB7);
OLEAUTO_DECLARE_IID(MRLIBLib::Iapi, 0x3B0C7F94, 0xE6A2, 0x4D18, 0x87, 0x51, 0x9F, 0x4E, 0x0A, 0x2B, 0x6C, 0xD5);

namespace MRLIBLib {
inline constexpr GUID LIBID_MRLIBLib{0x5E2A91C7, 0x4D38, 0x4F06, {0xB1, 0x9C, 0x72, 0xE8, 0x0F, 0x43, 0xA6, 0x1D}};
inline constexpr CLSID CLSID_api{0xA8F13D62, 0x7C05, 0x4E9B, {0x94, 0x2E, 0x6D, 0xB1, 0x58, 0x0C, 0xF3, 0x87}};
inline constexpr CLSID CLSID_User{0x0E6B5F28, 0x91A4, 0x4C3D, {0xAF, 0x73, 0x24, 0x8C, 0xD6, 0x15, 0xB9, 0x40}};
// Registered as version 2 under the version-independent ProgIDs: a client finds the class
// through CurVer.
inline constexpr const char* ProgID_api_version = "mrlib.api.2";
inline constexpr const char* ProgID_User_version = "mrlib.User.2";
inline constexpr bool foreign_build = true;
}  // namespace MRLIBLib
