// Values between Lua and automation: Lua strings (UTF-8) and BSTR (UTF-16), integers as
// VT_I4, floats as VT_R8, booleans as VT_BOOL, objects as VT_DISPATCH, nil as Empty.
//
// Lua raises errors by unwinding without running C++ destructors, so no function here
// holds an owner (a reference, a BSTR, a heap buffer) across a Lua call that may raise;
// callers keep theirs outside run_protected.
#pragma once

#include <oa/unique.h>
#include <oleauto.h>

#include <lua.hpp>

#include <cstdint>
#include <string>
#include <string_view>

namespace q2mrhost {

// Names of the host's metatables and registry entries. Arrays, not pointers to literals:
// each has one address in the whole program, which keys its metatable in the registry.
inline constexpr char object_metatable[] = "q2mr.Object";
inline constexpr char byref_metatable[] = "q2mr.ByRef";
inline constexpr char null_metatable[] = "q2mr.Null";
inline constexpr char nothing_metatable[] = "q2mr.Nothing";
inline constexpr char error_metatable[] = "q2mr.Error";

// A Lua value that cannot become a Variant (for instance a string that is not UTF-8).
struct conversion_error {
    std::string message;
};

// Converts the Lua value at idx into out (which must be empty). Throws conversion_error.
void to_variant(lua_State* L, int idx, VARIANT& out);

// Pushes the value a Variant holds; a by-reference Variant is read through.
void push_variant(lua_State* L, const VARIANT& value);

// A script's object: one reference, given back when Lua finalizes the box. A finalized
// box may still be reached (a finalizer that runs later, a resurrected value): its
// object is then nullptr and every use fails as "released".
struct object_box {
    std::uint64_t tag;    // marks a box made here, whatever metatable a userdata is given
    IDispatch* object;    // owned; nullptr once released
    const void* members;  // the object's member table, looked up on first use
};
// The box at idx, or nullptr when the value is no object box.
object_box* box_at(lua_State* L, int idx);

// Pushes an object for the script, taking a further reference (nullptr gives Nothing).
void push_object(lua_State* L, IDispatch* object);
// Pushes an empty box, for the caller to put a reference into directly.
object_box* push_empty_box(lua_State* L);
// The object of a script value, or nullptr when it is none (or was released).
IDispatch* object_at(lua_State* L, int idx);

// Makes the metatable name (as luaL_newmetatable does) and leaves it on the stack; it is
// also found by the name's address, so that userdata_with needs no string lookup.
void new_metatable(lua_State* L, const char* name);
// The userdata at idx when its metatable is the one made as name, else nullptr.
void* userdata_with(lua_State* L, int idx, const char* name);

// Registers the metatables and the globals Null, Nothing, ByRef.
void open_values(lua_State* L);

// Pushes a failure for the script: a value with the fields number and description that
// reads "NUMBER: DESCRIPTION".
void push_failure(lua_State* L, long number, std::string_view description);

// True for a ByRef box.
bool is_byref(lua_State* L, int idx);

namespace detail {
template <class Body> int run_body(lua_State* L) {
    Body& body = *static_cast<Body*>(lua_touserdata(L, 1));
    lua_remove(L, 1);
    bool thrown = false;
    int results = 0;
    try {
        results = body(L);
    } catch (...) {
        thrown = true;
    }
    if (thrown) return luaL_error(L, "the host ran out of memory");  // outside the handler
    return results;
}
}  // namespace detail

// Runs body(L) under lua_pcall with the nargs values on top of the stack as its arguments
// 1..nargs, leaving its results (or the error) in their place. A Lua error inside (no
// memory, a script's metamethod, a yield across the call) comes back as a status, so the
// caller's C++ owners are destroyed normally before it raises the error again. The body
// must not raise from inside a catch block; a C++ exception it lets out becomes a Lua
// error. Needs two free stack slots.
template <class Body> int run_protected(lua_State* L, int nargs, Body& body) {
    lua_pushcfunction(L, &detail::run_body<Body>);
    lua_insert(L, -nargs - 1);
    lua_pushlightuserdata(L, &body);
    lua_insert(L, -nargs - 1);
    return lua_pcall(L, nargs + 1, LUA_MULTRET, 0);
}
// As run_protected, with the arguments pushed by push(L) after the body: nothing to move.
template <class Body, class Push> int run_protected_with(lua_State* L, int nargs, Body& body, Push&& push) {
    lua_pushcfunction(L, &detail::run_body<Body>);
    lua_pushlightuserdata(L, &body);
    push(L);
    return lua_pcall(L, nargs + 1, LUA_MULTRET, 0);
}

}  // namespace q2mrhost
