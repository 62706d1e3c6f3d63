// Conventions that every method of the session shares: the error text, the two trap
// styles, and the failure of a call through a member that holds nothing.
#pragma once

#include <mrlib/client.h>
#include <oa/com_ptr.h>
#include <oa/error.h>
#include <oleauto.h>

#include <new>
#include <string>
#include <string_view>

namespace quellar2mrapi {

// A number with a sign position: a blank before a zero or positive number, else '-'.
std::u16string signed_number(LONG number);

// Prefix, number with its sign position, one blank, description.
std::u16string error_text(std::u16string_view prefix, LONG number, std::u16string_view description);
inline std::u16string error_text(std::u16string_view prefix, const oa::com_error& e) {
    return error_text(prefix, e.number(), e.description());
}

// The two trap styles. Abandon: the method's steps run in a try block whose catch block
// logs or answers the failure, its text made by failure_text. Continue: continuing_trap.

// Inside a catch block: the failure being handled (the library's and the runtime's
// failures, lack of memory, and every other failure of the component's own steps) as
// prefix, number and description.
inline std::u16string failure_text(std::u16string_view prefix) { return error_text(prefix, oa::current_failure()); }

// The line that a method logs when a failure abandons its remaining steps.
inline constexpr std::u16string_view exit_function = u"    Exit Function";

// The abandon style with the steps and the answer to a failure as functions.
template <class Body, class OnFailure> auto abandon_on_failure(Body&& body, OnFailure&& on_failure) {
    try {
        return body();
    } catch (...) {
        return on_failure(oa::current_failure());
    }
}

// The continue style: a failed step stores its error text and raises the flag, and the
// next step runs.
class continuing_trap {
public:
    explicit continuing_trap(std::u16string_view prefix) : prefix_(prefix) {}

    template <class Step> void step(Step&& s) noexcept {
        try {
            s();
        } catch (...) {
            fail(failure_text(prefix_));
        }
    }
    void fail(std::u16string text) noexcept {
        failed = true;
        pending = std::move(text);
    }

    bool failed = false;
    std::u16string pending;

private:
    std::u16string_view prefix_;
};

// The object a member holds, or failure 91 when it holds nothing.
template <class T> T* need(const oa::com_ptr<T>& member) {
    if (!member) oa::raise_vb(oa::vb::object_not_set);
    return member.get();
}
inline mrlib::remote& need(mrlib::remote& member) {
    if (!member) oa::raise_vb(oa::vb::object_not_set);
    return member;
}

}  // namespace quellar2mrapi
