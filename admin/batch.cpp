// Batch commits: each sends one staged table from row 0 in one library call, logs the
// message and hands it to the script. Every failure ends the method with "    Exit
// Function" logged and the method's error text.
#include <component/t2mrapp.h>
#include <session/conventions.h>

#include <oa/text.h>

#include <algorithm>
#include <vector>

namespace quellar2mrapi {

using oa::view;

struct batch_commit {
    std::u16string_view entry_line;
    std::u16string_view message_line;  // the message follows it directly
    std::u16string_view unknown_error;  // replaces an empty message
    std::u16string_view error_prefix;
};

namespace {

constexpr batch_commit create_users{u"CreateUsers():", u"    return from api.AddUsers(), ErrMsg=",
                                    u"Unknown error occured in Norvane Change", u"CreateUsersError Error: "};
constexpr batch_commit set_merivex_usernames{u"SetMerivexUsernames():",
                                             u"    return from api.SetMerivexUsernames(), ErrMsg=",
                                             u"Unknown error occured in ChangeMerivex", u"SetMerivexUsernames Error: "};
constexpr batch_commit add_user_roles{u"AddUserRoles():", u"    return from api.AddUsersRoles(), ErrMsg=",
                                      u"Unknown error occured in Norvane Change", u"AddUserRoles Error: "};

// A copy of the first rows of a table as one contiguous block of Variants, each holding
// its own reference to the row's object (or nothing).
class row_block {
public:
    row_block(const staging_table& table, LONG count) : rows_(static_cast<std::size_t>(count)) {
        for (LONG i = 0; i < count; ++i) {
            VARIANT& v = rows_[static_cast<std::size_t>(i)];
            VariantInit(&v);
            IDispatch* object = table.row(i);
            if (object) object->AddRef();
            v.vt = VT_DISPATCH;
            v.pdispVal = object;
        }
    }
    row_block(const row_block&) = delete;
    row_block& operator=(const row_block&) = delete;
    ~row_block() {
        for (VARIANT& v : rows_) VariantClear(&v);
    }
    VARIANT* first() noexcept { return rows_.data(); }

private:
    std::vector<VARIANT> rows_;
};

// The object that a Variant holds, or nothing; any other value is a type mismatch.
oa::com_ptr<IDispatch> user_in(const VARIANT& value) {
    if (value.vt != VT_DISPATCH && value.vt != VT_UNKNOWN) oa::raise_vb(oa::vb::type_mismatch);
    return oa::late::object_of(value);
}

// SetMerivexUsernames with the user, row 0 by reference (a block of every row to be read,
// row 0 first) and the caller's count by reference. What the library leaves in the copy
// of row 0 goes back into row 0.
oa::unique_bstr send_name_mappings(mrlib::remote& api, IDispatch* user, staging_table& table, SHORT* count) {
    row_block rows(table, std::max<LONG>(*count, 1));
    mrlib::reply value = api.call(mrlib::op::SetMerivexUsernames, {mrlib::arg::object(user),
                                                                    mrlib::arg::row_copy(rows.first()),
                                                                    mrlib::arg::count_ref(count)});
    table.store(0, user_in(rows.first()[0]).get());
    return oa::late::text_of(value.value());
}

}  // namespace

template <class Send, class Then>
oa::unique_bstr t2mrapp::commit_table(const batch_commit& batch, staging_table& table, SHORT* numberOfUsers,
                                      Send&& send, Then&& then) {
    WriteLog(batch.entry_line);
    return abandon_on_failure(
        [&] {
            // A count past the table's rows is refused before anything is called: no row
            // outside the table is ever read. Zero or below goes to the library as it is.
            if (*numberOfUsers > table.rows()) oa::raise_vb(oa::vb::subscript_out_of_range);
            // Row 0 always holds an object when the table is handed over.
            if (!table.row(0)) table.store(0, new_user_row().get());
            oa::unique_bstr message = send();
            WriteLog(batch.message_line, view(message.get()));
            then();
            if (view(message.get()).empty()) return oa::make_bstr(batch.unknown_error);
            return message;
        },
        [&](const oa::com_error& e) {
            WriteLog(u"    Exit Function");
            return oa::make_bstr(error_text(batch.error_prefix, e));
        });
}

HRESULT t2mrapp::CreateUsers(SHORT* numberOfUsers, BSTR* result) {
    return call_result(
        result,
        [&] {
            *result = commit_table(
                          create_users, UserTable, numberOfUsers,
                          [&] {
                              return need(api)
                                  .call(mrlib::op::AddUsers, {mrlib::arg::object(User.get()),
                                                              mrlib::arg::rows(UserTable.first_row()),
                                                              mrlib::arg::count(*numberOfUsers)})
                                  .text();
                          },
                          [&] {
                              // Its text is only logged: a failure here still replaces the message.
                              oa::unique_bstr text =
                                  need(api)
                                      .call(mrlib::op::LoadConfigurationData, {mrlib::arg::object(User.get())})
                                      .text();
                              WriteLog(u"    LoadConfigurationData:" + std::u16string(view(text.get())));
                          })
                          .release();
        },
        numberOfUsers);
}

HRESULT t2mrapp::SetMerivexUsernames(SHORT* numberOfUsers, BSTR* result) {
    return call_result(
        result,
        [&] {
            *result = commit_table(
                          set_merivex_usernames, NameMapTable, numberOfUsers,
                          [&] { return send_name_mappings(need(api), User.get(), NameMapTable, numberOfUsers); },
                          [] {})
                          .release();
        },
        numberOfUsers);
}

HRESULT t2mrapp::AddUserRoles(SHORT* numberOfUsers, BSTR* result) {
    return call_result(
        result,
        [&] {
            *result = commit_table(
                          add_user_roles, RoleTable, numberOfUsers,
                          [&] {
                              return need(api)
                                  .call(mrlib::op::AddUsersRoles, {mrlib::arg::object(User.get()),
                                                                   mrlib::arg::rows(RoleTable.first_row()),
                                                                   mrlib::arg::count(*numberOfUsers)})
                                  .text();
                          },
                          [] {})
                          .release();
        },
        numberOfUsers);
}

}  // namespace quellar2mrapi
