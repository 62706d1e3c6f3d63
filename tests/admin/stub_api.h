// A connection object of the tests' own, for what the emulated server never answers:
// statuses other than 0 and 1, and a SetMerivexUsernames that rewrites its arguments or
// is missing. Only the members the administration methods use do anything.
#pragma once

#include <mrlib/mrlib.h>
#include <oa/implements.h>
#include <oa/text.h>

#include <functional>
#include <string>
#include <vector>

namespace q2mr_test {

class stub_api final : public oa::implements<stub_api, MRLIBLib::Iapi> {
public:
    using IUser = MRLIBLib::IUser;
    static constexpr DISPID set_merivex_id = 77;

    // Statuses the group operations deliver.
    LONG create_status = 1, prepare_status = 1, delete_status = 1, assign_status = 1;
    std::vector<std::string> calls;  // early-bound calls in order
    // Serves the late-bound SetMerivexUsernames; without it the name is unknown.
    std::function<HRESULT(DISPPARAMS& params, VARIANT* result)> set_merivex;
    int lookups = 0, invokes = 0;
    // The rows AddUsers and AddUsersRoles were handed, as pointers.
    std::vector<IUser*> rows_seen;

    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
        ++lookups;
        if (count != 1 || !set_merivex || std::u16string_view(names[0]) != u"SetMerivexUsernames") {
            ids[0] = DISPID_UNKNOWN;
            return DISP_E_UNKNOWNNAME;
        }
        ids[0] = set_merivex_id;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                                     EXCEPINFO*, UINT*) override {
        if (id != set_merivex_id || !(flags & DISPATCH_METHOD) || !set_merivex) return DISP_E_MEMBERNOTFOUND;
        ++invokes;
        return set_merivex(*params, result);
    }

    HRESULT STDMETHODCALLTYPE CreateGroup(IUser*, BSTR, LONG* status) override {
        calls.push_back("CreateGroup");
        *status = create_status;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE PrepareGroupDeletion(IUser*, BSTR, LONG* status) override {
        calls.push_back("PrepareGroupDeletion");
        *status = prepare_status;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE DeleteGroup(IUser*, BSTR, LONG* status) override {
        calls.push_back("DeleteGroup");
        *status = delete_status;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE AssignUserToGroup(IUser*, BSTR, BSTR, LONG* status) override {
        calls.push_back("AssignUserToGroup");
        *status = assign_status;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE AddUsers(IUser*, IUser** first, SHORT count, BSTR* message) override {
        calls.push_back("AddUsers");
        return take_rows(first, count, message);
    }
    HRESULT STDMETHODCALLTYPE AddUsersRoles(IUser*, IUser** first, SHORT count, BSTR* message) override {
        calls.push_back("AddUsersRoles");
        return take_rows(first, count, message);
    }
    HRESULT STDMETHODCALLTYPE LoadConfigurationData(IUser*, BSTR* text) override {
        calls.push_back("LoadConfigurationData");
        *text = oa::make_bstr(u"loaded").release();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetMerivexUsernames(IUser*, VARIANT*, SHORT*, VARIANT*) override {
        calls.push_back("SetMerivexUsernames");  // never: it is reached by name only
        return E_NOTIMPL;
    }

    HRESULT STDMETHODCALLTYPE OpenConnection(BSTR, BSTR, LONG, LONG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE AdminLogin(BSTR, BSTR, BSTR, BSTR, IUser**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE appLogin(BSTR, BSTR, BSTR, BSTR, BSTR, IUser**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE AddAPreferenceForAUser(IUser*, BSTR, BSTR, BSTR, VARIANT_BOOL, BSTR*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE QueryObjects(IUser*, BSTR, BSTR, BSTR, MRLIBLib::IObjectList**) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetDynamicAttrsData(IUser*, BSTR, SAFEARRAY**, LONG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetHostname(IUser*, BSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetDynamicAttrsData(IUser*, BSTR, BSTR, BYTE*, LONG, BSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE CreateRCObjectFromData(IUser*, BSTR, BSTR, BSTR, BSTR, BSTR, BYTE*, LONG,
                                                     BSTR*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE CRData(IUser*, BSTR, BSTR, MRLIBLib::IObjectData**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE ModifyCR(IUser*, MRLIBLib::IObjectData*, BSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE TransitionCR(IUser*, MRLIBLib::IObjectData*, BSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE CreateRelationship(IUser*, LONG, BSTR, BSTR, BSTR, BSTR, BSTR*) override {
        return E_NOTIMPL;
    }

private:
    HRESULT take_rows(IUser** first, SHORT count, BSTR* message) {
        rows_seen.assign(first, first + (count > 0 ? count : 0));
        *message = oa::make_bstr(u"taken").release();
        return S_OK;
    }
};

}  // namespace q2mr_test
