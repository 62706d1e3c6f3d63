// A connection object of the tests' own, reached by name only, for what the emulated
// server never answers: statuses other than 0 and 1, and a SetMerivexUsernames that
// rewrites its arguments or is missing. Only the members the administration methods use
// do anything.
#pragma once

#include <oa/implements.h>
#include <oa/text.h>

#include <functional>
#include <string>
#include <vector>

namespace q2mr_test {

class stub_api final : public oa::implements<stub_api, IDispatch> {
public:
    static constexpr std::u16string_view class_name = u"stub_api";

    // Statuses the group operations deliver.
    LONG create_status = 1, prepare_status = 1, delete_status = 1, assign_status = 1;
    std::vector<std::string> calls;  // the operations called, in order
    // Serves SetMerivexUsernames; without it the name is unknown.
    std::function<HRESULT(DISPPARAMS& params, VARIANT* result)> set_merivex;
    int lookups = 0, invokes = 0;
    // The rows AddUsers and AddUsersRoles were handed, as pointers.
    std::vector<IDispatch*> rows_seen;

    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
        ++lookups;
        ids[0] = DISPID_UNKNOWN;
        for (DISPID id = 0; id < static_cast<DISPID>(std::size(members)); ++id)
            if (count == 1 && oa::view_z(names[0]) == members[id] && (id != set_merivex_id || set_merivex)) {
                ids[0] = id + 1;
                return S_OK;
            }
        return DISP_E_UNKNOWNNAME;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                                     EXCEPINFO*, UINT*) override {
        if (id < 1 || id > static_cast<DISPID>(std::size(members)) || !(flags & DISPATCH_METHOD))
            return DISP_E_MEMBERNOTFOUND;
        const DISPID member = id - 1;
        if (member == set_merivex_id) {
            if (!set_merivex) return DISP_E_MEMBERNOTFOUND;
            ++invokes;
            return set_merivex(*params, result);
        }
        calls.emplace_back(members[member].begin(), members[member].end());
        const LONG statuses[] = {create_status, prepare_status, delete_status, assign_status};
        VariantInit(result);
        if (member < 4) {
            result->vt = VT_I4;
            result->lVal = statuses[member];
        } else if (member < 6) {
            // The rows, last argument first: the user, row 0 by reference, the count.
            if (params->rgvarg[1].vt != (VT_BYREF | VT_DISPATCH)) return DISP_E_TYPEMISMATCH;
            IDispatch** first = params->rgvarg[1].ppdispVal;
            const SHORT n = params->rgvarg[0].iVal;
            rows_seen.assign(first, first + (n > 0 ? n : 0));
            result->vt = VT_BSTR;
            result->bstrVal = oa::make_bstr(u"taken").release();
        } else {
            result->vt = VT_BSTR;
            result->bstrVal = oa::make_bstr(u"loaded").release();
        }
        return S_OK;
    }

private:
    static constexpr std::u16string_view members[] = {
        u"CreateGroup", u"PrepareGroupDeletion", u"DeleteGroup", u"AssignUserToGroup", u"AddUsers",
        u"AddUsersRoles", u"LoadConfigurationData", u"SetMerivexUsernames"};
    static constexpr DISPID set_merivex_id = 7;
};

}  // namespace q2mr_test
