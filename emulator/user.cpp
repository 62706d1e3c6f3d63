// User: a logged-in user, or a staging row that the fill operations fill.
#include <emulator/objects.h>
#include <emulator/operation.h>

namespace mremu {

namespace {

// The server whose faults a User's calls take: the one it logged in to, if any.
const std::weak_ptr<server>& login_server(const user_object& u) noexcept {
    static const std::weak_ptr<server> none;
    return u.login ? u.login->to : none;
}

}  // namespace

user_object::user_object() {
    const opening opened(target::creation(mrlib::object_class::User), nullptr, no_arguments);
}

user_object::user_object(login_tag, const std::shared_ptr<server>& on, std::u16string name, std::u16string database,
                         std::u16string token_)
    : login(std::make_unique<login_info>(login_info{on, std::move(name), std::move(database), std::move(token_)})) {}

user_object* user_object::of(IUnknown* user) noexcept {
    if (!user) return nullptr;
    oa::com_ptr<IEmulatedUser> me;
    if (FAILED(user->QueryInterface(iid_of<IEmulatedUser>(), me.put_void())) || !me) return nullptr;
    return static_cast<user_object*>(me.get());  // the caller's reference keeps it alive
}

HRESULT user_object::get_LoginToken(BSTR* value) {
    return call(
        [&] {
            const opening opened(op::LoginToken, login_server(*this), no_arguments);
            put_text(value, login ? std::u16string_view(login->token) : std::u16string_view());
        },
        value);
}

HRESULT user_object::SetUserInfo(BSTR user, BSTR password, BSTR role, BSTR database) {
    return call([&] {
        const opening opened(op::SetUserInfo, login_server(*this),
                             [&](journal_line& l) { l.text(user).secret().text(role).text(database); });
        info = std::make_unique<user_info>(std::array{view(user), view(password), view(role), view(database)});
    });
}

HRESULT user_object::SetNameMapping(BSTR user, BSTR quellarUser) {
    return call([&] {
        const opening opened(op::SetNameMapping, login_server(*this),
                             [&](journal_line& l) { l.text(user).text(quellarUser); });
        mapping = std::make_unique<name_mapping>(std::array{view(user), view(quellarUser)});
    });
}

HRESULT user_object::SetRoleInfo(BSTR user, BSTR roleList, BSTR database) {
    return call([&] {
        const opening opened(op::SetRoleInfo, login_server(*this),
                             [&](journal_line& l) { l.text(user).text(roleList).text(database); });
        roles = std::make_unique<role_info>(std::array{view(user), view(roleList), view(database)});
    });
}

}  // namespace mremu
