// The library's operations. Every call journals itself first (when a journal is open),
// then takes any fault aimed at it, then checks its arguments, then acts.
#include <emulator/objects.h>

#include <oa/text.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <functional>

namespace mremu {

namespace {

using oa::view;

std::u16string str(BSTR b) { return std::u16string(view(b)); }
std::u16string num(long long n) { return oa::ascii_to_utf16(std::to_string(n)); }

bool contains(const std::vector<std::u16string>& list, std::u16string_view item) {
    return std::find(list.begin(), list.end(), item) != list.end();
}

template <class Text>
std::u16string joined(const std::vector<Text>& items, std::u16string_view separator = u", ") {
    std::u16string out;
    for (const auto& i : items) {
        if (!out.empty()) out += separator;
        out += i;
    }
    return out;
}

std::vector<std::u16string> split(std::u16string_view text, std::u16string_view separators) {
    std::vector<std::u16string> out;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find_first_of(separators, start);
        if (end == std::u16string_view::npos) end = text.size();
        if (end > start) out.emplace_back(text.substr(start, end - start));
        start = end + 1;
    }
    return out;
}

// The server's users by name for one batch: open addressing over one block, so that a
// batch of many thousand rows makes no allocation per user and stays linear.
class user_index {
public:
    user_index(const std::vector<user_record>& users, std::size_t more) : users_(users) {
        std::size_t size = 16;
        while (size < 2 * (users.size() + more)) size *= 2;
        slots_.resize(size);
        for (std::size_t k = 0; k < users.size(); ++k) add(k);
    }
    // The record's position, or npos.
    std::size_t find(std::u16string_view name) const noexcept {
        const std::size_t hash = hash_of(name);
        for (std::size_t i = hash & mask();; i = (i + 1) & mask()) {
            const slot& s = slots_[i];
            if (!s.position) return npos;
            if (s.hash == hash && users_[s.position - 1].name == name) return s.position - 1;
        }
    }
    // Indexes the record at position k, whose name is not indexed yet.
    void add(std::size_t k) noexcept {
        const std::size_t hash = hash_of(users_[k].name);
        std::size_t i = hash & mask();
        while (slots_[i].position) i = (i + 1) & mask();
        slots_[i] = {hash, k + 1};
    }
    static constexpr std::size_t npos = static_cast<std::size_t>(-1);

private:
    struct slot {
        std::size_t hash = 0;
        std::size_t position = 0;  // the record's position + 1; 0 for a free slot
    };
    static std::size_t hash_of(std::u16string_view name) noexcept { return std::hash<std::u16string_view>{}(name); }
    std::size_t mask() const noexcept { return slots_.size() - 1; }
    const std::vector<user_record>& users_;
    std::vector<slot> slots_;
};

constexpr std::u16string_view data_label = u"Quellar xml data";
constexpr std::u16string_view admin_role = u"Admin";

// The object that a table row of SetMerivexUsernames holds, or nullptr.
IUnknown* object_in(const VARIANT& v) noexcept {
    switch (v.vt) {
    case VT_DISPATCH: return v.pdispVal;
    case VT_UNKNOWN: return v.punkVal;
    case VT_BYREF | VT_DISPATCH: return v.ppdispVal ? *v.ppdispVal : nullptr;
    case VT_BYREF | VT_UNKNOWN: return v.ppunkVal ? *v.ppunkVal : nullptr;
    case VT_BYREF | VT_VARIANT:
        if (v.pvarVal && v.pvarVal->vt != (VT_BYREF | VT_VARIANT)) return object_in(*v.pvarVal);
        return nullptr;
    default: return nullptr;
    }
}

// The text of count bytes of UTF-16LE code units at first; an odd last byte is dropped.
std::u16string bytes_text(const BYTE* first, long long count) {
    if (!first || count < 2) return {};
    std::u16string text(static_cast<std::size_t>(count / 2), u'\0');
    std::memcpy(text.data(), first, text.size() * 2);
    return text;
}

long long array_bytes(SAFEARRAY* a) noexcept {
    if (!a || a->cDims != 1) return 0;
    return static_cast<long long>(a->rgsabound[0].cElements) * a->cbElements;
}

// A caller's byte array in the journal: its size in bytes and their text.
journal_line& journal_array(journal_line& l, SAFEARRAY* a) {
    void* data = nullptr;
    if (!a || SafeArrayGetElemsize(a) != 1 || FAILED(SafeArrayAccessData(a, &data)))
        return l.buffer(array_bytes(a), nullptr, 0);
    struct unaccess {
        SAFEARRAY* a;
        ~unaccess() { SafeArrayUnaccessData(a); }
    } unlock{a};
    return l.buffer(array_bytes(a), static_cast<const BYTE*>(data), array_bytes(a));
}

oa::unique_safearray text_array(std::u16string_view text) {
    const ULONG bytes = static_cast<ULONG>(text.size() * 2);
    oa::unique_safearray a(SafeArrayCreateVector(VT_UI1, 0, bytes));
    if (!a) throw std::bad_alloc();
    void* data = nullptr;
    oa::check(SafeArrayAccessData(a.get(), &data));
    std::memcpy(data, text.data(), bytes);
    SafeArrayUnaccessData(a.get());
    return a;
}

void put_text(BSTR* out, std::u16string_view text) { *out = oa::make_bstr(text).release(); }

// Checks shared by SetDynamicAttrsData and CreateRCObjectFromData.
void check_data(BSTR label, const BYTE* first, LONG count) {
    if (view(label) != data_label)
        oa::raise(errors::bad_label, u"The data label must be \"Quellar xml data\", not \"" + str(label) + u"\"");
    if (count <= 0 || count % 2 != 0)
        oa::raise(errors::bad_byte_count,
                  u"The byte count " + num(count) + u" does not fit a buffer of UTF-16 text (a positive even number)");
    if (!first) oa::raise(errors::missing_argument, u"No data buffer was given");
}

// The next free numeric id: CRs and objects share the namespace of relations.
std::u16string next_cvid(const server& on) {
    unsigned long long highest = 0;
    auto consider = [&](const std::u16string& id) {
        if (id.empty() || id.size() > 18) return;
        unsigned long long n = 0;
        for (char16_t c : id) {
            if (c < u'0' || c > u'9') return;
            n = n * 10 + static_cast<unsigned>(c - u'0');
        }
        highest = std::max(highest, n);
    };
    for (const auto& o : on.objects) consider(o.cvid);
    for (const auto& c : on.crs) consider(c.id);
    return num(static_cast<long long>(highest + 1));
}

template <class T> auto* handed_out(oa::com_ptr<T> p) { return p.detach(); }

}  // namespace

// ------------------------------------------------------------------------------------
// User

user_object::user_object() {
    auto& st = state();
    auto lock = st.lock();
    st.record(op::new_user, [](journal_line&) {});
    st.apply_faults(op::new_user, nullptr);
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
            auto& st = state();
            auto lock = st.lock();
            st.record(op::User_LoginToken, [](journal_line&) {});
            st.apply_faults(op::User_LoginToken, logged_to());
            put_text(value, login ? std::u16string_view(login->token) : std::u16string_view());
        },
        value);
}

HRESULT user_object::SetUserInfo(BSTR user, BSTR password, BSTR role, BSTR database) {
    return call([&] {
        auto& st = state();
        auto lock = st.lock();
        st.record(op::User_SetUserInfo, [&](journal_line& l) { l.text(user).secret().text(role).text(database); });
        st.apply_faults(op::User_SetUserInfo, logged_to());
        info = std::make_unique<user_info>(std::array{view(user), view(password), view(role), view(database)});
    });
}

HRESULT user_object::SetNameMapping(BSTR user, BSTR quellarUser) {
    return call([&] {
        auto& st = state();
        auto lock = st.lock();
        st.record(op::User_SetNameMapping, [&](journal_line& l) { l.text(user).text(quellarUser); });
        st.apply_faults(op::User_SetNameMapping, logged_to());
        mapping = std::make_unique<name_mapping>(std::array{view(user), view(quellarUser)});
    });
}

HRESULT user_object::SetRoleInfo(BSTR user, BSTR roleList, BSTR database) {
    return call([&] {
        auto& st = state();
        auto lock = st.lock();
        st.record(op::User_SetRoleInfo, [&](journal_line& l) { l.text(user).text(roleList).text(database); });
        st.apply_faults(op::User_SetRoleInfo, logged_to());
        roles = std::make_unique<role_info>(std::array{view(user), view(roleList), view(database)});
    });
}

// ------------------------------------------------------------------------------------
// ObjectList, ObjectData, Attribute

HRESULT object_list_object::get_Count(SHORT* count) {
    return call(
        [&] {
            auto& st = state();
            auto lock = st.lock();
            st.record(op::ObjectList_Count, [](journal_line&) {});
            st.apply_faults(op::ObjectList_Count, on_.lock().get());
            if (closed_) oa::raise(errors::list_closed, u"The ObjectList was closed");
            *count = static_cast<SHORT>(std::min<std::size_t>(found_.size(), SHRT_MAX));
        },
        count);
}

HRESULT object_list_object::Item(SHORT index, IObjectData** item) {
    return call(
        [&] {
            *item = nullptr;
            auto& st = state();
            auto lock = st.lock();
            st.record(op::ObjectList_Item, [&](journal_line& l) { l.number(index); });
            st.apply_faults(op::ObjectList_Item, on_.lock().get());
            if (closed_) oa::raise(errors::list_closed, u"The ObjectList was closed");
            if (index < 0 || static_cast<std::size_t>(index) >= found_.size())
                oa::raise(errors::bad_index, u"Item " + num(index) + u" is out of range: the list holds " +
                                                 num(static_cast<long long>(found_.size())) + u" object(s)");
            const object_record& o = found_[static_cast<std::size_t>(index)];
            std::vector<object_data_object::slot> slots;
            for (auto [name, value] : {std::pair<std::u16string_view, const std::u16string*>{u"cvid", &o.cvid},
                                       {u"instance", &o.instance},
                                       {u"problem", &o.problem}})
                slots.push_back({std::u16string(name), true, *value, *value, false});
            *item = handed_out(oa::make_self<object_data_object>(on_.lock(), false, o.cvid, std::move(slots)));
        },
        item);
}

HRESULT object_list_object::Close() {
    return call([&] {
        auto& st = state();
        auto lock = st.lock();
        st.record(op::ObjectList_Close, [](journal_line&) {});
        st.apply_faults(op::ObjectList_Close, on_.lock().get());
        closed_ = true;
    });
}

object_data_object* object_data_object::of(IUnknown* data) noexcept {
    if (!data) return nullptr;
    oa::com_ptr<IEmulatedData> me;
    if (FAILED(data->QueryInterface(iid_of<IEmulatedData>(), me.put_void())) || !me) return nullptr;
    return static_cast<object_data_object*>(me.get());
}

HRESULT object_data_object::GetAttribute(BSTR name, IAttribute** attribute) {
    return call(
        [&] {
            *attribute = nullptr;
            auto& st = state();
            auto lock = st.lock();
            st.record(op::ObjectData_GetAttribute, [&](journal_line& l) { l.text(name); });
            st.apply_faults(op::ObjectData_GetAttribute, current_server());
            for (std::size_t i = 0; i < slots_.size(); ++i) {
                if (slots_[i].name != view(name)) continue;
                if (!slots_[i].present)
                    oa::raise(errors::unknown_attribute, u"CR " + id_ + u" has no attribute \"" + str(name) + u"\"");
                *attribute = handed_out(oa::make_self<attribute_object>(oa::com_ptr<object_data_object>(this), i));
                return;
            }
            if (is_cr_)
                oa::raise(errors::attribute_not_requested,
                          u"The attribute \"" + str(name) + u"\" was not asked for when CR " + id_ + u" was read");
            oa::raise(errors::unknown_attribute, u"Object " + id_ + u" has no attribute \"" + str(name) + u"\"");
        },
        attribute);
}

HRESULT attribute_object::get_Value(BSTR* value) {
    return call(
        [&] {
            auto& st = state();
            auto lock = st.lock();
            st.record(op::Attribute_Value, [](journal_line&) {});
            st.apply_faults(op::Attribute_Value, data_->current_server());
            put_text(value, data_->slots()[slot_].value);
        },
        value);
}

HRESULT attribute_object::put_Value(BSTR value) {
    return call([&] {
        auto& st = state();
        auto lock = st.lock();
        st.record(op::Attribute_Value_put, [&](journal_line& l) { l.text(value); });
        st.apply_faults(op::Attribute_Value_put, data_->current_server());
        auto& s = data_->slots()[slot_];
        s.value = str(value);
        s.written = true;
    });
}

// ------------------------------------------------------------------------------------
// api: connection and sessions

api_object::api_object() {
    auto& st = state();
    auto lock = st.lock();
    st.record(op::new_api, [](journal_line&) {});
    st.apply_faults(op::new_api, nullptr);
}

server& api_object::connected(op o) {
    server* on = current_server();
    state().apply_faults(o, on);
    if (!on) oa::raise(errors::not_connected, u"The api is not connected to a change server: OpenConnection first");
    return *on;
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
            auto lock = st.lock();
            st.record(op::OpenConnection, [&](journal_line& l) { l.text(protocol).text(host).number(port); });
            std::shared_ptr<server> at;
            for (const auto& s : st.servers)
                if (s->port == port && same_ascii_case(s->host, view(host))) at = s;
            st.apply_faults(op::OpenConnection, at.get());
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
    auto& st = state();
    auto lock = st.lock();
    st.record(o, [&](journal_line& l) {
        l.text(name).secret().text(role).text(database);
        if (o == op::appLogin) l.text(app);
    });
    server& on = connected(o);
    const user_record* rec = on.user(view(name));
    if (!rec) return;
    const bool accepted = rec->password == view(password) && contains(rec->roles, view(role)) &&
                          on.has_database(view(database)) && (o != op::AdminLogin || view(role) == admin_role);
    *user = handed_out(oa::make_self<user_object>(user_object::login_tag{}, server_.lock(), rec->name, str(database),
                                                  accepted ? st.new_token() : std::u16string()));
}

HRESULT api_object::AdminLogin(BSTR name, BSTR password, BSTR role, BSTR database, IUser** user) {
    return call([&] { login(op::AdminLogin, name, password, role, database, nullptr, user); }, user);
}

HRESULT api_object::appLogin(BSTR name, BSTR password, BSTR role, BSTR database, BSTR loginAppID, IUser** user) {
    return call([&] { login(op::appLogin, name, password, role, database, loginAppID, user); }, user);
}

// ------------------------------------------------------------------------------------
// api: administration

HRESULT api_object::CreateGroup(IDispatch* user, BSTR group, LONG* status) {
    return call(
        [&] {
            auto& st = state();
            auto lock = st.lock();
            st.record(op::CreateGroup, [&](journal_line& l) { l.object("User", user).text(group); });
            session s = logged_in(connected(op::CreateGroup), user);
            *status = 0;
            if (!s.admin || view(group).empty() || s.on.group(view(group))) return;
            s.on.groups.push_back({str(group), {}});
            *status = 1;
        },
        status);
}

HRESULT api_object::PrepareGroupDeletion(IDispatch* user, BSTR group, LONG* status) {
    return call(
        [&] {
            auto& st = state();
            auto lock = st.lock();
            st.record(op::PrepareGroupDeletion, [&](journal_line& l) { l.object("User", user).text(group); });
            session s = logged_in(connected(op::PrepareGroupDeletion), user);
            *status = s.admin && s.on.group(view(group)) ? 1 : 0;
        },
        status);
}

HRESULT api_object::DeleteGroup(IDispatch* user, BSTR group, LONG* status) {
    return call(
        [&] {
            auto& st = state();
            auto lock = st.lock();
            st.record(op::DeleteGroup, [&](journal_line& l) { l.object("User", user).text(group); });
            session s = logged_in(connected(op::DeleteGroup), user);
            *status = 0;
            if (!s.admin) return;
            auto& groups = s.on.groups;
            auto it = std::find_if(groups.begin(), groups.end(), [&](const group_record& g) { return g.name == view(group); });
            if (it == groups.end()) return;
            groups.erase(it);
            *status = 1;
        },
        status);
}

HRESULT api_object::AssignUserToGroup(IDispatch* user, BSTR group, BSTR userName, LONG* status) {
    return call(
        [&] {
            auto& st = state();
            auto lock = st.lock();
            st.record(op::AssignUserToGroup,
                      [&](journal_line& l) { l.object("User", user).text(group).text(userName); });
            session s = logged_in(connected(op::AssignUserToGroup), user);
            *status = 0;
            group_record* g = s.on.group(view(group));
            if (!s.admin || !g || !s.on.user(view(userName))) return;
            if (!contains(g->members, view(userName))) g->members.push_back(str(userName));
            *status = 1;
        },
        status);
}

namespace {
// Journals a table handed over as its first row: the rows that will be read, then the count.
void record_rows(op o, IDispatch* user, IDispatch** first, SHORT count, SHORT available) {
    state().record(o, [&](journal_line& l) {
        l.object("User", user).begin_rows();
        const SHORT readable = first ? std::min(count, available) : 0;
        for (SHORT i = 0; i < readable; ++i) l.row("User", first[i]);
        l.end_rows().number(count);
    });
}

void check_available(op o, SHORT count, SHORT available) {
    if (count > available)
        oa::raise(errors::too_many_rows, u"A late-bound " + oa::ascii_to_utf16(op_name(o)) +
                                             u" call carries one row only; pass a count of 1 or call it early-bound");
}
}  // namespace

HRESULT api_object::AddUsers(IDispatch* user, IDispatch** firstRow, SHORT count, BSTR* message) {
    return add_users(user, firstRow, count, message, SHRT_MAX);
}

HRESULT api_object::add_users(IDispatch* user, IDispatch** firstRow, SHORT count, BSTR* message, SHORT available) {
    return call(
        [&] {
            auto& st = state();
            auto lock = st.lock();
            record_rows(op::AddUsers, user, firstRow, count, available);
            session s = logged_in(connected(op::AddUsers), user);
            check_available(op::AddUsers, count, available);
            std::u16string text;
            auto answer = [&] { put_text(message, text); };
            if (count < 1 || !s.admin) return answer();
            if (!firstRow) oa::raise(errors::missing_argument, u"No table was given");
            std::vector<const user_object::user_info*> rows;
            for (SHORT i = 0; i < count; ++i) {
                const user_object* row = user_object::of(firstRow[i]);
                if (!row || !row->info || row->info->user().empty()) return answer();  // a row not filled: nothing changes
                rows.push_back(&*row->info);
            }
            // The staged rows outlive the batch: their texts name the users in the answer.
            std::vector<std::u16string_view> created, updated;
            // At most one record per row is added: the index never fills past half.
            user_index by_name(s.on.users, rows.size());
            for (const auto* r : rows) {
                if (const std::size_t k = by_name.find(r->user()); k != user_index::npos) {
                    user_record* rec = &s.on.users[k];
                    rec->password = r->password();
                    if (!r->role().empty() && !contains(rec->roles, r->role()))
                        rec->roles.push_back(std::u16string(r->role()));
                    updated.push_back(r->user());
                } else {
                    s.on.users.push_back({std::u16string(r->user()), std::u16string(r->password()), {}});
                    if (!r->role().empty()) s.on.users.back().roles.emplace_back(r->role());
                    by_name.add(s.on.users.size() - 1);
                    created.push_back(r->user());
                }
            }
            text = u"AddUsers: created " + num(static_cast<long long>(created.size())) + u" user(s)";
            if (!created.empty()) text += u": " + joined(created);
            if (!updated.empty())
                text += u"; updated " + num(static_cast<long long>(updated.size())) + u" user(s): " + joined(updated);
            answer();
        },
        message);
}

HRESULT api_object::AddUsersRoles(IDispatch* user, IDispatch** firstRow, SHORT count, BSTR* message) {
    return add_users_roles(user, firstRow, count, message, SHRT_MAX);
}

HRESULT api_object::add_users_roles(IDispatch* user, IDispatch** firstRow, SHORT count, BSTR* message, SHORT available) {
    return call(
        [&] {
            auto& st = state();
            auto lock = st.lock();
            record_rows(op::AddUsersRoles, user, firstRow, count, available);
            session s = logged_in(connected(op::AddUsersRoles), user);
            check_available(op::AddUsersRoles, count, available);
            std::u16string text;
            auto answer = [&] { put_text(message, text); };
            if (count < 1 || !s.admin) return answer();
            if (!firstRow) oa::raise(errors::missing_argument, u"No table was given");
            std::vector<const user_object::role_info*> rows;
            for (SHORT i = 0; i < count; ++i) {
                const user_object* row = user_object::of(firstRow[i]);
                if (!row || !row->roles || row->roles->user().empty()) return answer();
                rows.push_back(&*row->roles);
            }
            std::vector<std::u16string> done, unknown;
            for (const auto* r : rows) {
                user_record* rec = s.on.user(r->user());
                if (!rec) {
                    unknown.emplace_back(r->user());
                    continue;
                }
                const auto names = split(r->role_list(), u" \t");
                for (const auto& role : names)
                    if (!contains(rec->roles, role)) rec->roles.push_back(role);
                done.push_back(std::u16string(r->user()) + u" (" + joined(names, u" ") + u")");
            }
            text = u"AddUsersRoles: roles given to " + num(static_cast<long long>(done.size())) + u" user(s)";
            if (!done.empty()) text += u": " + joined(done);
            if (!unknown.empty()) text += u"; unknown user(s) skipped: " + joined(unknown);
            answer();
        },
        message);
}

HRESULT api_object::SetMerivexUsernames(IDispatch* user, VARIANT* firstRow, SHORT* count, VARIANT* result) {
    return call(
        [&] {
            auto& st = state();
            auto lock = st.lock();
            const SHORT n = *count;
            st.record(op::SetMerivexUsernames, [&](journal_line& l) {
                l.object("User", user).begin_rows();
                for (SHORT i = 0; firstRow && i < n; ++i) l.row("User", object_in(firstRow[i]));
                l.end_rows().number(n);
            });
            session s = logged_in(connected(op::SetMerivexUsernames), user);
            std::u16string text;
            SHORT applied = 0;
            auto answer = [&] {
                oa::unique_bstr b = oa::make_bstr(text);
                *count = applied;
                result->vt = VT_BSTR;
                result->bstrVal = b.release();
            };
            if (n < 1 || !s.admin) return answer();
            if (!firstRow) oa::raise(errors::missing_argument, u"No table was given");
            std::vector<const user_object::name_mapping*> rows;
            for (SHORT i = 0; i < n; ++i) {
                const user_object* row = user_object::of(object_in(firstRow[i]));
                if (!row || !row->mapping || row->mapping->user().empty()) return answer();
                rows.push_back(&*row->mapping);
            }
            std::vector<std::u16string> done, unknown;
            for (const auto* r : rows) {
                if (!s.on.user(r->user())) {
                    unknown.emplace_back(r->user());
                    continue;
                }
                auto& maps = s.on.name_mappings;
                auto it = std::find_if(maps.begin(), maps.end(), [&](const mapping_record& m) { return m.user == r->user(); });
                if (it != maps.end()) it->quellar_user = r->quellar_user();
                else maps.push_back({std::u16string(r->user()), std::u16string(r->quellar_user())});
                done.push_back(std::u16string(r->user()) + u" = " + std::u16string(r->quellar_user()));
                ++applied;
            }
            if (applied == 0) return answer();  // did nothing: the empty text
            text = u"SetMerivexUsernames: mapped " + num(applied) + u" user(s): " + joined(done);
            if (!unknown.empty()) text += u"; unknown user(s) skipped: " + joined(unknown);
            answer();
        },
        count, result);
}

HRESULT api_object::LoadConfigurationData(IDispatch* user, BSTR* text) {
    return call(
        [&] {
            auto& st = state();
            auto lock = st.lock();
            st.record(op::LoadConfigurationData, [&](journal_line& l) { l.object("User", user); });
            session s = logged_in(connected(op::LoadConfigurationData), user);
            put_text(text, u"Configuration data loaded: " + num(static_cast<long long>(s.on.users.size())) +
                               u" users, " + num(static_cast<long long>(s.on.groups.size())) + u" groups, " +
                               num(static_cast<long long>(s.on.databases.size())) + u" databases");
        },
        text);
}

HRESULT api_object::AddAPreferenceForAUser(IDispatch* user, BSTR userName, BSTR preference, BSTR value,
                                           VARIANT_BOOL allDatabases, BSTR* message) {
    return call(
        [&] {
            auto& st = state();
            auto lock = st.lock();
            st.record(op::AddAPreferenceForAUser, [&](journal_line& l) {
                l.object("User", user).text(userName).text(preference).text(value).number(allDatabases);
            });
            session s = logged_in(connected(op::AddAPreferenceForAUser), user);
            if (!s.admin || !s.on.user(view(userName)) || view(preference).empty()) return put_text(message, u"");
            auto& prefs = s.on.preferences;
            auto it = std::find_if(prefs.begin(), prefs.end(), [&](const preference_record& p) {
                return p.user == view(userName) && p.name == view(preference);
            });
            if (it == prefs.end()) it = prefs.insert(prefs.end(), {str(userName), str(preference), {}, false});
            it->value = str(value);
            it->all_dbs = allDatabases != 0;
            put_text(message, u"Preference " + it->name + u" set to \"" + it->value + u"\" for " + it->user +
                                  (it->all_dbs ? u" in all databases" : u" in this database"));
        },
        message);
}

// ------------------------------------------------------------------------------------
// api: queries and dynamic attributes

HRESULT api_object::QueryObjects(IDispatch* user, BSTR report, BSTR query, BSTR options, IObjectList** list) {
    return call(
        [&] {
            *list = nullptr;
            auto& st = state();
            auto lock = st.lock();
            st.record(op::QueryObjects,
                      [&](journal_line& l) { l.object("User", user).text(report).text(query).text(options); });
            session s = logged_in(connected(op::QueryObjects), user);
            // is_dynamic_attrs_new_of('INSTANCE/problem/N/1'); INSTANCE may hold slashes.
            constexpr std::u16string_view head = u"is_dynamic_attrs_new_of('", tail = u"/1')";
            const std::u16string_view q = view(query);
            std::u16string_view inner;
            std::size_t cut = std::u16string_view::npos;
            if (q.size() > head.size() + tail.size() && q.substr(0, head.size()) == head &&
                q.substr(q.size() - tail.size()) == tail) {
                inner = q.substr(head.size(), q.size() - head.size() - tail.size());
                cut = inner.rfind(u"/problem/");
            }
            const std::u16string_view number =
                cut == std::u16string_view::npos ? std::u16string_view() : inner.substr(cut + 9);
            if (number.empty() || number.find(u'/') != std::u16string_view::npos)
                oa::raise(errors::bad_query, u"The query \"" + str(query) +
                                                 u"\" is not understood; expected "
                                                 u"is_dynamic_attrs_new_of('INSTANCE/problem/N/1')");
            const std::u16string_view instance = inner.substr(0, cut);
            std::vector<object_record> found;
            for (const auto& o : s.on.objects)
                if (o.instance == instance && o.problem == number) found.push_back(o);
            *list = handed_out(oa::make_self<object_list_object>(server_.lock(), std::move(found)));
        },
        list);
}

HRESULT api_object::GetDynamicAttrsData(IDispatch* user, BSTR cvid, SAFEARRAY** buffer, LONG* byteCount) {
    return call(
        [&] {
            auto& st = state();
            auto lock = st.lock();
            st.record(op::GetDynamicAttrsData, [&](journal_line& l) {
                l.object("User", user).text(cvid);
                journal_array(l, *buffer).number(*byteCount);
            });
            session s = logged_in(connected(op::GetDynamicAttrsData), user);
            const object_record* o = s.on.object(view(cvid));
            if (!o) oa::raise(errors::unknown_object, u"No object with cvid \"" + str(cvid) + u"\"");
            if (!o->dynamic_attrs || o->dynamic_attrs->empty()) {
                *byteCount = 0;  // the caller's buffer stays as it was
                return;
            }
            oa::unique_safearray fresh = text_array(*o->dynamic_attrs);
            oa::unique_safearray old(*buffer);  // the caller hands its buffer over to be replaced
            *buffer = fresh.release();
            *byteCount = static_cast<LONG>(o->dynamic_attrs->size() * 2);
        },
        buffer, byteCount);
}

HRESULT api_object::GetHostname(IDispatch* user, BSTR* hostname) {
    return call(
        [&] {
            auto& st = state();
            auto lock = st.lock();
            st.record(op::GetHostname, [&](journal_line& l) { l.object("User", user); });
            session s = logged_in(connected(op::GetHostname), user);
            put_text(hostname, s.on.hostname);
        },
        hostname);
}

HRESULT api_object::SetDynamicAttrsData(IDispatch* user, BSTR rcpId, BSTR label, BYTE* firstByte, LONG byteCount,
                                        BSTR* answer) {
    return call(
        [&] {
            auto& st = state();
            auto lock = st.lock();
            st.record(op::SetDynamicAttrsData, [&](journal_line& l) {
                l.object("User", user).text(rcpId).text(label).buffer(byteCount, firstByte, byteCount);
                l.number(byteCount);
            });
            session s = logged_in(connected(op::SetDynamicAttrsData), user);
            check_data(label, firstByte, byteCount);
            object_record* o = s.on.object(view(rcpId));
            if (!o) oa::raise(errors::unknown_object, u"No object with cvid \"" + str(rcpId) + u"\"");
            o->dynamic_attrs = bytes_text(firstByte, byteCount);
            put_text(answer, u"Dynamic attributes of " + o->cvid + u" stored (" + num(byteCount / 2) +
                                 u" characters)");
        },
        answer);
}

HRESULT api_object::CreateRCObjectFromData(IDispatch* user, BSTR rcpId, BSTR relation, BSTR filename, BSTR label,
                                           BSTR options, BYTE* firstByte, LONG byteCount, BSTR* answer) {
    return call(
        [&] {
            auto& st = state();
            auto lock = st.lock();
            st.record(op::CreateRCObjectFromData, [&](journal_line& l) {
                l.object("User", user).text(rcpId).text(relation).text(filename).text(label).text(options);
                l.buffer(byteCount, firstByte, byteCount).number(byteCount);
            });
            session s = logged_in(connected(op::CreateRCObjectFromData), user);
            check_data(label, firstByte, byteCount);
            const object_record* from_object = s.on.object(view(rcpId));
            const cr_record* from_cr = s.on.cr(view(rcpId));
            if (!from_object && !from_cr) oa::raise(errors::unknown_object, u"No CR or object with id \"" + str(rcpId) + u"\"");
            object_record made{next_cvid(s.on),
                               from_object ? from_object->instance : s.user.login->database,
                               from_object ? from_object->problem : from_cr->id,
                               bytes_text(firstByte, byteCount),
                               str(filename)};
            s.on.relations.push_back({str(rcpId), made.cvid, str(relation), u"normal"});
            put_text(answer, made.cvid);
            s.on.objects.push_back(std::move(made));
        },
        answer);
}

// ------------------------------------------------------------------------------------
// api: CR data and relations

HRESULT api_object::CRData(IDispatch* user, BSTR crid, BSTR attributeList, IObjectData** data) {
    return call(
        [&] {
            *data = nullptr;
            auto& st = state();
            auto lock = st.lock();
            st.record(op::CRData, [&](journal_line& l) { l.object("User", user).text(crid).text(attributeList); });
            session s = logged_in(connected(op::CRData), user);
            const cr_record* cr = s.on.cr(view(crid));
            if (!cr) oa::raise(errors::unknown_cr, u"No CR with id \"" + str(crid) + u"\"");
            std::vector<object_data_object::slot> slots;
            for (auto& name : split(view(attributeList), u"|")) {
                if (std::any_of(slots.begin(), slots.end(), [&](const auto& sl) { return sl.name == name; })) continue;
                const std::u16string* value = cr->find(name);
                slots.push_back({name, value != nullptr, value ? *value : u"", value ? *value : u"", false});
            }
            *data = handed_out(oa::make_self<object_data_object>(server_.lock(), true, cr->id, std::move(slots)));
        },
        data);
}

HRESULT api_object::ModifyCR(IDispatch* user, IDispatch* data, BSTR* reply) {
    return change_cr(op::ModifyCR, user, data, reply);
}

HRESULT api_object::TransitionCR(IDispatch* user, IDispatch* data, BSTR* reply) {
    return change_cr(op::TransitionCR, user, data, reply);
}

HRESULT api_object::change_cr(op o, IDispatch* user, IDispatch* data, BSTR* reply) {
    return call(
        [&] {
            auto& st = state();
            auto lock = st.lock();
            st.record(o, [&](journal_line& l) { l.object("User", user).object("ObjectData", data); });
            session s = logged_in(connected(o), user);
            if (!data) oa::raise(errors::missing_argument, u"No ObjectData was given");
            object_data_object* d = object_data_object::of(data);
            if (!d) oa::raise(errors::foreign_object, u"The ObjectData object was not made by this library");
            if (!d->is_cr() || d->current_server() != &s.on)
                oa::raise(errors::not_cr_data, u"The ObjectData does not come from CRData of this change server");
            cr_record* cr = s.on.cr(d->id());
            if (!cr) oa::raise(errors::unknown_cr, u"No CR with id \"" + d->id() + u"\"");

            // Values travel XML-escaped; the server stores them as plain text.
            const std::u16string current = cr->find(u"crstatus") ? *cr->find(u"crstatus") : u"";
            std::optional<std::u16string> status;
            for (const auto& sl : d->slots())
                if (sl.written && sl.name == u"crstatus" && xml_unescape(sl.value) != current)
                    status = xml_unescape(sl.value);
            if (status && o == op::ModifyCR)
                oa::raise(errors::status_change_refused, u"ModifyCR cannot change the crstatus of CR " + cr->id +
                                                             u" (from " + current + u" to " + *status +
                                                             u"); use TransitionCR");
            if (status && !s.on.allows(current, *status))
                oa::raise(errors::transition_refused,
                          u"CR " + cr->id + u" cannot go from " + current + u" to " + *status);
            std::vector<std::u16string> changed;
            for (auto& sl : d->slots()) {
                if (!sl.written) continue;
                std::u16string plain = xml_unescape(sl.value);
                if (sl.name != u"crstatus" && (!cr->find(sl.name) || *cr->find(sl.name) != plain))
                    changed.push_back(sl.name);
                cr->set(sl.name, std::move(plain));
                sl.sent = sl.value;
                sl.written = false;
            }
            std::u16string text = u"CR " + cr->id;
            if (status) text += u" moved from " + current + u" to " + *status;
            else if (o == op::TransitionCR) text += u" kept its status " + current;
            if (!changed.empty()) text += (status || o == op::TransitionCR ? u"; modified: " : u" modified: ") + joined(changed);
            else if (!status && o == op::ModifyCR) text += u" unchanged";
            put_text(reply, text);
        },
        reply);
}

HRESULT api_object::CreateRelationship(IDispatch* user, LONG bothWays, BSTR fromID, BSTR toID, BSTR relationName,
                                       BSTR relationType, BSTR* answer) {
    return call(
        [&] {
            auto& st = state();
            auto lock = st.lock();
            st.record(op::CreateRelationship, [&](journal_line& l) {
                l.object("User", user).number(bothWays).text(fromID).text(toID).text(relationName).text(relationType);
            });
            session s = logged_in(connected(op::CreateRelationship), user);
            auto known = [&](BSTR id) { return s.on.cr(view(id)) || s.on.object(view(id)); };
            if (!known(fromID) || !known(toID)) return put_text(answer, u"");
            auto relate = [&](BSTR a, BSTR b) {
                for (const auto& r : s.on.relations)
                    if (r.from == view(a) && r.to == view(b) && r.name == view(relationName)) return;
                s.on.relations.push_back({str(a), str(b), str(relationName), str(relationType)});
            };
            relate(fromID, toID);
            std::u16string text = u"Relation " + str(relationName) + u" created from " + str(fromID) + u" to " + str(toID);
            if (bothWays != 0) {
                relate(toID, fromID);
                text += u" and from " + str(toID) + u" to " + str(fromID);
            }
            put_text(answer, text);
        },
        answer);
}

// ------------------------------------------------------------------------------------
// Emulator

namespace {
std::string path_of(BSTR path) { return oa::utf16_to_utf8(view(path)); }
}  // namespace

HRESULT emulator_object::LoadFixture(BSTR path) {
    return call([&] {
        auto& st = state();
        auto lock = st.lock();
        fixture_error error{};
        std::optional<server_set> servers = load_fixture(path_of(path), error);
        if (!servers) oa::raise(error.code, error.description);
        st.servers = std::move(*servers);
        st.injected.clear();
    });
}

HRESULT emulator_object::SaveState(BSTR path) {
    return call([&] {
        auto& st = state();
        auto lock = st.lock();
        fixture_error error{};
        if (!save_state(st.servers, path_of(path), error)) oa::raise(error.code, error.description);
    });
}

HRESULT emulator_object::InjectFault(BSTR name, LONG hresult, BSTR description, LONG times) {
    return call([&] {
        auto& st = state();
        auto lock = st.lock();
        std::optional<op> target = op_from_name(path_of(name));
        if (!target) oa::raise(errors::bad_argument, u"InjectFault: unknown operation \"" + str(name) + u"\"");
        if (hresult >= 0) oa::raise(errors::bad_argument, u"InjectFault: the HRESULT must be a failure code");
        if (times < 0) oa::raise(errors::bad_argument, u"InjectFault: times must be 0 or more");
        if (times == 0) {
            std::erase_if(st.injected, [&](const fault& f) { return f.target == *target; });
            return;
        }
        st.injected.push_back({*target, hresult, str(description), times});
    });
}

HRESULT emulator_object::inject_fault_late(BSTR name, const VARIANT& hresult, BSTR description, LONG times) {
    const VARIANT* v = &hresult;
    if (v->vt == (VT_BYREF | VT_VARIANT) && v->pvarVal) v = v->pvarVal;
    // A whole number from -2^31 to 2^32-1: scripts write HRESULTs as 0x8004xxxx, which
    // does not fit a Long; the low 32 bits are the code.
    oa::unique_variant wide;
    bool whole = SUCCEEDED(oa::change_type(&wide, v, 0, VT_R8)) && std::trunc(wide.dblVal) == wide.dblVal &&
                 wide.dblVal >= -2147483648.0 && wide.dblVal <= 4294967295.0;
    if (!whole)
        return call([] {
            oa::raise(errors::bad_argument, u"InjectFault: the HRESULT must be a whole number from -2^31 to 2^32-1");
        });
    const auto code = static_cast<std::uint32_t>(static_cast<std::int64_t>(wide.dblVal));
    return InjectFault(name, static_cast<LONG>(code), description, times);
}

HRESULT emulator_object::StartJournal(BSTR path) {
    return call([&] {
        auto& st = state();
        auto lock = st.lock();
        try {
            st.start_journal(path_of(path));
        } catch (const platform::file_error& e) {
            oa::raise(errors::write_failed,
                      u"Cannot open the journal file \"" + str(path) + u"\": " + platform::decode_system_text(e.detail()));
        }
    });
}

HRESULT emulator_object::StopJournal() {
    return call([&] {
        auto& st = state();
        auto lock = st.lock();
        std::string why;
        if (!st.stop_journal(why)) oa::raise(errors::write_failed, platform::decode_system_text(why));
    });
}

HRESULT emulator_object::TraceCalls(VARIANT_BOOL on) {
    return call([&] {
        auto& st = state();
        auto lock = st.lock();
        st.trace_calls(on != VARIANT_FALSE);
    });
}

HRESULT emulator_object::LiveObjects(BSTR className, LONG* count) {
    return call(
        [&] {
            const std::string name = path_of(className);
            if (name.empty()) {
                long all = 0;
                for (kind k : {kind::api, kind::user, kind::object_list, kind::object_data, kind::attribute})
                    all += live_counter::count(k);
                *count = static_cast<LONG>(all);
                return;
            }
            for (std::size_t i = 0; i < static_cast<std::size_t>(kind::count_); ++i)
                if (kind_name(static_cast<kind>(i)) == name) {
                    *count = static_cast<LONG>(live_counter::count(static_cast<kind>(i)));
                    return;
                }
            oa::raise(errors::bad_argument, u"LiveObjects: unknown class \"" + str(className) + u"\"");
        },
        count);
}

HRESULT emulator_object::Reset() {
    return call([&] {
        auto& st = state();
        auto lock = st.lock();
        st.servers = default_servers();
        st.injected.clear();
    });
}

}  // namespace mremu
