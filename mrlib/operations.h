// The change-server library as the component calls it, and as the emulated library, the
// recorder and the replay know it: every operation by its class and member name, how it
// is invoked, its arguments in order (automation type, by-reference mark), what it
// delivers, and which of its values are secrets or blocks. Any build of the library that
// registers the ProgIDs below and answers these names through IDispatch serves; no class,
// interface or library id of it is known here.
#pragma once

#include <oa/ascii.h>
#include <oleauto.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string_view>

namespace mrlib {

inline constexpr std::u16string_view api_progid = u"mrlib.api";
inline constexpr std::u16string_view user_progid = u"mrlib.User";

// The library's classes: of the objects that answer an operation, and of the objects an
// operation delivers. The two that a caller creates come first.
enum class object_class : std::uint8_t { api, User, ObjectList, ObjectData, Attribute, none };
inline constexpr std::array<std::string_view, 5> class_names{"api", "User", "ObjectList", "ObjectData", "Attribute"};
constexpr std::string_view class_name(object_class c) noexcept { return class_names[static_cast<std::size_t>(c)]; }

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

enum class kind : std::uint8_t { method, get, put };

inline constexpr std::uint8_t password_at(std::size_t index) noexcept { return static_cast<std::uint8_t>(1u << index); }

// What an operation delivers: a value of this type (VT_EMPTY: nothing), or an object of
// the class.
struct delivered {
    constexpr delivered(VARTYPE type) noexcept : vt(type) {}
    constexpr delivered(object_class of) noexcept : vt(VT_DISPATCH), cls(of) {}
    VARTYPE vt;
    object_class cls = object_class::none;
};

// What must never be written down (a cassette, a trace): bit i of passwords set when
// argument i is a password; whether the text delivered is a credential. And the block
// that an argument points to (rows, or bytes) with the argument that gives its length.
struct marks {
    std::uint8_t passwords = 0;
    bool secret_result = false;
    std::int8_t block = -1, block_length = -1;
};

struct operation {
    constexpr operation(op w, object_class c, kind k, std::u16string_view n, std::initializer_list<VARTYPE> a,
                        delivered d, marks m = {})
        : which(w), of(c), how(k), name(n), arity(static_cast<std::uint8_t>(a.size())),
          flags(k == kind::get ? DISPATCH_PROPERTYGET : k == kind::put ? DISPATCH_PROPERTYPUT
                                                                      : DISPATCH_METHOD | DISPATCH_PROPERTYGET),
          result(d.vt), delivers(d.cls), passwords(m.passwords), secret_result(m.secret_result), block(m.block),
          block_length(m.block_length) {
        if (a.size() > args.size()) throw "more arguments than the table holds";
        std::size_t i = 0;
        for (VARTYPE t : a) args[i++] = t;
    }

    op which;
    object_class of;
    kind how;
    std::u16string_view name;
    std::uint8_t arity;
    WORD flags;  // how the caller invokes it
    std::array<VARTYPE, 8> args{};  // in the caller's order
    VARTYPE result;
    object_class delivers;
    std::uint8_t passwords;
    bool secret_result;
    std::int8_t block, block_length;  // argument indexes from 0, or -1
};

namespace types {
inline constexpr VARTYPE nothing = VT_EMPTY, variant = VT_VARIANT;
inline constexpr VARTYPE text = VT_BSTR, long_ = VT_I4, count = VT_I2, flag = VT_BOOL, object = VT_DISPATCH;
inline constexpr VARTYPE rows = VT_BYREF | VT_DISPATCH;          // row 0 of a contiguous block
inline constexpr VARTYPE row_copy = VT_BYREF | VT_VARIANT;       // a copy of row 0's reference
inline constexpr VARTYPE count_ref = VT_BYREF | VT_I2;           // the caller's own count
inline constexpr VARTYPE first_byte = VT_BYREF | VT_UI1;
inline constexpr VARTYPE buffer = VT_BYREF | VT_ARRAY | VT_UI1;  // may be replaced
inline constexpr VARTYPE long_ref = VT_BYREF | VT_I4;
}  // namespace types

inline constexpr std::array<operation, op_count> operations = [] {
    using namespace types;
    using enum object_class;
    using enum kind;
    constexpr marks name_password{.passwords = password_at(1)};
    // The library reads a block's length from the argument after it.
    constexpr auto block = [](std::int8_t at) {
        return marks{.block = at, .block_length = static_cast<std::int8_t>(at + 1)};
    };
    return std::array<operation, op_count>{{
        {op::OpenConnection, api, method, u"OpenConnection", {text, text, long_}, long_},
        {op::AdminLogin, api, method, u"AdminLogin", {text, text, text, text}, User, name_password},
        {op::appLogin, api, method, u"appLogin", {text, text, text, text, text}, User, name_password},
        {op::CreateGroup, api, method, u"CreateGroup", {object, text}, long_},
        {op::PrepareGroupDeletion, api, method, u"PrepareGroupDeletion", {object, text}, long_},
        {op::DeleteGroup, api, method, u"DeleteGroup", {object, text}, long_},
        {op::AssignUserToGroup, api, method, u"AssignUserToGroup", {object, text, text}, long_},
        {op::AddUsers, api, method, u"AddUsers", {object, rows, count}, text, block(1)},
        {op::LoadConfigurationData, api, method, u"LoadConfigurationData", {object}, text},
        {op::SetMerivexUsernames, api, method, u"SetMerivexUsernames", {object, row_copy, count_ref}, variant, block(1)},
        {op::AddUsersRoles, api, method, u"AddUsersRoles", {object, rows, count}, text, block(1)},
        {op::AddAPreferenceForAUser, api, method, u"AddAPreferenceForAUser", {object, text, text, text, flag}, text},
        {op::QueryObjects, api, method, u"QueryObjects", {object, text, text, text}, ObjectList},
        {op::GetDynamicAttrsData, api, method, u"GetDynamicAttrsData", {object, text, buffer, long_ref}, nothing},
        {op::GetHostname, api, method, u"GetHostname", {object}, text},
        {op::SetDynamicAttrsData, api, method, u"SetDynamicAttrsData", {object, text, text, first_byte, long_}, text,
         block(3)},
        {op::CreateRCObjectFromData, api, method, u"CreateRCObjectFromData",
         {object, text, text, text, text, text, first_byte, long_}, text, block(6)},
        {op::CRData, api, method, u"CRData", {object, text, text}, ObjectData},
        {op::ModifyCR, api, method, u"ModifyCR", {object, object}, text},
        {op::TransitionCR, api, method, u"TransitionCR", {object, object}, text},
        {op::CreateRelationship, api, method, u"CreateRelationship", {object, long_, text, text, text, text}, text},
        {op::LoginToken, User, get, u"LoginToken", {}, text, {.secret_result = true}},  // a session credential
        {op::SetUserInfo, User, method, u"SetUserInfo", {text, text, text, text}, nothing, {.passwords = password_at(1)}},
        {op::SetNameMapping, User, method, u"SetNameMapping", {text, text}, nothing},
        {op::SetRoleInfo, User, method, u"SetRoleInfo", {text, text, text}, nothing},
        {op::Count, ObjectList, get, u"Count", {}, count},
        {op::Item, ObjectList, method, u"Item", {count}, ObjectData},
        {op::Close, ObjectList, method, u"Close", {}, nothing},
        {op::GetAttribute, ObjectData, method, u"GetAttribute", {text}, Attribute},
        {op::ValueGet, Attribute, get, u"Value", {}, text},
        {op::ValuePut, Attribute, put, u"Value", {text}, nothing},
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
