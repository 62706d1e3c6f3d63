// The three staging methods: one procedure over three tables, differing only in the table,
// the row's fill operation and the texts.
#include <component/t2mrapp.h>
#include <session/conventions.h>

#include <oa/text.h>

namespace quellar2mrapi {

namespace {
// A table past its bound grows by this many rows per call, however far the index lies.
constexpr SHORT growth_step = 300;
}  // namespace

template <class Fill>
oa::unique_bstr t2mrapp::stage_row(std::u16string_view method_name, staging_table& table, SHORT index, Fill&& fill) {
    WriteLog(method_name, u"():");
    // Outside the trap: an overflow of the bound fails the call itself, bound and rows kept.
    if (index > table.bound()) table.grow(growth_step);
    return abandon_on_failure(
        [&] {
            oa::com_ptr<IDispatch> row = new_user_row();
            fill(row.get());
            // Only a filled row is stored; the row's earlier object goes with the store.
            table.store(index, row.get());
            return oa::unique_bstr();  // the empty text
        },
        [&](const oa::com_error& e) { return oa::make_bstr(error_text(std::u16string(method_name) + u" Error: ", e)); });
}

HRESULT t2mrapp::AddUserToArray(SHORT* index, BSTR* username, BSTR* Password, BSTR* Role, BSTR* database,
                                BSTR* result) {
    return call_result(
        result,
        [&] {
            *result = stage_row(u"AddUserToArray", UserTable, *index, [&](IDispatch* row) {
                          fill_row(row, mrlib::op::SetUserInfo,
                                   {mrlib::arg::text(*username), mrlib::arg::text(*Password), mrlib::arg::text(*Role),
                                    mrlib::arg::text(*database)});
                      }).release();
        },
        index, username, Password, Role, database);
}

HRESULT t2mrapp::AddUserToNMXArray(SHORT* index, BSTR* username, BSTR* quellarUserName, BSTR* result) {
    return call_result(
        result,
        [&] {
            *result = stage_row(u"AddUserToNMXArray", NameMapTable, *index, [&](IDispatch* row) {
                          fill_row(row, mrlib::op::SetNameMapping,
                                   {mrlib::arg::text(*username), mrlib::arg::text(*quellarUserName)});
                      }).release();
        },
        index, username, quellarUserName);
}

HRESULT t2mrapp::AddUserToRoleArray(SHORT* index, BSTR* username, BSTR* roleList, BSTR* database, BSTR* result) {
    return call_result(
        result,
        [&] {
            *result = stage_row(u"AddUserToRoleArray", RoleTable, *index, [&](IDispatch* row) {
                          fill_row(row, mrlib::op::SetRoleInfo,
                                   {mrlib::arg::text(*username), mrlib::arg::text(*roleList),
                                    mrlib::arg::text(*database)});
                      }).release();
        },
        index, username, roleList, database);
}

}  // namespace quellar2mrapi
