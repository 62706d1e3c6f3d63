// Smart interface pointer: one reference, released when the pointer goes away.
#pragma once

#include <oleauto.h>

#include <cstddef>
#include <utility>

namespace oa {

template <class T> class com_ptr {
public:
    com_ptr() noexcept = default;
    com_ptr(std::nullptr_t) noexcept {}
    // Takes a further reference to p.
    explicit com_ptr(T* p) noexcept : p_(p) { add_ref(); }
    com_ptr(const com_ptr& o) noexcept : p_(o.p_) { add_ref(); }
    com_ptr(com_ptr&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
    template <class U> com_ptr(const com_ptr<U>& o) noexcept : p_(o.get()) { add_ref(); }
    ~com_ptr() { reset(); }

    com_ptr& operator=(const com_ptr& o) noexcept {
        com_ptr(o).swap(*this);
        return *this;
    }
    com_ptr& operator=(com_ptr&& o) noexcept {
        com_ptr(std::move(o)).swap(*this);
        return *this;
    }
    com_ptr& operator=(std::nullptr_t) noexcept {
        reset();
        return *this;
    }

    T* get() const noexcept { return p_; }
    T* operator->() const noexcept { return p_; }
    T& operator*() const noexcept { return *p_; }
    explicit operator bool() const noexcept { return p_ != nullptr; }

    // Releases what is held and hands out the slot for an out argument.
    T** put() noexcept {
        reset();
        return &p_;
    }
    void** put_void() noexcept { return reinterpret_cast<void**>(put()); }
    // The slot itself, for a by-reference argument that the callee may replace.
    T** addressof() noexcept { return &p_; }

    void reset() noexcept {
        if (T* p = std::exchange(p_, nullptr)) p->Release();
    }
    // Takes over a reference the caller already owns.
    void attach(T* p) noexcept {
        reset();
        p_ = p;
    }
    [[nodiscard]] T* detach() noexcept { return std::exchange(p_, nullptr); }
    void swap(com_ptr& o) noexcept { std::swap(p_, o.p_); }

    // Hands a further reference to an out argument.
    void copy_to(T** pp) const noexcept {
        *pp = p_;
        add_ref();
    }
    template <class U> HRESULT query_to(U** pp) const noexcept {
        *pp = nullptr;
        return p_ ? p_->QueryInterface(iid_of<U>(), reinterpret_cast<void**>(pp)) : E_POINTER;
    }
    // An empty pointer when the object lacks the interface.
    template <class U> com_ptr<U> try_query() const noexcept {
        com_ptr<U> r;
        if (p_) p_->QueryInterface(iid_of<U>(), r.put_void());
        return r;
    }

private:
    void add_ref() const noexcept {
        if (p_) p_->AddRef();
    }
    T* p_ = nullptr;
};

template <class T, class U> bool operator==(const com_ptr<T>& a, const com_ptr<U>& b) noexcept {
    return a.get() == b.get();
}
template <class T> bool operator==(const com_ptr<T>& a, std::nullptr_t) noexcept { return !a; }

// A further reference to p, owned by the result.
template <class T> com_ptr<T> make_ref(T* p) noexcept { return com_ptr<T>(p); }
// Takes over the reference that p carries.
template <class T> com_ptr<T> adopt(T* p) noexcept {
    com_ptr<T> r;
    r.attach(p);
    return r;
}

}  // namespace oa
