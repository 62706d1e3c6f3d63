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

// Any failure inside a trap, as the number and description the trap reports: the
// library's and the runtime's failures, lack of memory, and every other failure of the
// component's own steps.
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
        abandon_on_failure(
            [&] {
                s();
                return 0;
            },
            [&](const oa::com_error& e) {
                fail(error_text(prefix_, e));
                return 0;
            });
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
