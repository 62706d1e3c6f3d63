// api: the connection, logins, and the check of a logged-in user that every other api
// operation makes.
#include <emulator/objects.h>
#include <emulator/operation.h>

namespace mremu {

namespace {

constexpr std::u16string_view admin_role = u"Admin";

}  // namespace

api_object::api_object() {
    const opening opened(target::creation(mrlib::object_class::api), nullptr, no_arguments);
}

api_object::session api_object::logged_in(server& on, IDispatch* user) {
    if (!user) oa::raise(errors::no_user, u"No User was given: log in first");
    user_object* u = user_object::of(user);
    if (!u) oa::raise(errors::foreign_object, u"The User object was not made by this library");
    if (u->logged_to() != &on || u->login->token.empty())
        oa::raise(errors::not_logged_in, u"The User is not logged in to this change server");
    const user_record* rec = on.user(u->login->name);
    return {on, *u, rec && contains(rec->roles, admin_role)};
}

HRESULT api_object::OpenConnection(BSTR protocol, BSTR host, LONG port, LONG* status) {
    return call(
        [&] {
            auto& st = state();
            const opening opened(
                op::OpenConnection,
                [&] {
                    std::shared_ptr<server> at;
                    for (const auto& s : st.servers)
                        if (s->port == port && oa::same_ascii_case(s->host, view(host))) at = s;
                    return at;
                },
                [&](journal_line& l) { l.text(protocol).text(host).number(port); });
            const std::shared_ptr<server>& at = opened.on();
            server_.reset();
            if (!at) {
                *status = 0;
            } else if (!at->offers(view(protocol))) {
                *status = -1;
            } else {
                server_ = at;
                *status = 1;
            }
        },
        status);
}

void api_object::login(op o, BSTR name, BSTR password, BSTR role, BSTR database, BSTR app, IUser** user) {
    *user = nullptr;
    const opening opened(
        o, server_,
        [&](journal_line& l) {
            l.text(name).secret().text(role).text(database);
            if (o == op::appLogin) l.text(app);
        },
        needs::connection);
    server& on = opened.connected();
    const user_record* rec = on.user(view(name));
    if (!rec) return;
    const bool accepted = rec->password == view(password) && contains(rec->roles, view(role)) &&
                          on.has_database(view(database)) && (o != op::AdminLogin || view(role) == admin_role);
    *user = handed_out(oa::make_self<user_object>(user_object::login_tag{}, opened.on(), rec->name, str(database),
                                                  accepted ? state().new_token() : std::u16string()));
}

HRESULT api_object::AdminLogin(BSTR name, BSTR password, BSTR role, BSTR database, IUser** user) {
    return call([&] { login(op::AdminLogin, name, password, role, database, nullptr, user); }, user);
}

HRESULT api_object::appLogin(BSTR name, BSTR password, BSTR role, BSTR database, BSTR loginAppID, IUser** user) {
    return call([&] { login(op::appLogin, name, password, role, database, loginAppID, user); }, user);
}

}  // namespace mremu
