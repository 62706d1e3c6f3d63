// Objects: QueryInterface generated from the interface list, one atomic count, the
// apartment rule, and the count of live objects and locks of the library.
#pragma once

#include <oa/com_ptr.h>
#include <oa/error.h>
#include <oa/unique.h>
#include <oleauto.h>

#include <atomic>
#include <thread>
#include <type_traits>
#include <utility>

namespace oa {

// Live objects and server locks of this shared library (hidden visibility: one count per
// library); DllCanUnloadNow answers from it.
inline std::atomic<long> module_count{0};
inline HRESULT can_unload_now() noexcept { return module_count.load() == 0 ? S_OK : S_FALSE; }
// The class objects among them. A script engine may keep the class object behind a
// creation for as long as it lives; what a script left alive is the rest.
inline std::atomic<long> class_object_count{0};
inline long live_beside_class_objects() noexcept { return module_count.load() - class_object_count.load(); }

namespace detail {
template <class I> constexpr bool is_dispatch = std::is_base_of_v<IDispatch, I> && !std::is_same_v<I, IDispatch>;

template <class First, class... Rest> struct first_dispatch {
    using type = std::conditional_t<is_dispatch<First> || std::is_same_v<First, IDispatch>, First,
                                    typename first_dispatch<Rest...>::type>;
};
template <class Last> struct first_dispatch<Last> {
    using type = Last;
};
}  // namespace detail

namespace detail {
// The empty value of a result's type (the empty text, False, 0, Empty, no object): what a
// member delivers that fails before it assigns its result. An out argument owns nothing
// on entry, so it is set, not freed.
template <class T> void empty_result(T* r) noexcept {
    static_assert(std::is_arithmetic_v<T> || std::is_pointer_v<T>, "result type");
    *r = T{};  // a null BSTR reads as the empty text
}
inline void empty_result(VARIANT* r) noexcept { VariantInit(r); }
// Frees what a failed member left in its result, then empties it.
inline void drop_result(BSTR* r) noexcept { unique_bstr dropped(std::exchange(*r, nullptr)); }
inline void drop_result(VARIANT* r) noexcept {
    VariantClear(r);
    VariantInit(r);
}
template <class I> void drop_result(I** r) noexcept {
    static_assert(std::is_base_of_v<IUnknown, I>, "object result");
    adopt(std::exchange(*r, nullptr));
}
template <class T> void drop_result(T* r) noexcept { *r = T{}; }
}  // namespace detail

template <class Derived, class... Interfaces> class implements : public Interfaces... {
public:
    using first_interface = std::tuple_element_t<0, std::tuple<Interfaces...>>;

    implements() noexcept : owner_(std::this_thread::get_id()) { ++module_count; }
    implements(const implements&) = delete;
    implements& operator=(const implements&) = delete;
    virtual ~implements() { --module_count; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** ppv) override {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (iid == IID_IUnknown) {
            *ppv = static_cast<IUnknown*>(static_cast<first_interface*>(this));
        } else if (iid == IID_IDispatch && has_dispatch) {
            *ppv = dispatch_pointer();
        } else {
            (void)((iid == iid_of<Interfaces>() && (*ppv = static_cast<Interfaces*>(this), true)) || ...);
        }
        if (!*ppv) return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override {
        ULONG left = --refs_;
        if (left == 0) delete static_cast<Derived*>(this);
        return left;
    }

    // True on the thread that created the object; every other thread is refused.
    bool on_owner_thread() const noexcept { return std::this_thread::get_id() == owner_; }

    // Runs one interface method: the apartment rule, then the body, exceptions mapped to
    // HRESULTs with error info whose source is the class name.
    // Pointers listed after the body must be present (E_POINTER otherwise).
    template <class Body, class... Pointers> HRESULT call(Body&& body, Pointers*... required) noexcept {
        if (!on_owner_thread()) return RPC_E_WRONG_THREAD;
        if ((!required || ...)) return E_POINTER;
        return boundary(Derived::class_name, std::forward<Body>(body));
    }

    // As call, for a member with a result: the result holds its type's empty value unless
    // the member succeeds, also when the failure reaches the caller as the call's status.
    template <class Result, class Body, class... Pointers>
    HRESULT call_result(Result* result, Body&& body, Pointers*... required) noexcept {
        if (!result) return E_POINTER;
        detail::empty_result(result);
        const HRESULT hr = call(std::forward<Body>(body), required...);
        if (FAILED(hr)) detail::drop_result(result);
        return hr;
    }

private:
    static constexpr bool has_dispatch = (std::is_base_of_v<IDispatch, Interfaces> || ...);
    void* dispatch_pointer() noexcept {
        if constexpr (has_dispatch) {
            using D = typename detail::first_dispatch<Interfaces...>::type;
            return static_cast<IDispatch*>(static_cast<D*>(this));
        } else {
            return nullptr;
        }
    }

    std::atomic<ULONG> refs_{1};
    std::thread::id owner_;
};

// A new object, owned by the result (the object starts with one reference).
template <class T, class... Args> com_ptr<T> make_self(Args&&... args) {
    return adopt(new T(std::forward<Args>(args)...));
}

// The class object of a creatable class; counts towards the library's locks.
template <class T> class class_factory final : public implements<class_factory<T>, IClassFactory> {
public:
    static constexpr std::u16string_view class_name = u"ClassFactory";
    class_factory() noexcept { ++class_object_count; }
    ~class_factory() override { --class_object_count; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** ppv) override {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        try {
            com_ptr<T> object = make_self<T>();
            return object->QueryInterface(iid, ppv);
        } catch (const com_error& e) {
            set_error_info(e.code(), T::class_name, e.description());
            return e.code();
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
        lock ? ++module_count : --module_count;
        return S_OK;
    }
};

}  // namespace oa
