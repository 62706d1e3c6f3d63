// Batch commits: each sends one staged table from row 0 in one library call, logs the
// message and hands it to the script. Every failure ends the method with "    Exit
// Function" logged and the method's error text.
#include <admin/variant_text.h>
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

// The User object that a Variant holds, or nothing; any other value is a type mismatch.
oa::com_ptr<IUser> user_in(const VARIANT& value) {
    if (value.vt != VT_DISPATCH && value.vt != VT_UNKNOWN) oa::raise_vb(oa::vb::type_mismatch);
    oa::com_ptr<IUser> user;
    if (value.punkVal && FAILED(value.punkVal->QueryInterface(iid_of<IUser>(), user.put_void())))
        oa::raise_vb(oa::vb::type_mismatch);
    return user;
}

// A failed late-bound call as a script sees it: a member's failure with its own number and
// description, the dispatcher's refusals as the standard failures, any other failure with
// the description the library left in its error information.
[[noreturn]] void raise_invoke_failure(HRESULT hr, oa::unique_excepinfo& exception) {
    if (hr == DISP_E_EXCEPTION) {
        if (exception.pfnDeferredFillIn) exception.pfnDeferredFillIn(&exception);
        const HRESULT code = exception.scode ? exception.scode
                             : exception.wCode ? oa::vb_hresult(exception.wCode)
                                               : E_FAIL;
        oa::raise(code, view(exception.bstrDescription));
    }
    if (const int number = oa::vb_number_for(hr); number != 0) oa::raise_vb(number);
    throw oa::com_error(hr, oa::take_error_description(hr));
}

// SetMerivexUsernames, looked up by name now and invoked with the user, row 0 by
// reference (a block of every row to be read, row 0 first) and the caller's count by
// reference. What the library leaves in the copy of row 0 goes back into row 0.
oa::unique_bstr send_name_mappings(Iapi* api, IUser* user, staging_table& table, SHORT* count) {
    char16_t name[] = u"SetMerivexUsernames";
    LPOLESTR names[] = {oa::ole(name)};
    DISPID id = DISPID_UNKNOWN;
    if (FAILED(api->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id)))
        oa::raise_vb(oa::vb::no_such_member);

    row_block rows(table, std::max<LONG>(*count, 1));
    VARIANT args[3];  // last argument first
    args[0].vt = VT_BYREF | VT_I2;
    args[0].piVal = count;
    args[1].vt = VT_BYREF | VT_VARIANT;
    args[1].pvarVal = rows.first();
    args[2].vt = VT_DISPATCH;
    args[2].pdispVal = user;
    DISPPARAMS params{args, nullptr, 3, 0};
    oa::unique_variant value;
    oa::unique_excepinfo exception;
    UINT bad_argument = 0;
    const HRESULT hr = api->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD | DISPATCH_PROPERTYGET, &params,
                                   &value, &exception, &bad_argument);
    if (FAILED(hr)) raise_invoke_failure(hr, exception);
    table.store(0, user_in(rows.first()[0]).get());
    return text_of(value);
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
                              oa::unique_bstr message;
                              oa::check(need(api)->AddUsers(User.get(), UserTable.first_row(), *numberOfUsers,
                                                            message.put()));
                              return message;
                          },
                          [&] {
                              // Its text is only logged: a failure here still replaces the message.
                              oa::unique_bstr text;
                              oa::check(need(api)->LoadConfigurationData(User.get(), text.put()));
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
                              oa::unique_bstr message;
                              oa::check(need(api)->AddUsersRoles(User.get(), RoleTable.first_row(), *numberOfUsers,
                                                                 message.put()));
                              return message;
                          },
                          [] {})
                          .release();
        },
        numberOfUsers);
}

}  // namespace quellar2mrapi
