// The three staging methods: a new row filled through the library's User operation and
// stored at the index, over three tables.
#include <component/t2mrapp.h>
#include <session/conventions.h>

#include <oa/text.h>

namespace quellar2mrapi {

using mrlib::op;
namespace arg = mrlib::arg;

namespace {
// A table past its bound grows by this many rows per call, however far the index lies.
// Outside the trap: an overflow of the bound fails the call itself, bound and rows kept.
constexpr SHORT growth_step = 300;
void make_room(staging_table& table, SHORT index) {
    if (index > table.bound()) table.grow(growth_step);
}
}  // namespace

// Only a filled row is stored; the row's earlier object goes with the store. The empty
// text (no text at all) says that the row is staged.
oa::unique_bstr t2mrapp::AddUserToArray(SHORT index, BSTR username, BSTR Password, BSTR Role, BSTR database) {
    write_log(u"AddUserToArray():");
    make_room(staged_users, index);
    try {
        const auto info = {arg::text(username), arg::text(Password), arg::text(Role), arg::text(database)};
        staged_users.store(index, filled_row(op::SetUserInfo, info).get());
        return {};
    } catch (...) {
        return oa::make_bstr(failure_text(u"AddUserToArray Error: "));
    }
}

oa::unique_bstr t2mrapp::AddUserToNMXArray(SHORT index, BSTR username, BSTR quellarUserName) {
    write_log(u"AddUserToNMXArray():");
    make_room(staged_name_maps, index);
    try {
        const auto mapping = {arg::text(username), arg::text(quellarUserName)};
        staged_name_maps.store(index, filled_row(op::SetNameMapping, mapping).get());
        return {};
    } catch (...) {
        return oa::make_bstr(failure_text(u"AddUserToNMXArray Error: "));
    }
}

oa::unique_bstr t2mrapp::AddUserToRoleArray(SHORT index, BSTR username, BSTR roleList, BSTR database) {
    write_log(u"AddUserToRoleArray():");
    make_room(staged_roles, index);
    try {
        const auto roles = {arg::text(username), arg::text(roleList), arg::text(database)};
        staged_roles.store(index, filled_row(op::SetRoleInfo, roles).get());
        return {};
    } catch (...) {
        return oa::make_bstr(failure_text(u"AddUserToRoleArray Error: "));
    }
}

}  // namespace quellar2mrapi
