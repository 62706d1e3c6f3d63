// Batch commits: each sends one staged table from row 0 in one library call, logs the
// message and hands it to the script. Every failure ends the method with "    Exit
// Function" logged and the method's error text.
#include <component/t2mrapp.h>
#include <session/conventions.h>

#include <oa/text.h>

#include <algorithm>
#include <vector>

namespace quellar2mrapi {

using mrlib::op;
using oa::view;
namespace arg = mrlib::arg;

namespace {

// Before a table is handed over: a count past the table's rows is refused before anything
// is called, so no row outside the table is ever read (zero or below goes to the library
// as it is), and row 0 always holds an object.
void ready_to_send(session_state& session, staging_table& table, SHORT count) {
    if (count > table.rows()) oa::raise_vb(oa::vb::subscript_out_of_range);
    if (!table.row(0)) table.store(0, session.new_user_row().get());
}

// The library's message, or the method's own text when the message is empty.
oa::unique_bstr message_or(oa::unique_bstr message, std::u16string_view unknown_error) {
    if (view(message.get()).empty()) return oa::make_bstr(unknown_error);
    return message;
}

// A copy of the first rows of a table as one contiguous block of Variants, each holding
// its own reference to the row's object (or nothing).
std::vector<oa::unique_variant> row_block(const staging_table& table, LONG count) {
    static_assert(sizeof(oa::unique_variant) == sizeof(VARIANT), "the block is read as Variants");
    std::vector<oa::unique_variant> rows(static_cast<std::size_t>(count));
    for (LONG i = 0; i < count; ++i) {
        VARIANT& v = rows[static_cast<std::size_t>(i)];
        v.vt = VT_DISPATCH;
        v.pdispVal = oa::make_ref(table.row(i)).detach();
    }
    return rows;
}

// The object that a Variant holds, or nothing; any other value is a type mismatch.
oa::com_ptr<IDispatch> user_in(const VARIANT& value) {
    if (value.vt != VT_DISPATCH && value.vt != VT_UNKNOWN) oa::raise_vb(oa::vb::type_mismatch);
    return oa::late::object_of(value);
}

// SetMerivexUsernames with the user, row 0 by reference (a block of every row to be read,
// row 0 first) and the caller's count by reference. What the library leaves in the copy
// of row 0 goes back into row 0.
oa::unique_bstr send_name_mappings(mrlib::remote& api, IDispatch* user, staging_table& table, SHORT& count) {
    std::vector<oa::unique_variant> rows = row_block(table, std::max<LONG>(count, 1));
    const auto args = {arg::object(user), arg::row_copy(rows.data()), arg::count_ref(&count)};
    mrlib::reply value = api.call(op::SetMerivexUsernames, args);
    table.store(0, user_in(rows[0]).get());
    return oa::late::text_of(value.value());
}

}  // namespace

oa::unique_bstr t2mrapp::CreateUsers(SHORT numberOfUsers) {
    write_log(u"CreateUsers():");
    try {
        ready_to_send(*this, staged_users, numberOfUsers);
        const auto rows = {arg::object(user.get()), arg::rows(staged_users.first_row()), arg::count(numberOfUsers)};
        oa::unique_bstr message = need(api).call(op::AddUsers, rows).text();
        write_log(u"    return from api.AddUsers(), ErrMsg=", view(message.get()));
        // Its text is only logged: a failure here still replaces the message.
        oa::unique_bstr loaded = need(api).call(op::LoadConfigurationData, {arg::object(user.get())}).text();
        write_log(u"    LoadConfigurationData:", view(loaded.get()));
        return message_or(std::move(message), u"Unknown error occured in Norvane Change");
    } catch (...) {
        write_log(exit_function);
        return oa::make_bstr(failure_text(u"CreateUsersError Error: "));
    }
}

oa::unique_bstr t2mrapp::SetMerivexUsernames(SHORT& numberOfUsers) {
    write_log(u"SetMerivexUsernames():");
    try {
        ready_to_send(*this, staged_name_maps, numberOfUsers);
        oa::unique_bstr message = send_name_mappings(need(api), user.get(), staged_name_maps, numberOfUsers);
        write_log(u"    return from api.SetMerivexUsernames(), ErrMsg=", view(message.get()));
        return message_or(std::move(message), u"Unknown error occured in ChangeMerivex");
    } catch (...) {
        write_log(exit_function);
        return oa::make_bstr(failure_text(u"SetMerivexUsernames Error: "));
    }
}

oa::unique_bstr t2mrapp::AddUserRoles(SHORT numberOfUsers) {
    write_log(u"AddUserRoles():");
    try {
        ready_to_send(*this, staged_roles, numberOfUsers);
        const auto rows = {arg::object(user.get()), arg::rows(staged_roles.first_row()), arg::count(numberOfUsers)};
        oa::unique_bstr message = need(api).call(op::AddUsersRoles, rows).text();
        write_log(u"    return from api.AddUsersRoles(), ErrMsg=", view(message.get()));
        return message_or(std::move(message), u"Unknown error occured in Norvane Change");
    } catch (...) {
        write_log(exit_function);
        return oa::make_bstr(failure_text(u"AddUserRoles Error: "));
    }
}

}  // namespace quellar2mrapi
