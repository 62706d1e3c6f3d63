// Automation objects in Lua: obj.Name reads a property, obj.Name = v writes one, and
// obj:Name(...) calls a method; names go through GetIDsOfNames and the type information
// says which members are properties.
#include <host/bridge.h>
#include <host/values.h>

#include <oa/com_ptr.h>
#include <oa/error.h>
#include <oa/text.h>
#include <oa/unique.h>

#include <algorithm>
#include <cctype>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace q2mrhost {

namespace {

struct member_entry {
    DISPID id = DISPID_UNKNOWN;
    bool property = false;
    bool method = false;
};
using member_table = std::unordered_map<std::string, member_entry>;

std::string lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

// Member tables by interface, made once from the type information.
const member_table* members_of(IDispatch* object) {
    static std::map<std::string, std::unique_ptr<member_table>> by_interface;
    oa::com_ptr<ITypeInfo> info;
    if (FAILED(object->GetTypeInfo(0, LOCALE_USER_DEFAULT, info.put())) || !info) return nullptr;
    TYPEATTR* attr = nullptr;
    if (FAILED(info->GetTypeAttr(&attr))) return nullptr;
    OLECHAR guid_text[40];
    StringFromGUID2(attr->guid, guid_text, 40);
    const WORD functions = attr->cFuncs;
    info->ReleaseTypeAttr(attr);
    std::string key = oa::utf16_to_utf8(guid_text);
    auto& slot = by_interface[key];
    if (slot) return slot.get();
    auto table = std::make_unique<member_table>();
    for (UINT i = 0; i < functions; ++i) {
        FUNCDESC* f = nullptr;
        if (FAILED(info->GetFuncDesc(i, &f))) continue;
        oa::unique_bstr name;
        UINT got = 0;
        BSTR raw = nullptr;
        if (SUCCEEDED(info->GetNames(f->memid, &raw, 1, &got)) && got == 1) name.reset(raw);
        member_entry& e = (*table)[lower(oa::utf16_to_utf8(oa::view(name.get())))];
        e.id = f->memid;
        (f->invkind == INVOKE_FUNC ? e.method : e.property) = true;
        info->ReleaseFuncDesc(f);
    }
    slot = std::move(table);
    return slot.get();
}

std::string standard_description(HRESULT hr) {
    if (hr == DISP_E_TYPEMISMATCH) return "Type mismatch";
    if (hr == DISP_E_OVERFLOW) return "Overflow";
    if (hr == DISP_E_BADPARAMCOUNT) return "Wrong number of arguments or invalid property assignment";
    if (hr == DISP_E_MEMBERNOTFOUND || hr == DISP_E_UNKNOWNNAME) return "Object doesn't support this property or method";
    if (hr == DISP_E_PARAMNOTFOUND) return "Parameter not found";
    if (hr == RPC_E_WRONG_THREAD) return "The object was called from another thread";
    if (hr == E_POINTER) return "Invalid pointer";
    if (hr == E_OUTOFMEMORY) return "Out of memory";
    if (hr == E_NOTIMPL) return "Not implemented";
    if (int n = oa::vb_number_for(hr); n != 0 && oa::failure_number(hr) != hr)
        return oa::utf16_to_utf8(oa::vb_description(n));
    return "Automation error";
}

struct failure {
    long number;
    std::string description;
};

// One late-bound call. The arguments are the Lua values first..first+count-1; ByRef
// boxes travel as VT_BYREF|VT_VARIANT and receive what the member wrote. On success the
// result is pushed; on failure nothing is pushed and the failure is returned.
std::optional<failure> invoke_member(lua_State* L, IDispatch* object, DISPID id, WORD flags, int first, int count) {
    std::vector<oa::unique_variant> values(static_cast<std::size_t>(count));
    std::vector<VARIANT> args(static_cast<std::size_t>(count));
    std::vector<int> boxes;
    for (int i = 0; i < count; ++i) {
        const int idx = first + i;
        const std::size_t slot = static_cast<std::size_t>(count - 1 - i);  // arguments travel last first
        try {
            if (is_byref(L, idx)) {
                lua_getfield(L, idx, "value");
                to_variant(L, -1, values[slot]);
                lua_pop(L, 1);
                args[slot].vt = VT_BYREF | VT_VARIANT;
                args[slot].pvarVal = &values[slot];
                boxes.push_back(i);
            } else {
                to_variant(L, idx, values[slot]);
                args[slot] = values[slot];
            }
        } catch (const conversion_error& e) {
            return failure{oa::vb::invalid_call, "argument " + std::to_string(i + 1) + ": " + e.message};
        }
    }
    DISPID put_id = DISPID_PROPERTYPUT;
    DISPPARAMS params{args.data(), nullptr, static_cast<UINT>(count), 0};
    if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) {
        params.rgdispidNamedArgs = &put_id;
        params.cNamedArgs = 1;
    }
    oa::unique_variant result;
    oa::unique_excepinfo exception;
    UINT arg_err = 0;
    HRESULT hr = object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, &result, &exception, &arg_err);
    for (int i : boxes) {
        const std::size_t slot = static_cast<std::size_t>(count - 1 - i);
        push_variant(L, values[slot]);
        lua_setfield(L, first + i, "value");
    }
    if (hr == DISP_E_EXCEPTION) {
        HRESULT code = exception.scode ? exception.scode : oa::vb_hresult(exception.wCode);
        std::string text = oa::utf16_to_utf8(oa::view(exception.bstrDescription));
        return failure{oa::failure_number(code), text.empty() ? standard_description(code) : text};
    }
    if (FAILED(hr)) {
        std::string text = standard_description(hr);
        if (hr == DISP_E_TYPEMISMATCH || hr == DISP_E_OVERFLOW)
            text += " (argument " + std::to_string(count - static_cast<int>(arg_err)) + ")";
        return failure{oa::failure_number(hr), text};
    }
    push_variant(L, result);
    return std::nullopt;
}

// The same, pushing the failure instead; callers raise it with lua_error once every C++
// owner of theirs has gone (a Lua error unwinds without running destructors).
bool call_member(lua_State* L, IDispatch* object, DISPID id, WORD flags, int first, int count) {
    std::optional<failure> f = invoke_member(L, object, id, flags, first, count);
    if (f) push_failure(L, f->number, f->description);
    return !f;
}

bool push_no_member(lua_State* L) {
    push_failure(L, oa::vb::no_such_member, oa::utf16_to_utf8(oa::vb_description(oa::vb::no_such_member)));
    return false;
}

std::optional<member_entry> find_member(lua_State* L, object_box* box, const char* name) {
    if (!box->members) box->members = members_of(box->object);
    if (auto* table = static_cast<const member_table*>(box->members)) {
        auto it = table->find(lower(name));
        if (it != table->end()) return it->second;
    }
    auto wide = oa::utf8_to_utf16(name);
    if (!wide) return std::nullopt;
    LPOLESTR names[] = {wide->data()};
    member_entry e;
    if (FAILED(box->object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &e.id))) return std::nullopt;
    e.method = true;  // without type information a name may be either
    e.property = true;
    (void)L;
    return e;
}

int method_call(lua_State* L) {
    const DISPID id = static_cast<DISPID>(lua_tointeger(L, lua_upvalueindex(1)));
    IDispatch* self = object_at(L, 1);
    if (!self) {
        push_failure(L, oa::vb::invalid_call, "a method is called as object:Name(...)");
        return lua_error(L);
    }
    if (!call_member(L, self, id, DISPATCH_METHOD, 2, lua_gettop(L) - 1)) return lua_error(L);
    return 1;
}

int object_index(lua_State* L) {
    object_box* box = box_at(L, 1);
    const char* name = luaL_checkstring(L, 2);
    std::optional<member_entry> member = find_member(L, box, name);
    if (!member) return push_no_member(L), lua_error(L);
    if (member->property && !member->method) {
        if (!call_member(L, box->object, member->id, DISPATCH_PROPERTYGET | DISPATCH_METHOD, 0, 0))
            return lua_error(L);
        return 1;
    }
    lua_pushinteger(L, member->id);
    lua_pushstring(L, name);
    lua_pushcclosure(L, method_call, 2);
    return 1;
}

int object_newindex(lua_State* L) {
    object_box* box = box_at(L, 1);
    const char* name = luaL_checkstring(L, 2);
    std::optional<member_entry> member = find_member(L, box, name);
    if (!member) return push_no_member(L), lua_error(L);
    const bool is_object = object_at(L, 3) || luaL_testudata(L, 3, nothing_metatable);
    const WORD flags = is_object ? DISPATCH_PROPERTYPUTREF : DISPATCH_PROPERTYPUT;
    if (!call_member(L, box->object, member->id, flags, 3, 1)) return lua_error(L);
    return 0;
}

int object_gc(lua_State* L) {
    object_box* box = box_at(L, 1);
    if (box && box->object) {
        oa::adopt(box->object);  // the box's own reference goes with it
        box->object = nullptr;
    }
    return 0;
}

int object_eq(lua_State* L) {
    IDispatch* a = object_at(L, 1);
    IDispatch* b = object_at(L, 2);
    oa::com_ptr<IUnknown> ua, ub;
    if (a) a->QueryInterface(IID_IUnknown, ua.put_void());
    if (b) b->QueryInterface(IID_IUnknown, ub.put_void());
    lua_pushboolean(L, ua && ua.get() == ub.get());
    return 1;
}

int object_tostring(lua_State* L) {
    object_box* box = box_at(L, 1);
    std::string name = "Object";
    oa::com_ptr<ITypeInfo> info;
    if (box && box->object && SUCCEEDED(box->object->GetTypeInfo(0, 0, info.put())) && info) {
        oa::unique_bstr text;
        if (SUCCEEDED(info->GetDocumentation(-1, text.put(), nullptr, nullptr, nullptr)))
            name = oa::utf16_to_utf8(oa::view(text.get()));
    }
    lua_pushfstring(L, "%s: %p", name.c_str(), static_cast<void*>(box ? box->object : nullptr));
    return 1;
}

std::optional<failure> try_create_object(lua_State* L, const char* progid) {
    auto wide = oa::utf8_to_utf16(progid);
    if (!wide) return failure{oa::vb::invalid_call, "a ProgID that is not valid UTF-8"};
    CLSID clsid{};
    HRESULT hr = CLSIDFromProgID(wide->c_str(), &clsid);
    oa::com_ptr<IDispatch> object;
    if (SUCCEEDED(hr)) hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, object.put_void());
    if (FAILED(hr)) {
        std::string text = oa::utf16_to_utf8(oa::take_error_description(hr));
        if (text.empty()) text = std::string("cannot create an object of ") + progid;
        return failure{oa::failure_number(hr), text};
    }
    push_object(L, object.get());
    return std::nullopt;
}

bool create_object(lua_State* L, const char* progid) {
    std::optional<failure> f = try_create_object(L, progid);
    if (f) push_failure(L, f->number, f->description);
    return !f;
}

int create_object_global(lua_State* L) {
    const char* progid = luaL_checkstring(L, 1);
    if (!create_object(L, progid)) return lua_error(L);
    return 1;
}

}  // namespace

void open_bridge(lua_State* L) {
    open_values(L);
    luaL_newmetatable(L, object_metatable);
    const luaL_Reg methods[] = {{"__index", object_index},   {"__newindex", object_newindex},
                                {"__gc", object_gc},         {"__eq", object_eq},
                                {"__tostring", object_tostring}, {nullptr, nullptr}};
    luaL_setfuncs(L, methods, 0);
    lua_pop(L, 1);
    lua_pushcfunction(L, create_object_global);
    lua_setglobal(L, "CreateObject");
}

}  // namespace q2mrhost
