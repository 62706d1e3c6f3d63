#include <host/values.h>

#include <oa/com_ptr.h>
#include <oa/text.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <new>

namespace q2mrhost {

namespace {

constexpr std::uint64_t box_tag = 0x786F622E726D3271;  // "q2mr.box"

int null_tostring(lua_State* L) {
    lua_pushliteral(L, "Null");
    return 1;
}
int nothing_tostring(lua_State* L) {
    lua_pushliteral(L, "Nothing");
    return 1;
}

int error_tostring(lua_State* L) {
    luaL_checktype(L, 1, LUA_TTABLE);
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

bool is_singleton(lua_State* L, int idx, const char* metatable) { return userdata_with(L, idx, metatable) != nullptr; }

// True when the value on top has the metatable made as name; pops that metatable.
bool top_metatable_is(lua_State* L, const char* name) {
    lua_rawgetp(L, LUA_REGISTRYINDEX, name);
    const bool same = lua_rawequal(L, -1, -2);
    lua_pop(L, 2);
    return same;
}

// One UTF-16 text as UTF-8, an unpaired surrogate as U+FFFD (as oa::utf16_to_utf8 does).
// Measures first, then writes into a Lua buffer: nothing of ours to lose if Lua raises.
template <class Sink> void each_utf8_byte_run(std::u16string_view in, Sink&& sink) {
    for (std::size_t i = 0; i < in.size(); ++i) {
        char32_t cp = in[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < in.size() && in[i + 1] >= 0xDC00 && in[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (in[i + 1] - 0xDC00);
            ++i;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = 0xFFFD;
        }
        char out[4];
        std::size_t n;
        if (cp < 0x80) {
            out[0] = static_cast<char>(cp);
            n = 1;
        } else if (cp < 0x800) {
            out[0] = static_cast<char>(0xC0 | (cp >> 6));
            out[1] = static_cast<char>(0x80 | (cp & 0x3F));
            n = 2;
        } else if (cp < 0x10000) {
            out[0] = static_cast<char>(0xE0 | (cp >> 12));
            out[1] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out[2] = static_cast<char>(0x80 | (cp & 0x3F));
            n = 3;
        } else {
            out[0] = static_cast<char>(0xF0 | (cp >> 18));
            out[1] = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
            out[2] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out[3] = static_cast<char>(0x80 | (cp & 0x3F));
            n = 4;
        }
        sink(out, n);
    }
}

void push_text(lua_State* L, std::u16string_view text) {
    std::size_t length = 0;
    each_utf8_byte_run(text, [&](const char*, std::size_t n) { length += n; });
    luaL_Buffer b;
    char* p = luaL_buffinitsize(L, &b, length);
    each_utf8_byte_run(text, [&](const char* bytes, std::size_t n) {
        for (std::size_t k = 0; k < n; ++k) *p++ = bytes[k];
    });
    luaL_pushresultsize(&b, length);
}

template <class T> T read(const void* p) { return *static_cast<const T*>(p); }

// An object given as IUnknown: its IDispatch goes straight into a box that Lua owns.
void push_unknown(lua_State* L, IUnknown* unknown) {
    if (!unknown) {
        push_singleton(L, nothing_metatable);
        return;
    }
    object_box* box = push_empty_box(L);
    if (FAILED(unknown->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&box->object))) || !box->object) {
        box->object = nullptr;
        lua_pop(L, 1);
        push_singleton(L, nothing_metatable);
    }
}

}  // namespace

object_box* box_at(lua_State* L, int idx) {
    auto* box = static_cast<object_box*>(userdata_with(L, idx, object_metatable));
    // A userdata of another kind that was given this metatable (the debug library can) is no box.
    if (!box || lua_rawlen(L, idx) != sizeof(object_box) || box->tag != box_tag) return nullptr;
    return box;
}

IDispatch* object_at(lua_State* L, int idx) {
    object_box* box = box_at(L, idx);
    return box ? box->object : nullptr;
}

object_box* push_empty_box(lua_State* L) {
    auto* box = static_cast<object_box*>(lua_newuserdatauv(L, sizeof(object_box), 0));
    box->tag = box_tag;
    box->object = nullptr;
    box->members = nullptr;
    luaL_setmetatable(L, object_metatable);
    return box;
}

void push_object(lua_State* L, IDispatch* object) {
    if (!object) {
        push_singleton(L, nothing_metatable);
        return;
    }
    object_box* box = push_empty_box(L);  // Lua may raise here: no reference is taken yet
    box->object = object;
    object->AddRef();
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
        const std::string_view text(s, length);
        out.vt = VT_BSTR;
        if (std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; })) {
            // Plain ASCII, the common text: widened straight into the BSTR.
            if (length > 0x3FFFFFFF) throw std::bad_alloc();
            out.bstrVal = SysAllocStringLen(nullptr, static_cast<UINT>(length));
            if (!out.bstrVal) throw std::bad_alloc();
            std::copy(text.begin(), text.end(), oa::u16(out.bstrVal));
            return;
        }
        auto wide = oa::utf8_to_utf16(text);
        if (!wide) {
            out.vt = VT_EMPTY;
            throw conversion_error{"a string that is not valid UTF-8"};
        }
        out.bstrVal = oa::make_bstr(*wide).release();
        return;
    }
    case LUA_TUSERDATA:
        if (object_box* box = box_at(L, idx)) {
            if (!box->object) throw conversion_error{"an object that was already released"};
            out.vt = VT_DISPATCH;
            out.pdispVal = box->object;
            box->object->AddRef();
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
    // Read through by-reference boxes (two deep at most) without copying: a copy would be
    // an owner that a Lua error could skip.
    const VARIANT* v = &in;
    for (int depth = 0; v->vt == (VT_BYREF | VT_VARIANT); ++depth) {
        if (!v->pvarVal || depth == 2) {
            lua_pushnil(L);
            return;
        }
        v = v->pvarVal;
    }
    const bool byref = (v->vt & VT_BYREF) != 0;
    const void* p = byref ? v->byref : static_cast<const void*>(&v->llVal);
    if (!p) {
        lua_pushnil(L);
        return;
    }
    switch (v->vt & ~VT_BYREF) {
    case VT_EMPTY: lua_pushnil(L); return;
    case VT_NULL: push_singleton(L, null_metatable); return;
    case VT_I2: lua_pushinteger(L, read<SHORT>(p)); return;
    case VT_I4: lua_pushinteger(L, read<LONG>(p)); return;
    case VT_UI1: lua_pushinteger(L, read<BYTE>(p)); return;
    case VT_ERROR: lua_pushinteger(L, read<SCODE>(p)); return;
    case VT_R8: lua_pushnumber(L, read<double>(p)); return;
    case VT_R4: lua_pushnumber(L, read<float>(p)); return;
    case VT_BOOL: lua_pushboolean(L, read<VARIANT_BOOL>(p) != VARIANT_FALSE); return;
    case VT_BSTR: push_text(L, oa::view(read<BSTR>(p))); return;
    case VT_DISPATCH: push_object(L, read<IDispatch*>(p)); return;
    case VT_UNKNOWN: push_unknown(L, read<IUnknown*>(p)); return;
    case VT_ARRAY | VT_UI1: {
        // A byte buffer reads as a Lua string of its bytes.
        const SAFEARRAY* a = read<SAFEARRAY*>(p);
        if (!a || a->cDims != 1 || !a->pvData) {
            lua_pushliteral(L, "");
            return;
        }
        lua_pushlstring(L, static_cast<const char*>(a->pvData), a->rgsabound[0].cElements);
        return;
    }
    default: lua_pushnil(L); return;
    }
}

void push_failure(lua_State* L, long number, std::string_view description) {
    lua_createtable(L, 0, 2);
    lua_pushinteger(L, number);
    lua_setfield(L, -2, "number");
    lua_pushlstring(L, description.data(), description.size());
    lua_setfield(L, -2, "description");
    luaL_setmetatable(L, error_metatable);
}

bool is_byref(lua_State* L, int idx) {
    return lua_istable(L, idx) && lua_getmetatable(L, idx) && top_metatable_is(L, byref_metatable);
}

void new_metatable(lua_State* L, const char* name) {
    luaL_newmetatable(L, name);
    lua_pushvalue(L, -1);
    lua_rawsetp(L, LUA_REGISTRYINDEX, name);
}

void* userdata_with(lua_State* L, int idx, const char* name) {
    void* p = lua_touserdata(L, idx);
    if (!p || !lua_getmetatable(L, idx)) return nullptr;
    return top_metatable_is(L, name) ? p : nullptr;
}

namespace {
// A metatable that scripts can neither read nor replace with getmetatable/setmetatable.
void protect_metatable(lua_State* L, const char* shown_as) {
    lua_pushstring(L, shown_as);
    lua_setfield(L, -2, "__metatable");
}
}  // namespace

void open_values(lua_State* L) {
    new_metatable(L, byref_metatable);
    protect_metatable(L, "ByRef");
    lua_pop(L, 1);
    new_metatable(L, error_metatable);
    lua_pushcfunction(L, error_tostring);
    lua_setfield(L, -2, "__tostring");
    protect_metatable(L, "Error");
    lua_pop(L, 1);
    const struct {
        const char* metatable;
        const char* global;
        lua_CFunction tostring;
    } singletons[] = {{null_metatable, "Null", null_tostring}, {nothing_metatable, "Nothing", nothing_tostring}};
    for (const auto& s : singletons) {
        new_metatable(L, s.metatable);
        lua_pushcfunction(L, s.tostring);
        lua_setfield(L, -2, "__tostring");
        protect_metatable(L, s.global);
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
