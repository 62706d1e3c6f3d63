// Automation objects in Lua: obj.Name reads a property, obj.Name = v writes one, and
// obj:Name(...) calls a method; names go through GetIDsOfNames and the type information
// says which members are properties.
//
// Lua unwinds an error past C++ frames without running their destructors. So every
// function here keeps its owners (references, BSTRs, buffers) in its own frame and does
// whatever may raise (conversions that read ByRef boxes, write-backs, pushing results,
// pushing failures) inside run_protected; it raises only once those owners are gone.
#include <host/bridge.h>
#include <host/values.h>

#include <oa/ascii.h>
#include <oa/com_ptr.h>
#include <oa/error.h>
#include <oa/late_bound.h>
#include <oa/text.h>
#include <oa/unique.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
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
// Looked up by a name in a buffer of the caller's, without making a string of it.
struct name_hash {
    using is_transparent = void;
    std::size_t operator()(std::string_view s) const noexcept { return std::hash<std::string_view>{}(s); }
};
using member_table = std::unordered_map<std::string, member_entry, name_hash, std::equal_to<>>;

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
        // Names compare without regard to the case of ASCII letters, as GetIDsOfNames does.
        member_entry& e = (*table)[oa::ascii_lowered(oa::utf16_to_utf8(oa::view(name.get())))];
        e.id = f->memid;
        (f->invkind == INVOKE_FUNC ? e.method : e.property) = true;
        info->ReleaseFuncDesc(f);
    }
    slot = std::move(table);
    return slot.get();
}

// The words of failure 438, as the runtime has them; made once, so that raising it leaves
// no owner behind.
const std::string& no_member_text() {
    static const std::string text = oa::utf16_to_utf8(oa::vb_description(oa::vb::no_such_member));
    return text;
}

std::string standard_description(HRESULT hr) {
    if (hr == DISP_E_TYPEMISMATCH) return "Type mismatch";
    if (hr == DISP_E_OVERFLOW) return "Overflow";
    if (hr == DISP_E_BADPARAMCOUNT) return "Wrong number of arguments or invalid property assignment";
    if (hr == DISP_E_MEMBERNOTFOUND || hr == DISP_E_UNKNOWNNAME) return no_member_text();
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

constexpr const char* released_text = "The object was already released (finalized when the script let it go)";

// A box whose object is still there; raises for a released one.
object_box* live_box(lua_State* L, object_box* box) {
    if (!box->object) {
        push_failure(L, oa::vb::object_not_set, released_text);
        lua_error(L);
    }
    return box;
}

// The object box at idx, raising a clear error for anything else and for a released box.
object_box* checked_box(lua_State* L, int idx) {
    object_box* box = box_at(L, idx);
    if (!box) luaL_typeerror(L, idx, "Object");
    return live_box(L, box);
}

// One late-bound call. Its owners live here, in the frame of the Lua function that
// called it; run() does everything that may raise, under run_protected.
class invocation {
public:
    invocation(IDispatch* object, DISPID id, WORD flags, int count)
        : object_(object), id_(id), flags_(flags), count_(count) {}
    invocation(const invocation&) = delete;
    invocation& operator=(const invocation&) = delete;

    // The arguments are 1..count; ByRef boxes travel as VT_BYREF|VT_VARIANT and receive
    // what the member wrote. Pushes the result, or raises the failure.
    int run(lua_State* L) {
        if (count_ > inline_arguments) {
            more_values_ = std::make_unique<oa::unique_variant[]>(static_cast<std::size_t>(count_));
            more_args_ = std::make_unique<VARIANT[]>(static_cast<std::size_t>(count_));
            values_ = more_values_.get();
            args_ = more_args_.get();
        }
        for (int i = 0; i < count_; ++i) {
            const int idx = i + 1;
            const std::size_t slot = static_cast<std::size_t>(count_ - 1 - i);  // arguments travel last first
            if (is_byref(L, idx)) {
                lua_getfield(L, idx, "value");
                convert(L, -1, i, slot);
                lua_pop(L, 1);
                args_[slot].vt = VT_BYREF | VT_VARIANT;
                args_[slot].pvarVal = &values_[slot];
                byref_ = true;
            } else {
                convert(L, idx, i, slot);
                args_[slot] = values_[slot];
            }
            if (failed_) return raise(L);
        }
        const HRESULT hr = invoke();
        for (int i = 0; byref_ && i < count_; ++i) {
            const std::size_t slot = static_cast<std::size_t>(count_ - 1 - i);
            if (args_[slot].vt != (VT_BYREF | VT_VARIANT)) continue;
            push_variant(L, values_[slot]);
            lua_setfield(L, i + 1, "value");
        }
        if (FAILED(hr)) {
            describe_failure(hr);
            return raise(L);
        }
        push_variant(L, result_);
        return 1;
    }

private:
    void convert(lua_State* L, int idx, int i, std::size_t slot) {
        try {
            to_variant(L, idx, values_[slot]);
        } catch (const conversion_error& e) {
            failed_ = failure{oa::vb::invalid_call, "argument " + std::to_string(i + 1) + ": " + e.message};
        }
    }

    HRESULT invoke() {
        return oa::late::invoke(object_.get(), id_, flags_, args_, static_cast<UINT>(count_), &result_, &exception_,
                                &arg_err_);
    }

    void describe_failure(HRESULT hr) {
        if (hr == DISP_E_EXCEPTION) {
            const oa::com_error e = oa::late::failure_of(hr, exception_);
            std::string text = oa::utf16_to_utf8(e.description());
            failed_ = failure{e.number(), text.empty() ? standard_description(e.code()) : std::move(text)};
            return;
        }
        std::string text = standard_description(hr);
        if (hr == DISP_E_TYPEMISMATCH || hr == DISP_E_OVERFLOW)
            text += " (argument " + std::to_string(count_ - static_cast<int>(arg_err_)) + ")";
        failed_ = failure{oa::failure_number(hr), std::move(text)};
    }

    int raise(lua_State* L) {
        push_failure(L, failed_->number, failed_->description);
        return lua_error(L);
    }

    // Most calls take a few arguments: their values live here, not on the heap.
    static constexpr int inline_arguments = 8;

    oa::com_ptr<IDispatch> object_;  // a reference of the call's own: a finalizer cannot pull the object away
    DISPID id_;
    WORD flags_;
    int count_;
    // The values the call made, cleared with the call; args_ lends them to the callee.
    oa::unique_variant inline_values_[inline_arguments];
    VARIANT inline_args_[inline_arguments];
    std::unique_ptr<oa::unique_variant[]> more_values_;
    std::unique_ptr<VARIANT[]> more_args_;
    oa::unique_variant* values_ = inline_values_;
    VARIANT* args_ = inline_args_;
    bool byref_ = false;
    oa::unique_variant result_;
    oa::unique_excepinfo exception_;
    UINT arg_err_ = 0;
    std::optional<failure> failed_;
};

// Calls a member with the Lua values first..first+count-1 as arguments and returns its
// result (one value); raises the member's failure.
int call_member(lua_State* L, IDispatch* object, DISPID id, WORD flags, int first, int count) {
    luaL_checkstack(L, count + 4, "too many arguments");
    int status;
    {
        invocation call(object, id, flags, count);
        auto body = [&call](lua_State* S) { return call.run(S); };
        status = run_protected_with(L, count, body, [&](lua_State* S) {
            for (int i = 0; i < count; ++i) lua_pushvalue(S, first + i);
        });
    }
    if (status != LUA_OK) return lua_error(L);
    return 1;
}

// Pushes a failure under protection; the caller raises it (or the error that pushing it
// raised) once its own owners are gone.
void push_failure_safely(lua_State* L, long number, std::string_view description) {
    auto push = [&](lua_State* S) {
        push_failure(S, number, description);
        return 1;
    };
    run_protected(L, 0, push);
}

// The member a name stands for; nullopt when there is none.
std::optional<member_entry> find_member(object_box* box, const char* name) noexcept {
    try {
        if (!box->members) box->members = members_of(box->object);
        if (auto* table = static_cast<const member_table*>(box->members)) {
            char folded[64];
            const std::size_t n = std::strlen(name);
            if (n < sizeof folded) {
                std::transform(name, name + n, folded, oa::ascii_lower<char>);
                auto it = table->find(std::string_view(folded, n));
                if (it != table->end()) return it->second;
            } else if (auto it = table->find(oa::ascii_lowered(std::string(name))); it != table->end()) {
                return it->second;
            }
        }
        auto wide = oa::utf8_to_utf16(name);
        if (!wide) return std::nullopt;
        member_entry e;
        if (FAILED(oa::late::find_id(box->object, *wide, e.id))) return std::nullopt;
        e.method = true;  // without type information a name may be either
        e.property = true;
        return e;
    } catch (...) {
        return std::nullopt;
    }
}

// The member the name at name_idx stands for. Each member table keeps, in the registry
// under its address, the names scripts used with it, so that a name is folded and looked up
// once, not at every call.
std::optional<member_entry> member_named(lua_State* L, object_box* box, int name_idx) {
    if (box->members) {
        if (lua_rawgetp(L, LUA_REGISTRYINDEX, box->members) == LUA_TTABLE) {
            lua_pushvalue(L, name_idx);
            const bool known = lua_rawget(L, -2) == LUA_TNUMBER;
            const lua_Integer code = lua_tointeger(L, -1);
            lua_pop(L, 2);
            if (known) return member_entry{static_cast<DISPID>(code >> 2), (code & 1) != 0, (code & 2) != 0};
        } else {
            lua_pop(L, 1);
        }
    }
    const std::optional<member_entry> member = find_member(box, lua_tostring(L, name_idx));
    if (!member || !box->members) return member;
    if (lua_rawgetp(L, LUA_REGISTRYINDEX, box->members) != LUA_TTABLE) {
        lua_pop(L, 1);
        lua_newtable(L);
        lua_pushvalue(L, -1);
        lua_rawsetp(L, LUA_REGISTRYINDEX, box->members);
    }
    lua_pushvalue(L, name_idx);
    lua_pushinteger(L, lua_Integer{member->id} * 4 + (member->property ? 1 : 0) + (member->method ? 2 : 0));
    lua_rawset(L, -3);
    lua_pop(L, 1);
    return member;
}

int raise_no_member(lua_State* L) {
    push_failure(L, oa::vb::no_such_member, no_member_text());
    return lua_error(L);
}

int method_call(lua_State* L) {
    const DISPID id = static_cast<DISPID>(lua_tointeger(L, lua_upvalueindex(1)));
    object_box* box = box_at(L, 1);
    if (!box) {
        push_failure(L, oa::vb::invalid_call, "a method is called as object:Name(...)");
        return lua_error(L);
    }
    return call_member(L, live_box(L, box)->object, id, DISPATCH_METHOD, 2, lua_gettop(L) - 1);
}

int object_index(lua_State* L) {
    object_box* box = checked_box(L, 1);
    luaL_checkstring(L, 2);
    const std::optional<member_entry> member = member_named(L, box, 2);
    if (!member) return raise_no_member(L);
    if (member->property && !member->method)
        return call_member(L, box->object, member->id, DISPATCH_PROPERTYGET | DISPATCH_METHOD, 0, 0);
    // One function per dispatch id, made once: it takes its object as its first argument.
    // They are kept in the metamethods' upvalue (dispatch id -> function).
    lua_pushvalue(L, lua_upvalueindex(1));
    if (lua_rawgeti(L, -1, member->id) != LUA_TFUNCTION) {
        lua_pop(L, 1);
        lua_pushinteger(L, member->id);
        lua_pushcclosure(L, method_call, 1);
        lua_pushvalue(L, -1);
        lua_rawseti(L, -3, member->id);
    }
    return 1;
}

int object_newindex(lua_State* L) {
    object_box* box = checked_box(L, 1);
    luaL_checkstring(L, 2);
    const std::optional<member_entry> member = member_named(L, box, 2);
    if (!member) return raise_no_member(L);
    const bool is_object =
        lua_type(L, 3) == LUA_TUSERDATA && (object_at(L, 3) || userdata_with(L, 3, nothing_metatable));
    const WORD flags = is_object ? DISPATCH_PROPERTYPUTREF : DISPATCH_PROPERTYPUT;
    lua_settop(L, 3);
    call_member(L, box->object, member->id, flags, 3, 1);
    return 0;
}

int object_gc(lua_State* L) {
    if (object_box* box = box_at(L, 1); box && box->object) {
        IDispatch* object = box->object;
        box->object = nullptr;  // released before the reference goes: the box reads as released from now on
        oa::adopt(object);
    }
    return 0;
}

int object_eq(lua_State* L) {
    IDispatch* a = object_at(L, 1);
    IDispatch* b = object_at(L, 2);
    bool same = false;
    if (a && b) {
        oa::com_ptr<IUnknown> ua, ub;
        a->QueryInterface(IID_IUnknown, ua.put_void());
        b->QueryInterface(IID_IUnknown, ub.put_void());
        same = ua && ua.get() == ub.get();
    }
    lua_pushboolean(L, same);
    return 1;
}

int object_tostring(lua_State* L) {
    object_box* box = box_at(L, 1);
    if (!box) luaL_typeerror(L, 1, "Object");
    char text[160] = "Object (released)";
    if (box->object) {
        std::string name = "Object";
        try {
            oa::com_ptr<ITypeInfo> info;
            if (SUCCEEDED(box->object->GetTypeInfo(0, 0, info.put())) && info) {
                oa::unique_bstr doc;
                if (SUCCEEDED(info->GetDocumentation(-1, doc.put(), nullptr, nullptr, nullptr)))
                    name = oa::utf16_to_utf8(oa::view(doc.get()));
            }
        } catch (...) {
        }
        std::snprintf(text, sizeof text, "%.100s: %p", name.c_str(), static_cast<void*>(box->object));
    }
    lua_pushstring(L, text);
    return 1;
}

int create_object_global(lua_State* L) {
    const char* progid = luaL_checkstring(L, 1);
    luaL_checkstack(L, 4, nullptr);
    // The object goes straight into a box that Lua owns, so no reference is ever ours alone.
    object_box* box = push_empty_box(L);
    {
        HRESULT hr = E_OUTOFMEMORY;
        std::string text = "out of memory";
        try {
            if (auto wide = oa::utf8_to_utf16(progid)) {
                // As the runtime's client creates objects: a class out of reach is 429 with
                // the words of the Windows host's CreateObject.
                try {
                    box->object = oa::late::create_object(*wide).detach();
                    hr = S_OK;
                } catch (const oa::com_error& e) {
                    hr = e.code();
                    text = oa::utf16_to_utf8(e.description());
                }
                if (text.empty()) text = std::string("cannot create an object of ") + progid;
            } else {
                hr = oa::vb_hresult(oa::vb::invalid_call);
                text = "a ProgID that is not valid UTF-8";
            }
        } catch (...) {
        }
        if (SUCCEEDED(hr)) return 1;
        box->object = nullptr;
        push_failure_safely(L, oa::failure_number(hr), text);
    }
    return lua_error(L);
}

}  // namespace

void open_bridge(lua_State* L) {
    open_values(L);
    new_metatable(L, object_metatable);
    const luaL_Reg methods[] = {{"__index", object_index},   {"__newindex", object_newindex},
                                {"__gc", object_gc},         {"__eq", object_eq},
                                {"__tostring", object_tostring}, {nullptr, nullptr}};
    lua_newtable(L);  // the functions that call methods, by dispatch id: object_index's upvalue
    luaL_setfuncs(L, methods, 1);
    lua_pushliteral(L, "Object");
    lua_setfield(L, -2, "__metatable");
    lua_pop(L, 1);
    lua_pushcfunction(L, create_object_global);
    lua_setglobal(L, "CreateObject");
}

}  // namespace q2mrhost
