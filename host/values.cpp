#include <host/values.h>

#include <oa/com_ptr.h>
#include <oa/text.h>

#include <cmath>
#include <limits>

namespace q2mrhost {

namespace {

int null_tostring(lua_State* L) {
    lua_pushliteral(L, "Null");
    return 1;
}
int nothing_tostring(lua_State* L) {
    lua_pushliteral(L, "Nothing");
    return 1;
}

int error_tostring(lua_State* L) {
    lua_getfield(L, 1, "number");
    const lua_Integer number = lua_tointeger(L, -1);
    lua_getfield(L, 1, "description");
    const char* description = lua_tostring(L, -1);
    lua_pushfstring(L, "%I: %s", number, description ? description : "");
    return 1;
}

int make_byref(lua_State* L) {
    lua_settop(L, 1);
    lua_createtable(L, 0, 1);
    lua_pushvalue(L, 1);
    lua_setfield(L, -2, "value");
    luaL_setmetatable(L, byref_metatable);
    return 1;
}

void push_singleton(lua_State* L, const char* metatable) {
    lua_getfield(L, LUA_REGISTRYINDEX, metatable);
    lua_getfield(L, -1, "instance");
    lua_remove(L, -2);
}

bool is_singleton(lua_State* L, int idx, const char* metatable) {
    return luaL_testudata(L, idx, metatable) != nullptr;
}

}  // namespace

object_box* box_at(lua_State* L, int idx) { return static_cast<object_box*>(luaL_testudata(L, idx, object_metatable)); }

IDispatch* object_at(lua_State* L, int idx) {
    object_box* box = box_at(L, idx);
    return box ? box->object : nullptr;
}

void push_object(lua_State* L, IDispatch* object) {
    if (!object) {
        push_singleton(L, nothing_metatable);
        return;
    }
    auto* box = static_cast<object_box*>(lua_newuserdatauv(L, sizeof(object_box), 0));
    box->object = object;
    box->members = nullptr;
    object->AddRef();
    luaL_setmetatable(L, object_metatable);
}

void to_variant(lua_State* L, int idx, VARIANT& out) {
    switch (lua_type(L, idx)) {
    case LUA_TNIL:
    case LUA_TNONE:
        out.vt = VT_EMPTY;
        return;
    case LUA_TBOOLEAN:
        out.vt = VT_BOOL;
        out.boolVal = lua_toboolean(L, idx) ? VARIANT_TRUE : VARIANT_FALSE;
        return;
    case LUA_TNUMBER:
        if (lua_isinteger(L, idx)) {
            lua_Integer v = lua_tointeger(L, idx);
            if (v >= std::numeric_limits<LONG>::min() && v <= std::numeric_limits<LONG>::max()) {
                out.vt = VT_I4;
                out.lVal = static_cast<LONG>(v);
            } else {
                out.vt = VT_R8;
                out.dblVal = static_cast<double>(v);
            }
        } else {
            out.vt = VT_R8;
            out.dblVal = lua_tonumber(L, idx);
        }
        return;
    case LUA_TSTRING: {
        std::size_t length = 0;
        const char* s = lua_tolstring(L, idx, &length);
        auto wide = oa::utf8_to_utf16(std::string_view(s, length));
        if (!wide) throw conversion_error{"a string that is not valid UTF-8"};
        out.vt = VT_BSTR;
        out.bstrVal = oa::make_bstr(*wide).release();
        return;
    }
    case LUA_TUSERDATA:
        if (IDispatch* object = object_at(L, idx)) {
            out.vt = VT_DISPATCH;
            out.pdispVal = object;
            object->AddRef();
            return;
        }
        if (is_singleton(L, idx, null_metatable)) {
            out.vt = VT_NULL;
            return;
        }
        if (is_singleton(L, idx, nothing_metatable)) {
            out.vt = VT_DISPATCH;
            out.pdispVal = nullptr;
            return;
        }
        break;
    default: break;
    }
    throw conversion_error{std::string("a ") + luaL_typename(L, idx) + " has no automation value"};
}

void push_variant(lua_State* L, const VARIANT& in) {
    const VARIANT* v = &in;
    if (v->vt == (VT_BYREF | VT_VARIANT)) {
        if (!v->pvarVal) {
            lua_pushnil(L);
            return;
        }
        v = v->pvarVal;
    }
    oa::unique_variant plain;
    if (v->vt & VT_BYREF) {
        if (FAILED(VariantCopyInd(&plain, v))) {
            lua_pushnil(L);
            return;
        }
        v = &plain;
    }
    switch (v->vt) {
    case VT_EMPTY: lua_pushnil(L); return;
    case VT_NULL: push_singleton(L, null_metatable); return;
    case VT_I2: lua_pushinteger(L, v->iVal); return;
    case VT_I4: lua_pushinteger(L, v->lVal); return;
    case VT_UI1: lua_pushinteger(L, v->bVal); return;
    case VT_ERROR: lua_pushinteger(L, v->scode); return;
    case VT_R8: lua_pushnumber(L, v->dblVal); return;
    case VT_R4: lua_pushnumber(L, v->fltVal); return;
    case VT_BOOL: lua_pushboolean(L, v->boolVal != VARIANT_FALSE); return;
    case VT_BSTR: {
        std::string text = oa::utf16_to_utf8(oa::view(v->bstrVal));
        lua_pushlstring(L, text.data(), text.size());
        return;
    }
    case VT_DISPATCH: push_object(L, v->pdispVal); return;
    case VT_UNKNOWN: {
        oa::com_ptr<IDispatch> d;
        if (v->punkVal) v->punkVal->QueryInterface(IID_IDispatch, d.put_void());
        push_object(L, d.get());
        return;
    }
    case VT_ARRAY | VT_UI1: {
        // A byte buffer reads as a Lua string of its bytes.
        SAFEARRAY* a = v->parray;
        if (!a) {
            lua_pushliteral(L, "");
            return;
        }
        lua_pushlstring(L, static_cast<const char*>(a->pvData), a->rgsabound[0].cElements);
        return;
    }
    default: lua_pushnil(L); return;
    }
}

void push_failure(lua_State* L, long number, const std::string& description) {
    lua_createtable(L, 0, 2);
    lua_pushinteger(L, number);
    lua_setfield(L, -2, "number");
    lua_pushlstring(L, description.data(), description.size());
    lua_setfield(L, -2, "description");
    luaL_setmetatable(L, error_metatable);
}

bool is_byref(lua_State* L, int idx) {
    if (!lua_istable(L, idx) || !lua_getmetatable(L, idx)) return false;
    luaL_getmetatable(L, byref_metatable);
    const bool same = lua_rawequal(L, -1, -2);
    lua_pop(L, 2);
    return same;
}

void open_values(lua_State* L) {
    luaL_newmetatable(L, byref_metatable);
    lua_pop(L, 1);
    luaL_newmetatable(L, error_metatable);
    lua_pushcfunction(L, error_tostring);
    lua_setfield(L, -2, "__tostring");
    lua_pop(L, 1);
    const struct {
        const char* metatable;
        const char* global;
        lua_CFunction tostring;
    } singletons[] = {{null_metatable, "Null", null_tostring}, {nothing_metatable, "Nothing", nothing_tostring}};
    for (const auto& s : singletons) {
        luaL_newmetatable(L, s.metatable);
        lua_pushcfunction(L, s.tostring);
        lua_setfield(L, -2, "__tostring");
        lua_newuserdatauv(L, 1, 0);
        luaL_setmetatable(L, s.metatable);
        lua_pushvalue(L, -1);
        lua_setglobal(L, s.global);
        lua_setfield(L, -2, "instance");
        lua_pop(L, 1);
    }
    lua_pushcfunction(L, make_byref);
    lua_setglobal(L, "ByRef");
}

}  // namespace q2mrhost
