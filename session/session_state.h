// The state of a session behind the class t2mrapp: one connection, one logged-in user, the
// connection flag and three staging tables for batch user administration, with the
// helpers that its methods in several files share.
#pragma once

#include <admin/staging_table.h>
#include <mrlib/client.h>
#include <oa/com_ptr.h>
#include <oleauto.h>

#include <initializer_list>
#include <string_view>

namespace quellar2mrapi {

class session_state {
public:
    // Read-only views for tests.
    const staging_table& user_table() const noexcept { return staged_users; }
    const staging_table& name_map_table() const noexcept { return staged_name_maps; }
    const staging_table& role_table() const noexcept { return staged_roles; }

    // Passes one line to the diagnostic log; never fails.
    void write_log(std::u16string_view text) noexcept;
    // A line of two pieces, joined only when the line is read or written.
    void write_log(std::u16string_view first, std::u16string_view second) noexcept;

    // A new User object for a staging row, made by the User class, whose class object the
    // session holds from its first row on: a table of many rows asks the runtime once.
    oa::com_ptr<IDispatch> new_user_row();
    // A new row filled through one of the library's User operations, named once per session.
    oa::com_ptr<IDispatch> filled_row(mrlib::op operation, std::initializer_list<VARIANT> args);

protected:
    // Logs the object's start and end, as the script's log shows a session.
    session_state();
    ~session_state();

    // The connection: the library's api object with the ids of its names, looked up once
    // per connection.
    mrlib::remote api;
    oa::com_ptr<IDispatch> user;
    VARIANT_BOOL good_connection = VARIANT_FALSE;
    staging_table staged_users;
    staging_table staged_name_maps;
    staging_table staged_roles;

private:
    bool debug_on = false;
    oa::com_ptr<IClassFactory> user_class;
    mrlib::names user_row_names;
};

}  // namespace quellar2mrapi
