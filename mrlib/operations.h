// The change-server library as the component calls it: every operation by its member
// name, with its arguments in order (automation type, by-reference mark) and what it
// delivers. Any build of the library that registers the ProgIDs below and answers these
// names through IDispatch serves; no class, interface or library id of it is known here.
#pragma once

#include <oa/ascii.h>
#include <oleauto.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace mrlib {

inline constexpr std::u16string_view api_progid = u"mrlib.api";
inline constexpr std::u16string_view user_progid = u"mrlib.User";

enum class op : std::uint8_t {
    // api
    OpenConnection, AdminLogin, appLogin,
    CreateGroup, PrepareGroupDeletion, DeleteGroup, AssignUserToGroup,
    AddUsers, LoadConfigurationData, SetMerivexUsernames, AddUsersRoles, AddAPreferenceForAUser,
    QueryObjects, GetDynamicAttrsData, GetHostname, SetDynamicAttrsData, CreateRCObjectFromData,
    CRData, ModifyCR, TransitionCR, CreateRelationship,
    // User
    LoginToken, SetUserInfo, SetNameMapping, SetRoleInfo,
    // ObjectList, ObjectData, Attribute
    Count, Item, Close, GetAttribute, ValueGet, ValuePut,
};
inline constexpr std::size_t op_count = static_cast<std::size_t>(op::ValuePut) + 1;

// What the caller relies on in the value an operation delivers.
enum class delivers : std::uint8_t { nothing, status, text, object, value };

struct operation {
    op which;
    std::u16string_view name;
    WORD flags;
    std::uint8_t arity;
    std::array<VARTYPE, 8> args;  // in the caller's order
    delivers result;
    // What must never be written down (a cassette, a trace): bit i set when argument i is
    // a password; whether the text delivered is a credential.
    std::uint8_t passwords = 0;
    bool secret_result = false;
};

inline constexpr std::uint8_t password_at(std::size_t index) noexcept { return static_cast<std::uint8_t>(1u << index); }

namespace types {
inline constexpr VARTYPE text = VT_BSTR, long_ = VT_I4, count = VT_I2, flag = VT_BOOL, object = VT_DISPATCH;
inline constexpr VARTYPE rows = VT_BYREF | VT_DISPATCH;          // row 0 of a contiguous block
inline constexpr VARTYPE row_copy = VT_BYREF | VT_VARIANT;       // a copy of row 0's reference
inline constexpr VARTYPE count_ref = VT_BYREF | VT_I2;           // the caller's own count
inline constexpr VARTYPE first_byte = VT_BYREF | VT_UI1;
inline constexpr VARTYPE buffer = VT_BYREF | VT_ARRAY | VT_UI1;  // may be replaced
inline constexpr VARTYPE long_ref = VT_BYREF | VT_I4;
}  // namespace types

inline constexpr WORD call_flags = DISPATCH_METHOD | DISPATCH_PROPERTYGET;

inline constexpr std::array<operation, op_count> operations = [] {
    using namespace types;
    constexpr WORD get = DISPATCH_PROPERTYGET, put = DISPATCH_PROPERTYPUT, call = call_flags;
    return std::array<operation, op_count>{{
        {op::OpenConnection, u"OpenConnection", call, 3, {text, text, long_}, delivers::status},
        {op::AdminLogin, u"AdminLogin", call, 4, {text, text, text, text}, delivers::object, password_at(1)},
        {op::appLogin, u"appLogin", call, 5, {text, text, text, text, text}, delivers::object, password_at(1)},
        {op::CreateGroup, u"CreateGroup", call, 2, {object, text}, delivers::status},
        {op::PrepareGroupDeletion, u"PrepareGroupDeletion", call, 2, {object, text}, delivers::status},
        {op::DeleteGroup, u"DeleteGroup", call, 2, {object, text}, delivers::status},
        {op::AssignUserToGroup, u"AssignUserToGroup", call, 3, {object, text, text}, delivers::status},
        {op::AddUsers, u"AddUsers", call, 3, {object, rows, count}, delivers::text},
        {op::LoadConfigurationData, u"LoadConfigurationData", call, 1, {object}, delivers::text},
        {op::SetMerivexUsernames, u"SetMerivexUsernames", call, 3, {object, row_copy, count_ref}, delivers::value},
        {op::AddUsersRoles, u"AddUsersRoles", call, 3, {object, rows, count}, delivers::text},
        {op::AddAPreferenceForAUser, u"AddAPreferenceForAUser", call, 5, {object, text, text, text, flag}, delivers::text},
        {op::QueryObjects, u"QueryObjects", call, 4, {object, text, text, text}, delivers::object},
        {op::GetDynamicAttrsData, u"GetDynamicAttrsData", call, 4, {object, text, buffer, long_ref}, delivers::nothing},
        {op::GetHostname, u"GetHostname", call, 1, {object}, delivers::text},
        {op::SetDynamicAttrsData, u"SetDynamicAttrsData", call, 5, {object, text, text, first_byte, long_}, delivers::text},
        {op::CreateRCObjectFromData, u"CreateRCObjectFromData", call, 8,
         {object, text, text, text, text, text, first_byte, long_}, delivers::text},
        {op::CRData, u"CRData", call, 3, {object, text, text}, delivers::object},
        {op::ModifyCR, u"ModifyCR", call, 2, {object, object}, delivers::text},
        {op::TransitionCR, u"TransitionCR", call, 2, {object, object}, delivers::text},
        {op::CreateRelationship, u"CreateRelationship", call, 6, {object, long_, text, text, text, text}, delivers::text},
        {op::LoginToken, u"LoginToken", get, 0, {}, delivers::text, 0, true},  // a session credential
        {op::SetUserInfo, u"SetUserInfo", call, 4, {text, text, text, text}, delivers::nothing, password_at(1)},
        {op::SetNameMapping, u"SetNameMapping", call, 2, {text, text}, delivers::nothing},
        {op::SetRoleInfo, u"SetRoleInfo", call, 3, {text, text, text}, delivers::nothing},
        {op::Count, u"Count", get, 0, {}, delivers::status},
        {op::Item, u"Item", call, 1, {count}, delivers::object},
        {op::Close, u"Close", call, 0, {}, delivers::nothing},
        {op::GetAttribute, u"GetAttribute", call, 1, {text}, delivers::object},
        {op::ValueGet, u"Value", get, 0, {}, delivers::text},
        {op::ValuePut, u"Value", put, 1, {text}, delivers::nothing},
    }};
}();

constexpr const operation& operation_of(op o) noexcept { return operations[static_cast<std::size_t>(o)]; }

// The entry of a member name as a caller spells it (names compare without case), or
// nullptr; Value's get and put share their secrets, so either serves.
constexpr const operation* operation_named(std::u16string_view name) noexcept {
    for (const operation& o : operations)
        if (oa::same_ascii_case(o.name, name)) return &o;
    return nullptr;
}

// Each entry sits at its own index: operation_of finds it without a search.
static_assert([] {
    for (std::size_t i = 0; i < op_count; ++i)
        if (static_cast<std::size_t>(operations[i].which) != i) return false;
    return true;
}());

}  // namespace mrlib
