// The script host's value conversions: Lua values decoded from the input go through
// to_variant and back through push_variant; Variants decoded from the input, plain and in
// by-reference boxes, go through push_variant. Properties checked: each conversion
// gives the type its rules say, texts and numbers come back unchanged, and closing the
// Lua state gives every object reference back.
#include "entries.h"
#include "values.h"

#include <host/bridge.h>
#include <host/values.h>
#include <oa/text.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <memory>

namespace q2mr_fuzz {

namespace {

constexpr int max_steps = 32;

struct lua_closer {
    void operator()(lua_State* L) const noexcept { lua_close(L); }
};

bool same_number(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0 || (std::isnan(a) && std::isnan(b)); }

// Pushes one Lua value decoded from the input.
void push_lua_value(input& in, lua_State* L, const std::vector<IDispatch*>& pool) {
    switch (in.byte() % 11) {
    case 0: lua_pushnil(L); return;
    case 1: lua_pushboolean(L, in.flag()); return;
    case 2:
        lua_pushinteger(L, in.pick<lua_Integer>({0, -1, std::numeric_limits<LONG>::max(),
                                                 std::numeric_limits<LONG>::min(),
                                                 std::numeric_limits<LONG>::max() + lua_Integer{1},
                                                 std::numeric_limits<LONG>::min() - lua_Integer{1},
                                                 std::numeric_limits<lua_Integer>::max(),
                                                 std::numeric_limits<lua_Integer>::min(),
                                                 static_cast<lua_Integer>(in.u64())}));
        return;
    case 3: {
        std::uint64_t bits = in.u64();
        double d;
        std::memcpy(&d, &bits, sizeof d);
        lua_pushnumber(L, d);
        return;
    }
    case 4:
    case 5: {
        const std::string s = in.bytes(256);
        lua_pushlstring(L, s.data(), s.size());
        return;
    }
    case 6: {
        const std::string s = oa::utf16_to_utf8(decode_text(in));
        lua_pushlstring(L, s.data(), s.size());
        return;
    }
    case 7: lua_getglobal(L, in.flag() ? "Null" : "Nothing"); return;
    case 8: q2mrhost::push_object(L, pool[in.byte() % pool.size()]); return;
    case 9: lua_createtable(L, 0, 0); return;
    default:
        // A ByRef box around a number: a table, which has no automation value of its own.
        lua_getglobal(L, "ByRef");
        lua_pushinteger(L, in.byte());
        lua_call(L, 1, 1);
        return;
    }
}

// A Lua value into a Variant and back.
void lua_round_trip(input& in, lua_State* L, const std::vector<IDispatch*>& pool) {
    push_lua_value(in, L, pool);
    const int idx = lua_gettop(L);
    const int type = lua_type(L, idx);
    oa::unique_variant v;
    bool converted = true;
    try {
        q2mrhost::to_variant(L, idx, v);
    } catch (const q2mrhost::conversion_error&) {
        converted = false;
    }
    switch (type) {
    case LUA_TNIL: expect(converted && v.vt == VT_EMPTY, "to_variant", "nil"); break;
    case LUA_TBOOLEAN:
        expect(converted && v.vt == VT_BOOL && v.boolVal == (lua_toboolean(L, idx) ? VARIANT_TRUE : VARIANT_FALSE),
               "to_variant", "boolean");
        break;
    case LUA_TNUMBER:
        expect(converted, "to_variant", "refused a number");
        if (lua_isinteger(L, idx)) {
            const lua_Integer i = lua_tointeger(L, idx);
            if (i >= std::numeric_limits<LONG>::min() && i <= std::numeric_limits<LONG>::max())
                expect(v.vt == VT_I4 && v.lVal == i, "to_variant", "integer");
            else
                expect(v.vt == VT_R8 && v.dblVal == static_cast<double>(i), "to_variant", "wide integer");
        } else {
            expect(v.vt == VT_R8 && same_number(v.dblVal, lua_tonumber(L, idx)), "to_variant", "float");
        }
        break;
    case LUA_TSTRING: {
        std::size_t length = 0;
        const char* s = lua_tolstring(L, idx, &length);
        const bool valid = oa::utf8_to_utf16(std::string_view(s, length)).has_value();
        expect(converted == valid, "to_variant", "string acceptance differs from UTF-8 validity");
        if (converted) expect(v.vt == VT_BSTR, "to_variant", "string type");
        break;
    }
    case LUA_TTABLE: expect(!converted, "to_variant", "converted a table"); break;
    default: expect(converted && (v.vt == VT_NULL || v.vt == VT_DISPATCH), "to_variant", "userdata"); break;
    }
    if (!converted) {
        lua_pop(L, 1);
        return;
    }
    q2mrhost::push_variant(L, v);
    const int back = lua_gettop(L);
    if (type == LUA_TNUMBER && !lua_isinteger(L, idx)) {
        expect(lua_type(L, back) == LUA_TNUMBER && same_number(lua_tonumber(L, back), lua_tonumber(L, idx)),
               "push_variant", "float came back changed");
    } else if (type == LUA_TNUMBER && v.vt == VT_R8) {
        expect(lua_type(L, back) == LUA_TNUMBER, "push_variant", "wide integer");
    } else if (type == LUA_TUSERDATA && v.vt == VT_DISPATCH && v.pdispVal) {
        expect(q2mrhost::object_at(L, back) == v.pdispVal, "push_variant", "another object came back");
    } else {
        expect(lua_rawequal(L, idx, back), "push_variant", "value came back changed");
    }
    lua_pop(L, 2);
}

// A Variant, possibly in a by-reference box, into a Lua value.
void variant_to_lua(input& in, lua_State* L, const std::vector<IDispatch*>& pool) {
    oa::unique_variant v;
    decode_value(in, pool, v);
    VARIANT box{};
    VARIANT box2{};
    const VARIANT* pushed = &v;
    switch (in.byte() % 3) {
    case 1:
        box.vt = VT_BYREF | VT_VARIANT;
        box.pvarVal = &v;
        pushed = &box;
        if (in.flag()) {  // two boxes deep, as a confused caller might pass
            box2.vt = VT_BYREF | VT_VARIANT;
            box2.pvarVal = &box;
            pushed = &box2;
        }
        break;
    case 2:
        if (v.vt == VT_I2 || v.vt == VT_I4 || v.vt == VT_BSTR || v.vt == VT_R8 || v.vt == VT_BOOL) {
            box.vt = VT_BYREF | v.vt;
            box.byref = &v.llVal;
            pushed = &box;
        }
        break;
    default: break;
    }
    const int top = lua_gettop(L);
    q2mrhost::push_variant(L, *pushed);
    expect(lua_gettop(L) == top + 1, "push_variant", "pushed other than one value");
    const int type = lua_type(L, -1);
    const VARIANT& value = pushed == &box2 ? box : v;  // what the reader sees through the boxes
    switch (pushed == &box2 ? VT_BYREF | VT_VARIANT : value.vt) {
    case VT_EMPTY: expect(type == LUA_TNIL, "push_variant", "Empty"); break;
    case VT_I2: case VT_I4: case VT_UI1: case VT_ERROR:
        expect(lua_isinteger(L, -1), "push_variant", "integer");
        break;
    case VT_R8: case VT_R4: expect(type == LUA_TNUMBER, "push_variant", "float"); break;
    case VT_BOOL: expect(type == LUA_TBOOLEAN, "push_variant", "boolean"); break;
    case VT_BSTR: {
        expect(type == LUA_TSTRING, "push_variant", "String");
        // A text without lone surrogates comes back unchanged.
        const std::u16string_view text = oa::view(value.bstrVal);
        std::size_t length = 0;
        const char* s = lua_tolstring(L, -1, &length);
        auto wide = oa::utf8_to_utf16(std::string_view(s, length));
        expect(wide.has_value(), "push_variant", "made a string that is not UTF-8");
        bool lone = false;
        for (std::size_t i = 0; i < text.size(); ++i) {
            const char16_t c = text[i];
            if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) ++i;
            else if (c >= 0xD800 && c <= 0xDFFF) lone = true;
        }
        if (!lone) expect(*wide == text, "push_variant", "String came back changed");
        break;
    }
    case VT_DISPATCH:
        if (value.pdispVal) expect(q2mrhost::object_at(L, -1) == value.pdispVal, "push_variant", "object");
        break;
    case VT_ARRAY | VT_UI1:
        expect(type == LUA_TSTRING && (!value.parray || lua_rawlen(L, -1) == value.parray->rgsabound[0].cElements),
               "push_variant", "byte array");
        break;
    default: break;
    }
    lua_pop(L, 1);
}

}  // namespace

int host_values_input(const std::uint8_t* data, std::size_t size) {
    input in(data, size);
    const long objects_before = oa::module_count.load();
    {
        oa::unique_variant plain;
        plain.vt = VT_I4;
        plain.lVal = 42;
        auto object = oa::make_self<value_object>(std::move(plain), false);
        const std::vector<IDispatch*> pool{nullptr, object.get()};
        std::unique_ptr<lua_State, lua_closer> state(luaL_newstate());
        lua_State* L = state.get();
        q2mrhost::open_bridge(L);
        for (int step = 0; step < max_steps && !in.empty(); ++step) {
            if (in.byte() & 1) lua_round_trip(in, L, pool);
            else variant_to_lua(in, L, pool);
        }
        expect(lua_gettop(L) == 0, "host values", "left values on the stack");
    }
    expect(oa::module_count.load() == objects_before, "object references", "leaked by the host's values");
    return 0;
}

}  // namespace q2mr_fuzz
