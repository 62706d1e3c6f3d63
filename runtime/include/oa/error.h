// Failures as exceptions inside an object, HRESULT plus error info at its boundary.
#pragma once

#include <oa/com_ptr.h>
#include <oa/unique.h>
#include <oleauto.h>

#include <exception>
#include <new>
#include <string>
#include <string_view>
#include <type_traits>

namespace oa {

// Run-time failure numbers with their standard English descriptions.
namespace vb {
constexpr int invalid_call = 5;
constexpr int overflow = 6;
constexpr int out_of_memory = 7;
constexpr int subscript_out_of_range = 9;
constexpr int type_mismatch = 13;
constexpr int file_not_found = 53;
constexpr int path_file_access_error = 75;
constexpr int object_not_set = 91;
constexpr int invalid_use_of_null = 94;
constexpr int cannot_create_object = 429;
constexpr int no_such_member = 438;
}  // namespace vb

constexpr HRESULT vb_hresult(int number) { return hresult_of(0x800A0000u | static_cast<std::uint32_t>(number & 0xFFFF)); }

// The failure number a script sees: n for 0x800A0000 + n, otherwise the HRESULT itself.
constexpr LONG failure_number(HRESULT hr) {
    return (static_cast<std::uint32_t>(hr) & 0xFFFF0000u) == 0x800A0000u ? static_cast<LONG>(hr & 0xFFFF) : hr;
}

inline std::u16string_view vb_description(int number) noexcept {
    switch (number) {
    case vb::invalid_call: return u"Invalid procedure call or argument";
    case vb::overflow: return u"Overflow";
    case vb::out_of_memory: return u"Out of memory";
    case vb::subscript_out_of_range: return u"Subscript out of range";
    case vb::type_mismatch: return u"Type mismatch";
    case vb::file_not_found: return u"File not found";
    case vb::path_file_access_error: return u"Path/File access error";
    case vb::object_not_set: return u"Object variable or With block variable not set";
    case vb::invalid_use_of_null: return u"Invalid use of Null";
    case vb::cannot_create_object: return u"ActiveX component can't create object";
    case vb::no_such_member: return u"Object doesn't support this property or method";
    default: return u"Application-defined or object-defined error";
    }
}

// The standard run-time failure that corresponds to a dispatch or system code.
inline int vb_number_for(HRESULT hr) noexcept {
    if (failure_number(hr) != hr) return failure_number(hr);
    if (hr == DISP_E_TYPEMISMATCH) return vb::type_mismatch;
    if (hr == DISP_E_OVERFLOW) return vb::overflow;
    if (hr == E_OUTOFMEMORY) return vb::out_of_memory;
    if (hr == DISP_E_BADINDEX) return vb::subscript_out_of_range;
    if (hr == DISP_E_MEMBERNOTFOUND || hr == DISP_E_UNKNOWNNAME) return vb::no_such_member;
    if (hr == E_INVALIDARG) return vb::invalid_call;
    return 0;
}

class com_error : public std::exception {
public:
    com_error(HRESULT hr, std::u16string description) : hr_(hr), description_(std::move(description)) {}
    HRESULT code() const noexcept { return hr_; }
    LONG number() const noexcept { return failure_number(hr_); }
    const std::u16string& description() const noexcept { return description_; }
    const char* what() const noexcept override { return "automation failure"; }

private:
    HRESULT hr_;
    std::u16string description_;
};

[[noreturn]] inline void raise(HRESULT hr, std::u16string_view description) {
    throw com_error(hr, std::u16string(description));
}
// Raises run-time failure n with its standard description.
[[noreturn]] inline void raise_vb(int number) { raise(vb_hresult(number), vb_description(number)); }

// Description of the failure just reported by a callee: its error info, else a standard text.
inline std::u16string take_error_description(HRESULT hr) {
    com_ptr<IErrorInfo> info;
    if (GetErrorInfo(0, info.put()) == S_OK && info) {
        unique_bstr text;
        if (SUCCEEDED(info->GetDescription(text.put()))) return std::u16string(view(text.get()));
    }
    if (int n = vb_number_for(hr); n != 0 && failure_number(hr) != hr) return std::u16string(vb_description(n));
    return {};
}

// Turns a callee's failure into an exception carrying its number and description.
inline void check(HRESULT hr) {
    if (FAILED(hr)) throw com_error(hr, take_error_description(hr));
}

inline void set_error_info(HRESULT hr, std::u16string_view source, std::u16string_view description) noexcept {
    (void)hr;
    try {
        com_ptr<ICreateErrorInfo> create;
        if (FAILED(CreateErrorInfo(create.put()))) return;
        std::u16string src(source), desc(description);
        create->SetSource(ole(src.data()));
        create->SetDescription(ole(desc.data()));
        if (auto info = create.try_query<IErrorInfo>()) SetErrorInfo(0, info.get());
    } catch (const std::bad_alloc&) {
        // No memory for the texts: the caller still gets the failure's code.
    }
}

// The failure being handled (call inside a catch block): a com_error as it is, lack of
// memory as failure 7, anything else as an unexpected failure.
inline com_error current_failure() {
    try {
        throw;
    } catch (const com_error& e) {
        return e;
    } catch (const std::bad_alloc&) {
        return com_error(vb_hresult(vb::out_of_memory), std::u16string(vb_description(vb::out_of_memory)));
    } catch (...) {
        return com_error(E_UNEXPECTED, u"Unexpected failure");
    }
}

// The one place where exceptions become HRESULTs, in two halves: every method of an
// object's interface clears the error info before its body, and reports its body's failure
// from a catch block as the HRESULT with error info whose source is the class.
inline void clear_error_info() noexcept { SetErrorInfo(0, nullptr); }
inline HRESULT failure_hresult(std::u16string_view source) noexcept {
    try {
        const com_error e = current_failure();
        set_error_info(e.code(), source, e.description());
        return e.code();
    } catch (...) {
        return E_OUTOFMEMORY;  // not even the failure's description fits
    }
}
// Both halves around a body given as a function.
template <class Body> HRESULT boundary(std::u16string_view source, Body&& body) noexcept {
    clear_error_info();
    try {
        if constexpr (std::is_same_v<decltype(body()), HRESULT>) {
            return body();
        } else {
            body();
            return S_OK;
        }
    } catch (...) {
        return failure_hresult(source);
    }
}

}  // namespace oa
