// Private helpers shared by the runtime's translation units.
#pragma once

#include "oleauto.h"

#include <string>
#include <string_view>
#include <utility>

namespace oa_detail {

// Owns one interface reference; the runtime's sources never call Release by hand.
template <class I> class Ref {
public:
    Ref() = default;
    explicit Ref(I* p) noexcept : p_(p) {}  // adopts
    Ref(const Ref&) = delete;
    Ref& operator=(const Ref&) = delete;
    Ref(Ref&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
    Ref& operator=(Ref&& o) noexcept {
        reset(std::exchange(o.p_, nullptr));
        return *this;
    }
    ~Ref() { reset(); }
    void reset(I* p = nullptr) noexcept {
        if (p_) p_->Release();
        p_ = p;
    }
    I* get() const noexcept { return p_; }
    I* operator->() const noexcept { return p_; }
    I* detach() noexcept { return std::exchange(p_, nullptr); }
    I** put() noexcept {
        reset();
        return &p_;
    }
    void** put_void() noexcept { return reinterpret_cast<void**>(put()); }
    explicit operator bool() const noexcept { return p_ != nullptr; }

private:
    I* p_ = nullptr;
};

// Owns a BSTR.
class Bstr {
public:
    Bstr() = default;
    explicit Bstr(BSTR b) noexcept : b_(b) {}
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    ~Bstr() { SysFreeString(b_); }
    BSTR get() const noexcept { return b_; }
    BSTR* put() noexcept {
        SysFreeString(std::exchange(b_, nullptr));
        return &b_;
    }
    BSTR detach() noexcept { return std::exchange(b_, nullptr); }

private:
    BSTR b_ = nullptr;
};

// Owns a VARIANT's content.
struct Var {
    VARIANT v;
    Var() noexcept { VariantInit(&v); }
    Var(const Var&) = delete;
    Var& operator=(const Var&) = delete;
    ~Var() { VariantClear(&v); }
};

std::string to_utf8(const OLECHAR* s, std::size_t n);
inline std::string to_utf8(const OLECHAR* s) { return s ? to_utf8(s, std::char_traits<char16_t>::length(s)) : std::string(); }
std::u16string to_utf16(std::string_view s);

void clear_thread_error_info();

// Conversions (convert.cpp): VariantChangeTypeEx into uninitialised storage, and what the
// standard runtime counts as a blank and as the currency symbol of a locale.
HRESULT coerce(const VARIANT& src, LCID lcid, USHORT flags, VARTYPE vt, VARIANT& out);
bool is_blank(OLECHAR c);
OLECHAR currency_of(LCID lcid);

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", upper-case hex.
std::string format_guid(const GUID& g);
bool parse_guid(std::string_view s, GUID& g);
template <class Ch> bool parse_guid_chars(const Ch* s, std::size_t n, GUID& g);

// What the registry file says about a class; see registry.cpp for the format.
struct ClassEntry {
    GUID clsid{};
    std::string progid, version_independent_progid, threading_model, library_path;
};
bool registry_find_class(const GUID& clsid, ClassEntry& out);
bool registry_find_progid(std::string_view progid, GUID& clsid);  // CoUninitialize on the last balance of a thread


}  // namespace oa_detail
