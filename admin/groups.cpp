// Group operations: create, delete and assign a user, each a status turned into a Boolean.
// Every failure ends the method with "    Exit Function" logged and False.
#include <component/t2mrapp.h>
#include <session/conventions.h>

namespace quellar2mrapi {

namespace {
// Only zero and non-zero tell apart; the value itself means nothing here.
VARIANT_BOOL succeeded(LONG status) noexcept { return status != 0 ? VARIANT_TRUE : VARIANT_FALSE; }
}  // namespace

HRESULT t2mrapp::CreateAGroup(BSTR* groupname, VARIANT_BOOL* result) {
    return call_result(
        result,
        [&] {
            WriteLog(u"CreateAGroup():");
            *result = abandon_on_failure(
                [&] {
                    const LONG status = need(api)
                                            .call(mrlib::op::CreateGroup,
                                                  {mrlib::arg::object(User.get()), mrlib::arg::text(*groupname)})
                                            .status();
                    return succeeded(status);
                },
                [&](const oa::com_error&) {
                    WriteLog(u"    Exit Function");
                    return VARIANT_FALSE;
                });
        },
        groupname);
}

HRESULT t2mrapp::DeleteAGroup(BSTR* groupname, VARIANT_BOOL* result) {
    return call_result(
        result,
        [&] {
            WriteLog(u"DeleteAGroup():");
            *result = abandon_on_failure(
                [&] {
                    const auto group = {mrlib::arg::object(User.get()), mrlib::arg::text(*groupname)};
                    if (need(api).call(mrlib::op::PrepareGroupDeletion, group).status() == 0) return VARIANT_FALSE;
                    return succeeded(need(api).call(mrlib::op::DeleteGroup, group).status());
                },
                [&](const oa::com_error&) {
                    WriteLog(u"    Exit Function");
                    return VARIANT_FALSE;
                });
        },
        groupname);
}

HRESULT t2mrapp::AddUserToGroup(BSTR* username, BSTR* groupname, VARIANT_BOOL* result) {
    return call_result(
        result,
        [&] {
            WriteLog(u"AddUserToGroup():");
            *result = abandon_on_failure(
                [&] {
                    // The library takes the group first, the reverse of this method's order.
                    const LONG status = need(api)
                                            .call(mrlib::op::AssignUserToGroup,
                                                  {mrlib::arg::object(User.get()), mrlib::arg::text(*groupname),
                                                   mrlib::arg::text(*username)})
                                            .status();
                    return succeeded(status);
                },
                [&](const oa::com_error&) {
                    WriteLog(u"    Exit Function");
                    return VARIANT_FALSE;
                });
        },
        username, groupname);
}

}  // namespace quellar2mrapi
