// The entry of every method of a component's interface: from the ABI's pointers to a plain
// C++ member and back. The plain member takes its arguments as values (or references for
// the ones it writes) and returns its result as an owner; failures are exceptions.
#pragma once

#include <oa/com_ptr.h>
#include <oa/dispatch.h>
#include <oa/error.h>
#include <oa/unique.h>
#include <oleauto.h>

namespace oa::disp {

// The result argument of a member that has none (a property put).
struct no_result_t {
    explicit no_result_t() = default;
};
inline constexpr no_result_t no_result{};

namespace detail {
// The plain member's value handed over to the caller.
inline void deliver(BSTR* out, unique_bstr value) noexcept { *out = value.release(); }
inline void deliver(VARIANT* out, unique_variant value) noexcept { *out = value.release(); }
template <class I> void deliver(I** out, com_ptr<I> value) noexcept { *out = value.detach(); }
template <class T> void deliver(T* out, T value) noexcept { *out = value; }

// The checks before the body: the object's own thread, every argument pointer present.
template <class D, class... Args> HRESULT admit(const D* self, Args*... args) noexcept {
    if (!self->on_owner_thread()) return RPC_E_WRONG_THREAD;
    if ((!args || ...)) return E_POINTER;
    clear_error_info();
    return S_OK;
}
}  // namespace detail

// In this order: no result pointer is E_POINTER; the result emptied; another thread than
// the object's is RPC_E_WRONG_THREAD; a missing argument pointer is E_POINTER; the error
// info cleared; Method called with each argument's value; its value moved into *result.
// A failure leaves the result empty and reaches the caller through the one boundary
// (oa::failure_hresult), with D::class_name as its source.
template <auto Method, class D, class Result, class... Args>
HRESULT entry(D* self, Result* result, Args*... args) noexcept {
    if (!result) return E_POINTER;
    oa::detail::empty_result(result);
    if (const HRESULT refused = detail::admit(self, args...); FAILED(refused)) return refused;
    try {
        detail::deliver(result, (self->*Method)(*args...));
        return S_OK;
    } catch (...) {
        return failure_hresult(D::class_name);
    }
}

// The same for a member without result: entry<&D::put_X>(self, no_result, value).
template <auto Method, class D, class... Args> HRESULT entry(D* self, no_result_t, Args*... args) noexcept {
    if (const HRESULT refused = detail::admit(self, args...); FAILED(refused)) return refused;
    try {
        (self->*Method)(*args...);
        return S_OK;
    } catch (...) {
        return failure_hresult(D::class_name);
    }
}

}  // namespace oa::disp
