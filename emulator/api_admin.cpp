// api: administration. Groups, the staging tables of users, roles and name mappings,
// preferences.
#include <emulator/objects.h>
#include <emulator/operation.h>

#include <algorithm>
#include <climits>
#include <functional>

namespace mremu {

namespace {

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

}  // namespace

HRESULT api_object::CreateGroup(IDispatch* user, BSTR group, LONG* status) {
    return call(
        [&] {
            const opening opened(
                op::CreateGroup, server_, [&](journal_line& l) { l.object("User", user).text(group); },
                needs::connection);
            session s = logged_in(opened.connected(), user);
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
            const opening opened(
                op::PrepareGroupDeletion, server_, [&](journal_line& l) { l.object("User", user).text(group); },
                needs::connection);
            session s = logged_in(opened.connected(), user);
            *status = s.admin && s.on.group(view(group)) ? 1 : 0;
        },
        status);
}

HRESULT api_object::DeleteGroup(IDispatch* user, BSTR group, LONG* status) {
    return call(
        [&] {
            const opening opened(
                op::DeleteGroup, server_, [&](journal_line& l) { l.object("User", user).text(group); },
                needs::connection);
            session s = logged_in(opened.connected(), user);
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
            const opening opened(
                op::AssignUserToGroup, server_,
                [&](journal_line& l) { l.object("User", user).text(group).text(userName); }, needs::connection);
            session s = logged_in(opened.connected(), user);
            *status = 0;
            group_record* g = s.on.group(view(group));
            if (!s.admin || !g || !s.on.user(view(userName))) return;
            if (!contains(g->members, view(userName))) g->members.push_back(str(userName));
            *status = 1;
        },
        status);
}

namespace {
// The journal's arguments of a table handed over as its first row: the rows that will be
// read, then the count.
auto rows_read(IDispatch* user, IDispatch** first, SHORT count, SHORT available) {
    return [=](journal_line& l) {
        l.object("User", user).begin_rows();
        const SHORT readable = first ? std::min(count, available) : 0;
        for (SHORT i = 0; i < readable; ++i) l.row("User", first[i]);
        l.end_rows().number(count);
    };
}

void check_available(op o, SHORT count, SHORT available) {
    if (count > available)
        oa::raise(errors::too_many_rows, u"A late-bound " + std::u16string(mrlib::operation_of(o).name) +
                                             u" call carries one row only; pass a count of 1 or call it early-bound");
}
}  // namespace

HRESULT api_object::AddUsers(IDispatch* user, IDispatch** firstRow, SHORT count, BSTR* message) {
    return add_users(user, firstRow, count, message, SHRT_MAX);
}

HRESULT api_object::add_users(IDispatch* user, IDispatch** firstRow, SHORT count, BSTR* message, SHORT available) {
    return call(
        [&] {
            const opening opened(op::AddUsers, server_, rows_read(user, firstRow, count, available), needs::connection);
            session s = logged_in(opened.connected(), user);
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
            const opening opened(op::AddUsersRoles, server_, rows_read(user, firstRow, count, available),
                                 needs::connection);
            session s = logged_in(opened.connected(), user);
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
            const SHORT n = *count;
            const opening opened(
                op::SetMerivexUsernames, server_,
                [&](journal_line& l) {
                    l.object("User", user).begin_rows();
                    for (SHORT i = 0; firstRow && i < n; ++i) l.row("User", object_in(firstRow[i]));
                    l.end_rows().number(n);
                },
                needs::connection);
            session s = logged_in(opened.connected(), user);
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
            const opening opened(
                op::LoadConfigurationData, server_, [&](journal_line& l) { l.object("User", user); },
                needs::connection);
            session s = logged_in(opened.connected(), user);
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
            const opening opened(op::AddAPreferenceForAUser, server_, [&](journal_line& l) {
                l.object("User", user).text(userName).text(preference).text(value).number(allDatabases);
            }, needs::connection);
            session s = logged_in(opened.connected(), user);
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

}  // namespace mremu
