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
                    LONG status = 0;
                    oa::check(need(api)->CreateGroup(User.get(), *groupname, &status));
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
                    LONG status = 0;
                    oa::check(need(api)->PrepareGroupDeletion(User.get(), *groupname, &status));
                    if (status == 0) return VARIANT_FALSE;
                    status = 0;
                    oa::check(need(api)->DeleteGroup(User.get(), *groupname, &status));
                    return succeeded(status);
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
                    LONG status = 0;
                    // The library takes the group first, the reverse of this method's order.
                    oa::check(need(api)->AssignUserToGroup(User.get(), *groupname, *username, &status));
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
