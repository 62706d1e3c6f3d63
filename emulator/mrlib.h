// The emulated change-server library's interfaces (type library MRLIBLib), for early-bound
// callers of the emulated library: its tests and benchmarks. The component knows none of
// this: it calls the library by name (mrlib/operations.h). Objects that an operation takes
// are IDispatch, so that it accepts any object and finds its own behind it.
#pragma once

#include <oleauto.h>

#ifdef MREMU_FOREIGN
#include <emulator/foreign/mrlib.h>
#else

namespace MRLIBLib {

struct IUser;
struct IObjectList;
struct IObjectData;
struct IAttribute;

// A logged-in user of the change server; new objects also serve as staging rows.
struct IUser : IDispatch {
    virtual HRESULT STDMETHODCALLTYPE get_LoginToken(BSTR* token) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetUserInfo(BSTR user, BSTR password, BSTR role, BSTR database) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetNameMapping(BSTR user, BSTR quellarUser) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetRoleInfo(BSTR user, BSTR roleList, BSTR database) = 0;
};

struct IAttribute : IDispatch {
    virtual HRESULT STDMETHODCALLTYPE get_Value(BSTR* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_Value(BSTR value) = 0;
};

struct IObjectData : IDispatch {
    virtual HRESULT STDMETHODCALLTYPE GetAttribute(BSTR name, IAttribute** attribute) = 0;
};

struct IObjectList : IDispatch {
    virtual HRESULT STDMETHODCALLTYPE get_Count(SHORT* count) = 0;
    virtual HRESULT STDMETHODCALLTYPE Item(SHORT index, IObjectData** item) = 0;
    virtual HRESULT STDMETHODCALLTYPE Close() = 0;
};

// A connection to the change server. Every operation after the first three takes the
// logged-in user first. A table travels as its first row by reference: its rows lie
// contiguous in index order.
struct Iapi : IDispatch {
    virtual HRESULT STDMETHODCALLTYPE OpenConnection(BSTR protocol, BSTR host, LONG port, LONG* status) = 0;
    virtual HRESULT STDMETHODCALLTYPE AdminLogin(BSTR name, BSTR password, BSTR role, BSTR database,
                                                 IUser** user) = 0;
    virtual HRESULT STDMETHODCALLTYPE appLogin(BSTR name, BSTR password, BSTR role, BSTR database, BSTR loginAppID,
                                               IUser** user) = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateGroup(IDispatch* user, BSTR group, LONG* status) = 0;
    virtual HRESULT STDMETHODCALLTYPE PrepareGroupDeletion(IDispatch* user, BSTR group, LONG* status) = 0;
    virtual HRESULT STDMETHODCALLTYPE DeleteGroup(IDispatch* user, BSTR group, LONG* status) = 0;
    virtual HRESULT STDMETHODCALLTYPE AssignUserToGroup(IDispatch* user, BSTR group, BSTR userName, LONG* status) = 0;
    virtual HRESULT STDMETHODCALLTYPE AddUsers(IDispatch* user, IDispatch** firstRow, SHORT count, BSTR* message) = 0;
    virtual HRESULT STDMETHODCALLTYPE LoadConfigurationData(IDispatch* user, BSTR* text) = 0;
    // Reached late-bound by name: row 0 as a by-reference Variant that holds a User (the
    // rows after it follow it in memory), the count by reference.
    virtual HRESULT STDMETHODCALLTYPE SetMerivexUsernames(IDispatch* user, VARIANT* firstRow, SHORT* count,
                                                          VARIANT* result) = 0;
    virtual HRESULT STDMETHODCALLTYPE AddUsersRoles(IDispatch* user, IDispatch** firstRow, SHORT count, BSTR* message) = 0;
    virtual HRESULT STDMETHODCALLTYPE AddAPreferenceForAUser(IDispatch* user, BSTR userName, BSTR preference, BSTR value,
                                                             VARIANT_BOOL allDatabases, BSTR* message) = 0;
    virtual HRESULT STDMETHODCALLTYPE QueryObjects(IDispatch* user, BSTR report, BSTR query, BSTR options,
                                                   IObjectList** list) = 0;
    // The buffer is replaced or filled with the text's UTF-16LE bytes.
    virtual HRESULT STDMETHODCALLTYPE GetDynamicAttrsData(IDispatch* user, BSTR cvid, SAFEARRAY** buffer,
                                                          LONG* byteCount) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetHostname(IDispatch* user, BSTR* hostname) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetDynamicAttrsData(IDispatch* user, BSTR rcpId, BSTR label, BYTE* firstByte,
                                                          LONG byteCount, BSTR* answer) = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateRCObjectFromData(IDispatch* user, BSTR rcpId, BSTR relation, BSTR filename,
                                                             BSTR label, BSTR options, BYTE* firstByte, LONG byteCount,
                                                             BSTR* answer) = 0;
    virtual HRESULT STDMETHODCALLTYPE CRData(IDispatch* user, BSTR crid, BSTR attributeList, IObjectData** data) = 0;
    virtual HRESULT STDMETHODCALLTYPE ModifyCR(IDispatch* user, IDispatch* data, BSTR* reply) = 0;
    virtual HRESULT STDMETHODCALLTYPE TransitionCR(IDispatch* user, IDispatch* data, BSTR* reply) = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateRelationship(IDispatch* user, LONG bothWays, BSTR fromID, BSTR toID,
                                                         BSTR relationName, BSTR relationType, BSTR* answer) = 0;
};

}  // namespace MRLIBLib

OLEAUTO_DECLARE_IID(MRLIBLib::IUser, 0x3C793DC1, 0x6431, 0x425D, 0x90, 0xC6, 0xAD, 0xCC, 0x84, 0x0C, 0x3B, 0xB5);
OLEAUTO_DECLARE_IID(MRLIBLib::IObjectList, 0x58B6F9B1, 0x5FE8, 0x4BE6, 0x9C, 0x95, 0xB1, 0x6F, 0xB9, 0x45, 0x93, 0xCB);
OLEAUTO_DECLARE_IID(MRLIBLib::IObjectData, 0x75338E63, 0x0CD7, 0x4AD0, 0x85, 0x87, 0xFF, 0x24, 0xD0, 0xDD, 0xFB, 0x55);
OLEAUTO_DECLARE_IID(MRLIBLib::IAttribute, 0xFFB767B2, 0x25D8, 0x49D2, 0x9A, 0xE8, 0xD2, 0x6C, 0x70, 0x6F, 0x8B, 0x8E);
OLEAUTO_DECLARE_IID(MRLIBLib::Iapi, 0xAA34331D, 0xB811, 0x46B0, 0x8C, 0x2F, 0xF3, 0x7E, 0x89, 0x82, 0x21, 0x22);

namespace MRLIBLib {
inline constexpr GUID LIBID_MRLIBLib{0x2AC28E6D, 0xFB07, 0x4F78, {0xA2, 0x46, 0x05, 0x8D, 0x60, 0x82, 0x36, 0x06}};
inline constexpr CLSID CLSID_api{0x1A18F0FE, 0xA387, 0x4310, {0xB9, 0x01, 0x8A, 0x0D, 0xD8, 0xD5, 0x96, 0x03}};
inline constexpr CLSID CLSID_User{0x02AC287D, 0x6E10, 0x44C7, {0xB5, 0xE1, 0x9D, 0x4A, 0x7D, 0x1B, 0x6E, 0x76}};
inline constexpr const char* ProgID_api_version = "mrlib.api";
inline constexpr const char* ProgID_User_version = "mrlib.User";
inline constexpr bool foreign_build = false;
}  // namespace MRLIBLib
#endif
