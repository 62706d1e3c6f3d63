// Group operations: create, delete and assign a user, each a status turned into a Boolean.
// Every failure ends the method with "    Exit Function" logged and False.
#include <component/t2mrapp.h>
#include <session/conventions.h>

namespace quellar2mrapi {

using mrlib::op;
namespace arg = mrlib::arg;

namespace {
// Only zero and non-zero tell apart; the value itself means nothing here.
VARIANT_BOOL succeeded(LONG status) noexcept { return status != 0 ? VARIANT_TRUE : VARIANT_FALSE; }
}  // namespace

VARIANT_BOOL t2mrapp::CreateAGroup(BSTR groupname) {
    write_log(u"CreateAGroup():");
    try {
        return succeeded(need(api).call(op::CreateGroup, {arg::object(user.get()), arg::text(groupname)}).status());
    } catch (...) {
        write_log(exit_function);
        return VARIANT_FALSE;
    }
}

VARIANT_BOOL t2mrapp::DeleteAGroup(BSTR groupname) {
    write_log(u"DeleteAGroup():");
    try {
        const auto group = {arg::object(user.get()), arg::text(groupname)};
        if (need(api).call(op::PrepareGroupDeletion, group).status() == 0) return VARIANT_FALSE;
        return succeeded(need(api).call(op::DeleteGroup, group).status());
    } catch (...) {
        write_log(exit_function);
        return VARIANT_FALSE;
    }
}

VARIANT_BOOL t2mrapp::AddUserToGroup(BSTR username, BSTR groupname) {
    write_log(u"AddUserToGroup():");
    try {
        // The library takes the group first, the reverse of this method's order.
        const auto assignment = {arg::object(user.get()), arg::text(groupname), arg::text(username)};
        return succeeded(need(api).call(op::AssignUserToGroup, assignment).status());
    } catch (...) {
        write_log(exit_function);
        return VARIANT_FALSE;
    }
}

}  // namespace quellar2mrapi
