// Values between Lua and automation: Lua strings (UTF-8) and BSTR (UTF-16), integers as
// VT_I4, floats as VT_R8, booleans as VT_BOOL, objects as VT_DISPATCH, nil as Empty.
#pragma once

#include <oa/unique.h>
#include <oleauto.h>

#include <lua.hpp>

#include <string>

namespace q2mrhost {

// Names of the host's metatables and registry entries.
inline constexpr const char* object_metatable = "q2mr.Object";
inline constexpr const char* byref_metatable = "q2mr.ByRef";
inline constexpr const char* null_metatable = "q2mr.Null";
inline constexpr const char* nothing_metatable = "q2mr.Nothing";
inline constexpr const char* error_metatable = "q2mr.Error";

// A Lua value that cannot become a Variant (for instance a string that is not UTF-8).
struct conversion_error {
    std::string message;
};

// Converts the Lua value at idx into out (which must be empty). Throws conversion_error.
void to_variant(lua_State* L, int idx, VARIANT& out);

// Pushes the value a Variant holds; a by-reference Variant is read through.
void push_variant(lua_State* L, const VARIANT& value);

// A script's object: one reference, released when the script lets it go.
struct object_box {
    IDispatch* object;
    const void* members;  // the object's member table, looked up on first use
};
object_box* box_at(lua_State* L, int idx);

// Pushes an object for the script, taking a further reference (nullptr gives Nothing).
void push_object(lua_State* L, IDispatch* object);
// The object of a script value, or nullptr when it is none.
IDispatch* object_at(lua_State* L, int idx);

// Registers the metatables and the globals Null, Nothing, ByRef.
void open_values(lua_State* L);

// Pushes a failure for the script: a value with the fields number and description that
// reads "NUMBER: DESCRIPTION". Callers raise it with lua_error once no C++ owner is
// left in their frame.
void push_failure(lua_State* L, long number, const std::string& description);

// True for a ByRef box.
bool is_byref(lua_State* L, int idx);

}  // namespace q2mrhost
