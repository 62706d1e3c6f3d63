// Owners of BSTR, VARIANT and SAFEARRAY: one generic owner for handles, one for
// structures, and one-line aliases.
#pragma once

#include <oleauto.h>

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>

namespace oa {

template <class Handle, auto Close> class unique_any {
public:
    unique_any() noexcept = default;
    explicit unique_any(Handle h) noexcept : h_(h) {}
    unique_any(unique_any&& o) noexcept : h_(std::exchange(o.h_, Handle{})) {}
    unique_any& operator=(unique_any&& o) noexcept {
        reset(std::exchange(o.h_, Handle{}));
        return *this;
    }
    unique_any(const unique_any&) = delete;
    unique_any& operator=(const unique_any&) = delete;
    ~unique_any() { reset(); }

    Handle get() const noexcept { return h_; }
    explicit operator bool() const noexcept { return h_ != Handle{}; }
    void reset(Handle h = Handle{}) noexcept {
        if (Handle old = std::exchange(h_, h)) Close(old);
    }
    [[nodiscard]] Handle release() noexcept { return std::exchange(h_, Handle{}); }
    Handle* put() noexcept {
        reset();
        return &h_;
    }
    // The slot itself, for a by-reference argument that the callee may replace.
    Handle* addressof() noexcept { return &h_; }

private:
    Handle h_{};
};

template <class Struct, auto Close, auto Init> class unique_struct : public Struct {
public:
    unique_struct() noexcept { Init(this); }
    unique_struct(unique_struct&& o) noexcept : Struct(o) { Init(static_cast<Struct*>(&o)); }
    unique_struct& operator=(unique_struct&& o) noexcept {
        if (this != &o) {
            reset();
            static_cast<Struct&>(*this) = o;
            Init(static_cast<Struct*>(&o));
        }
        return *this;
    }
    unique_struct(const unique_struct&) = delete;
    unique_struct& operator=(const unique_struct&) = delete;
    ~unique_struct() { Close(this); }

    void reset() noexcept {
        Close(this);
        Init(this);
    }
    Struct* put() noexcept {
        reset();
        return this;
    }
    // Hands the contents over to the caller, leaving this owner empty.
    [[nodiscard]] Struct release() noexcept {
        Struct s = *this;
        Init(this);
        return s;
    }
};

inline void close_safearray(SAFEARRAY* psa) noexcept { SafeArrayDestroy(psa); }
// An Empty Variant holds nothing to free: most owners end so, and skip the call.
inline void close_variant(VARIANT* v) noexcept {
    if (v->vt != VT_EMPTY) VariantClear(v);
}

using unique_bstr = unique_any<BSTR, &SysFreeString>;
using unique_safearray = unique_any<SAFEARRAY*, &close_safearray>;
using unique_variant = unique_struct<VARIANT, &close_variant, &VariantInit>;

// Takes over what a Variant that the caller owns holds, leaving it Empty.
inline unique_variant take(VARIANT& v) noexcept {
    unique_variant taken;
    static_cast<VARIANT&>(taken) = v;
    VariantInit(&v);
    return taken;
}

// VariantChangeType with a source that stays unchanged: the system's headers on Windows
// declare the source without const, though the call only reads it.
inline HRESULT change_type(VARIANT* out, const VARIANT* in, USHORT flags, VARTYPE vt) noexcept {
    return VariantChangeType(out, const_cast<VARIANT*>(in), flags, vt);
}

// Frees the texts of an EXCEPINFO that Invoke filled.
struct unique_excepinfo : EXCEPINFO {
    unique_excepinfo() noexcept : EXCEPINFO{} {}
    unique_excepinfo(unique_excepinfo&& o) noexcept : EXCEPINFO(o) { static_cast<EXCEPINFO&>(o) = EXCEPINFO{}; }
    unique_excepinfo& operator=(unique_excepinfo&& o) noexcept {
        if (this != &o) {
            clear();
            static_cast<EXCEPINFO&>(*this) = o;
            static_cast<EXCEPINFO&>(o) = EXCEPINFO{};
        }
        return *this;
    }
    ~unique_excepinfo() { clear(); }

private:
    void clear() noexcept {
        SysFreeString(bstrSource);
        SysFreeString(bstrDescription);
        SysFreeString(bstrHelpFile);
        static_cast<EXCEPINFO&>(*this) = EXCEPINFO{};
    }
};

// OLECHAR is char16_t on Linux and wchar_t on Windows; both hold UTF-16 code units. The
// project's texts are char16_t: these are the only places where the two meet.
inline const char16_t* u16(const OLECHAR* p) noexcept { return reinterpret_cast<const char16_t*>(p); }
inline char16_t* u16(OLECHAR* p) noexcept { return reinterpret_cast<char16_t*>(p); }
inline const OLECHAR* ole(const char16_t* p) noexcept { return reinterpret_cast<const OLECHAR*>(p); }
inline OLECHAR* ole(char16_t* p) noexcept { return reinterpret_cast<OLECHAR*>(p); }

// A BSTR's text; a null BSTR reads as empty. Embedded zeros are kept.
inline std::u16string_view view(BSTR b) noexcept {
    return b ? std::u16string_view(u16(b), SysStringLen(b)) : std::u16string_view();
}
// A zero-terminated text such as a name handed to GetIDsOfNames; null reads as empty.
inline std::u16string_view view_z(const OLECHAR* s) noexcept { return s ? std::u16string_view(u16(s)) : std::u16string_view(); }

}  // namespace oa
