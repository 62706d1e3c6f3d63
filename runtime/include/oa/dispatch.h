// Late binding from one description per interface: the description lists each member
// with its dispatch id, kind, argument names and types, and a thunk that calls the
// early-bound method. The dispatcher and the type information both read it.
#pragma once

#include <oa/implements.h>
#include <oleauto.h>

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

namespace oa::disp {

enum class member_kind : WORD {
    method = INVOKE_FUNC,
    get = INVOKE_PROPERTYGET,
    put = INVOKE_PROPERTYPUT,
    putref = INVOKE_PROPERTYPUTREF,
};

// How an argument is held while a call runs.
enum class storage : std::uint8_t { bstr, i2, i4, variant, object, ui1, array };

struct param {
    std::u16string name;
    std::u16string type_name;  // as the type information shows it: String, Integer, User ...
    VARTYPE vt = VT_EMPTY;     // VT_BSTR, VT_I2, VT_BOOL, VT_I4, VT_VARIANT, VT_DISPATCH, VT_UI1, VT_ARRAY|VT_UI1
    bool byref = false;
    bool written = false;  // the member may write through it; others may alias the caller's value
    bool optional = false;  // a Variant the caller may leave out: it then holds DISP_E_PARAMNOTFOUND
    storage store = storage::variant;
    const IID* iid = nullptr;                // objects: the interface the member takes
    IUnknown* (*as_unknown)(void*) = nullptr;  // objects: the held pointer as IUnknown
    IDispatch* (*as_dispatch)(void*) = nullptr;
};

using thunk = HRESULT (*)(void* self, void* const* slots);

struct member {
    std::u16string name;
    DISPID id = 0;
    member_kind kind = member_kind::method;
    std::vector<param> params;  // without the result
    bool has_result = false;
    bool vararg = false;  // the last parameter, Variant(), takes every further argument, in order
    bool indexes_default = false;  // arguments given to this object property go to its default member
    param result;
    thunk call = nullptr;
};

struct interface_desc {
    interface_desc(std::u16string name, const IID& iid, WORD type_flags, std::vector<member> members);

    std::u16string name;
    IID iid{};
    WORD type_flags = 0;
    std::vector<member> members;  // as made: the lookups below are built from it once

    // The member that serves id with these invoke flags, or nullptr.
    const member* find(DISPID id, WORD flags) const noexcept;
    // Case-insensitive; the first member of that name, or nullptr.
    const member* member_of_name(std::u16string_view name) const noexcept;
    const member* first_with_id(DISPID id) const noexcept;

private:
    // One small key per member (length and folded first and last letters), so that a
    // name lookup compares whole names only where the key fits.
    std::vector<std::uint32_t> name_keys_;
    // (id, position) of every member, in that order: find searches it, and sees the
    // members of one id in declaration order.
    std::vector<std::pair<DISPID, std::uint32_t>> by_id_;
};

struct coclass_desc {
    std::u16string name;
    CLSID clsid{};
    WORD type_flags = TYPEFLAG_FCANCREATE;
    const interface_desc* default_interface = nullptr;
};

struct library_desc {
    std::u16string name;
    GUID libid{};
    WORD major = 1, minor = 0;
    LCID lcid = 0;
    // The type descriptions in library order: interface or class.
    struct entry {
        const interface_desc* iface = nullptr;
        const coclass_desc* coclass = nullptr;
    };
    std::vector<entry> types;
};

// ------------------------------------------------------------------------------------
// Argument traits: how a C++ parameter type of an early-bound method is held.
namespace detail {
template <class T> struct arg_traits {
    static_assert(sizeof(T) == 0, "unsupported argument type");
};
template <class Value, storage S> struct value_arg {
    static constexpr storage store = S;
    static constexpr bool byref = false;
    static Value from(void* p) noexcept { return *static_cast<Value*>(p); }
};
template <class Value, storage S> struct ref_arg {
    static constexpr storage store = S;
    static constexpr bool byref = true;
    static Value* from(void* p) noexcept { return static_cast<Value*>(p); }
};
template <> struct arg_traits<BSTR> : value_arg<BSTR, storage::bstr> {};
template <> struct arg_traits<BSTR*> : ref_arg<BSTR, storage::bstr> {};
template <> struct arg_traits<SHORT> : value_arg<SHORT, storage::i2> {};
template <> struct arg_traits<SHORT*> : ref_arg<SHORT, storage::i2> {};
template <> struct arg_traits<LONG> : value_arg<LONG, storage::i4> {};
template <> struct arg_traits<LONG*> : ref_arg<LONG, storage::i4> {};
template <> struct arg_traits<VARIANT*> : ref_arg<VARIANT, storage::variant> {};
template <> struct arg_traits<BYTE*> : ref_arg<BYTE, storage::ui1> {};
template <> struct arg_traits<SAFEARRAY**> : ref_arg<SAFEARRAY*, storage::array> {};

template <class I> struct object_ops {
    static IUnknown* as_unknown(void* p) noexcept { return static_cast<IUnknown*>(static_cast<I*>(p)); }
    static IDispatch* as_dispatch(void* p) noexcept { return static_cast<IDispatch*>(static_cast<I*>(p)); }
};
// Objects are held as void* that point to the declared interface.
template <class I> struct arg_traits<I*> : object_ops<I> {
    static_assert(std::is_base_of_v<IDispatch, I>, "object arguments are automation interfaces");
    static constexpr storage store = storage::object;
    static constexpr bool byref = false;
    static const IID* iid() noexcept { return &iid_of<I>(); }
    static I* from(void* p) noexcept { return *static_cast<I**>(p); }
};
template <class I> struct arg_traits<I**> : object_ops<I> {
    static_assert(std::is_base_of_v<IDispatch, I>, "object arguments are automation interfaces");
    static constexpr storage store = storage::object;
    static constexpr bool byref = true;
    static const IID* iid() noexcept { return &iid_of<I>(); }
    static I** from(void* p) noexcept { return static_cast<I**>(p); }
};

template <class A> param describe_arg() {
    using T = arg_traits<A>;
    param p;
    p.store = T::store;
    p.byref = T::byref;
    if constexpr (T::store == storage::object) {
        p.iid = T::iid();
        p.as_unknown = &T::as_unknown;
        p.as_dispatch = &T::as_dispatch;
    }
    return p;
}

// Calls Method, a member of I taking A..., with the arguments held in slots.
template <class I, auto Method, class... A> struct member_call {
    using interface_type = I;
    static constexpr std::size_t arity = sizeof...(A);
    static std::vector<param> describe() { return {describe_arg<A>()...}; }
    static HRESULT call(void* self, void* const* slots) {
        return call_with(self, slots, std::index_sequence_for<A...>{});
    }
    template <std::size_t... K> static HRESULT call_with(void* self, void* const* slots, std::index_sequence<K...>) {
        return (static_cast<I*>(self)->*Method)(arg_traits<A>::from(slots[K])...);
    }
};

// The dispatcher calls interface methods: STDMETHODCALLTYPE, which on 32-bit Windows is
// __stdcall, a member pointer type of its own (elsewhere the only convention).
template <auto Method> struct method_traits;
template <class I, class... A, HRESULT (STDMETHODCALLTYPE I::*Method)(A...)>
struct method_traits<Method> : member_call<I, Method, A...> {};

// Checks the declared types against the C++ signature and fills names and types.
// signature: "String host, String protocol, Integer port"; a name starting with '&'
// marks an argument that the member writes; "Optional Variant x" one that callers may
// leave out (only after the required ones), "ParamArray Variant() rest" as the last one
// the arguments from there on (the member gets them as an array, possibly empty).
// result: a type word, or empty for none.
member build(member_kind kind, DISPID id, std::u16string_view name, std::u16string_view signature,
             std::u16string_view result, std::vector<param> cxx_params, thunk call);
}  // namespace detail

// A method with a result (the final argument of the early-bound method).
template <auto Method>
member method(DISPID id, std::u16string_view name, std::u16string_view signature, std::u16string_view result) {
    using T = detail::method_traits<Method>;
    return detail::build(member_kind::method, id, name, signature, result, T::describe(), &T::call);
}
// A method without a result.
template <auto Method> member sub(DISPID id, std::u16string_view name, std::u16string_view signature) {
    using T = detail::method_traits<Method>;
    return detail::build(member_kind::method, id, name, signature, u"", T::describe(), &T::call);
}
template <auto Method> member get(DISPID id, std::u16string_view name, std::u16string_view type) {
    using T = detail::method_traits<Method>;
    return detail::build(member_kind::get, id, name, u"", type, T::describe(), &T::call);
}
// A property put; for an object property both put and put-by-reference reach it.
template <auto Method> member put(DISPID id, std::u16string_view name, std::u16string_view type) {
    using T = detail::method_traits<Method>;
    std::u16string sig(type);
    sig += u" value";
    return detail::build(member_kind::put, id, name, sig, u"", T::describe(), &T::call);
}
// A property that takes an object by reference only (Set in a script).
template <auto Method> member putref(DISPID id, std::u16string_view name, std::u16string_view type) {
    using T = detail::method_traits<Method>;
    std::u16string sig(type);
    sig += u" value";
    return detail::build(member_kind::putref, id, name, sig, u"", T::describe(), &T::call);
}

// A property get of an object that callers may index: the arguments given to it go to the
// default member of the object it returns (WScript.Arguments(0) reads Arguments.Item(0)).
template <auto Method> member indexed_get(DISPID id, std::u16string_view name, std::u16string_view type) {
    member m = get<Method>(id, name, type);
    if (m.result.store != storage::object) throw std::logic_error("only an object property can be indexed");
    m.indexes_default = true;
    return m;
}

// The dispatcher: places named arguments by their argument ids, coerces the arguments to
// the declared types (by-reference arguments hold what the member wrote when the call
// returns), calls the early-bound method, and reports a member's failure as
// DISP_E_EXCEPTION with EXCEPINFO filled.
HRESULT invoke(const interface_desc& desc, void* self, DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result,
               EXCEPINFO* excepinfo, UINT* arg_err) noexcept;
// In a thunk of a member with `declared` arguments, called from invoke: whether argument
// index (from 0, in declared order) is the caller's own variable, passed straight through,
// rather than a copy that the dispatcher made (an object passed by reference as
// VT_BYREF|VT_DISPATCH to an IDispatch** parameter). A member that reads past the pointer
// asks first. invoke places the marks after the result's slot.
inline bool callers_own_argument(void* const* slots, std::size_t declared, unsigned index) noexcept {
    const auto* own = static_cast<const std::uint32_t*>(slots[declared + 1]);
    return own && index < 32 && (*own >> index & 1u);
}
HRESULT ids_of_names(const interface_desc& desc, LPOLESTR* names, UINT count, DISPID* ids) noexcept;
// Names compare without regard to the case of ASCII letters.
bool same_name(std::u16string_view a, std::u16string_view b) noexcept;

// Type information read from the descriptions.
HRESULT make_type_info(const library_desc* library, const interface_desc* iface, ITypeInfo** out) noexcept;
HRESULT make_coclass_type_info(const library_desc* library, const coclass_desc* coclass, ITypeInfo** out) noexcept;
HRESULT make_type_lib(const library_desc* library, ITypeLib** out) noexcept;

// IDispatch over the first interface, served from Derived::description() (an
// interface_desc) and Derived::library() (its library_desc, or nullptr).
template <class Derived, class Dual, class... Others>
class dispatch_object : public implements<Derived, Dual, Others...> {
public:
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        if (!count) return E_POINTER;
        *count = 1;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID, ITypeInfo** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (!this->on_owner_thread()) return RPC_E_WRONG_THREAD;
        if (index != 0) return DISP_E_BADINDEX;
        return make_type_info(Derived::library(), &Derived::description(), out);
    }
    // riid is reserved: anything but IID_NULL is refused.
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
        if (!this->on_owner_thread()) return RPC_E_WRONG_THREAD;
        if (riid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
        return ids_of_names(Derived::description(), names, count, ids);
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID riid, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                                     EXCEPINFO* excepinfo, UINT* arg_err) override {
        if (!this->on_owner_thread()) return RPC_E_WRONG_THREAD;
        if (riid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
        return invoke(Derived::description(), static_cast<Dual*>(static_cast<Derived*>(this)), id, flags, params,
                      result, excepinfo, arg_err);
    }
};

}  // namespace oa::disp
