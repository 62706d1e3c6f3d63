// Calls into the change-server library by name, through the one late-bound client of
// the runtime: the operation table says each call's name, flags and argument types.
#pragma once

#include <mrlib/operations.h>

#include <oa/com_ptr.h>
#include <oa/late_bound.h>
#include <oa/unique.h>
#include <oleauto.h>

#include <array>
#include <initializer_list>
#include <utility>

namespace mrlib {

// The member ids of one object's operations (or of one class's objects), each looked up
// by name at its first call and kept from then on.
class names {
public:
    names() noexcept { forget(); }
    DISPID id(IDispatch* object, op o);
    void forget() noexcept { ids_.fill(DISPID_UNKNOWN); }

private:
    std::array<DISPID, op_count> ids_;
};

// What an operation delivered, converted as the caller relies on it.
class reply {
public:
    LONG status() const { return oa::late::number_of(value_); }
    oa::unique_bstr text();
    oa::com_ptr<IDispatch> object() const { return oa::late::object_of(value_); }
    const VARIANT& value() const noexcept { return value_; }
    VARIANT* put() noexcept { return value_.put(); }

private:
    oa::unique_variant value_;
};

// Calls o on object with the arguments in the caller's order; each must have the type the
// table gives (a program error otherwise). A failure raises the library's number and
// description (oa::late::failure_of); an absent object is failure 91.
reply call(IDispatch* object, names& ids, op o, std::initializer_list<VARIANT> args = {});

// A library object held for longer than one call (the session's api), with its names.
class remote {
public:
    remote() = default;
    explicit remote(oa::com_ptr<IDispatch> object) noexcept : object_(std::move(object)) {}
    IDispatch* get() const noexcept { return object_.get(); }
    explicit operator bool() const noexcept { return static_cast<bool>(object_); }
    reply call(op o, std::initializer_list<VARIANT> args = {}) { return mrlib::call(object_.get(), ids_, o, args); }

private:
    oa::com_ptr<IDispatch> object_;
    names ids_;
};

// Arguments as the library takes them: views of the caller's values, owning nothing.
namespace arg {
inline VARIANT make(VARTYPE vt) noexcept {
    VARIANT v{};
    v.vt = vt;
    return v;
}
inline VARIANT text(BSTR value) noexcept {
    VARIANT v = make(VT_BSTR);
    v.bstrVal = value;
    return v;
}
inline VARIANT long_(LONG value) noexcept {
    VARIANT v = make(VT_I4);
    v.lVal = value;
    return v;
}
inline VARIANT count(SHORT value) noexcept {
    VARIANT v = make(VT_I2);
    v.iVal = value;
    return v;
}
inline VARIANT flag(VARIANT_BOOL value) noexcept {
    VARIANT v = make(VT_BOOL);
    v.boolVal = value;
    return v;
}
// A missing object is a VT_DISPATCH that holds nothing.
inline VARIANT object(IDispatch* value) noexcept {
    VARIANT v = make(VT_DISPATCH);
    v.pdispVal = value;
    return v;
}
inline VARIANT rows(IDispatch** first) noexcept {
    VARIANT v = make(VT_BYREF | VT_DISPATCH);
    v.ppdispVal = first;
    return v;
}
inline VARIANT row_copy(VARIANT* first) noexcept {
    VARIANT v = make(VT_BYREF | VT_VARIANT);
    v.pvarVal = first;
    return v;
}
inline VARIANT count_ref(SHORT* value) noexcept {
    VARIANT v = make(VT_BYREF | VT_I2);
    v.piVal = value;
    return v;
}
inline VARIANT first_byte(BYTE* value) noexcept {
    VARIANT v = make(VT_BYREF | VT_UI1);
    v.pbVal = value;
    return v;
}
inline VARIANT buffer(SAFEARRAY** value) noexcept {
    VARIANT v = make(VT_BYREF | VT_ARRAY | VT_UI1);
    v.pparray = value;
    return v;
}
inline VARIANT long_ref(LONG* value) noexcept {
    VARIANT v = make(VT_BYREF | VT_I4);
    v.plVal = value;
    return v;
}
}  // namespace arg

}  // namespace mrlib
