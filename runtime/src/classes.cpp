// Class objects: in-process registrations, the registry-backed library loader,
// ProgID lookup, initialisation counts and task memory.
#include "internal.h"

#include <oa/com_ptr.h>
#include <oa/text.h>

#include <atomic>
#include <climits>
#include <cstdlib>
#include <map>
#include <mutex>
#include <vector>

#include <dlfcn.h>
#include <unistd.h>

using namespace oa_detail;

namespace {

using GetClassObjectFn = HRESULT (*)(REFCLSID, REFIID, void**);
using CanUnloadNowFn = HRESULT (*)();

struct Registration {
    DWORD cookie;
    CLSID clsid;
    oa::com_ptr<IUnknown> object;  // held until revoked
};

struct Library {
    void* handle;
    GetClassObjectFn get_class_object;
    CanUnloadNowFn can_unload_now;  // may be null: then the library stays
};

struct State {
    std::mutex classes_mutex;
    std::vector<Registration> classes;
    DWORD next_cookie = 1;
    // Recursive: a library's DllGetClassObject may itself create classes.
    std::recursive_mutex libraries_mutex;
    std::map<std::string, Library> libraries;  // by real path
    std::atomic<long> init_count{0};
};

State& state() {
    static State* s = new State;  // never destroyed: loaded libraries outlive static destruction
    return *s;
}

thread_local long t_init_count = 0;

// Loads (or finds) the library at path; the caller holds libraries_mutex.
HRESULT load_library(State& s, const std::string& path, Library*& lib) {
    char real[PATH_MAX];
    if (!::realpath(path.c_str(), real)) return CO_E_DLLNOTFOUND;
    auto it = s.libraries.find(real);
    if (it == s.libraries.end()) {
        void* h = ::dlopen(real, RTLD_NOW | RTLD_LOCAL);
        if (!h) return CO_E_ERRORINDLL;
        auto get = reinterpret_cast<GetClassObjectFn>(::dlsym(h, "DllGetClassObject"));
        if (!get) {
            ::dlclose(h);
            return CO_E_ERRORINDLL;
        }
        auto can = reinterpret_cast<CanUnloadNowFn>(::dlsym(h, "DllCanUnloadNow"));
        it = s.libraries.emplace(real, Library{h, get, can}).first;
    }
    lib = &it->second;
    return S_OK;
}

// A class object registered in this process, or null. A single-use registration serves
// every call of the process too: the flag concerns other processes only.
oa::com_ptr<IUnknown> find_registered(State& s, REFCLSID clsid) {
    std::lock_guard lock(s.classes_mutex);
    for (auto it = s.classes.rbegin(); it != s.classes.rend(); ++it)
        if (it->clsid == clsid) return it->object;
    return nullptr;
}

}  // namespace

STDAPI CoInitializeEx(void*, DWORD) {
    state().init_count.fetch_add(1);
    return t_init_count++ == 0 ? S_OK : S_FALSE;
}

STDAPI CoInitialize(void* pvReserved) { return CoInitializeEx(pvReserved, COINIT_APARTMENTTHREADED); }

STDAPI_(void) CoUninitialize() {
    if (t_init_count == 0) return;  // unbalanced call
    if (--t_init_count == 0) clear_thread_error_info();
    if (state().init_count.fetch_sub(1) == 1) CoFreeUnusedLibraries();
}

STDAPI_(void*) CoTaskMemAlloc(std::size_t cb) { return std::malloc(cb ? cb : 1); }

STDAPI_(void*) CoTaskMemRealloc(void* pv, std::size_t cb) { return std::realloc(pv, cb ? cb : 1); }

STDAPI_(void) CoTaskMemFree(void* pv) { std::free(pv); }

STDAPI_(LPOLESTR) CoTaskMemAllocString(LPCOLESTR s) {
    if (!s) return nullptr;
    const std::size_t n = std::char_traits<char16_t>::length(s) + 1;
    auto* out = static_cast<LPOLESTR>(CoTaskMemAlloc(n * sizeof(OLECHAR)));
    if (out) std::char_traits<char16_t>::copy(out, s, n);
    return out;
}

STDAPI CLSIDFromProgID(LPCOLESTR lpszProgID, CLSID* lpclsid) {
    if (!lpszProgID || !lpclsid) return E_INVALIDARG;
    if (registry_find_progid(oa::utf16_to_utf8(oa::view_z(lpszProgID)), *lpclsid)) return S_OK;
    *lpclsid = GUID_NULL;
    return CO_E_CLASSSTRING;
}

// The registry maps a version-independent ProgID to its class directly: no CurVer to follow.
STDAPI OaClassFromProgID(LPCOLESTR progid, CLSID* clsid) { return CLSIDFromProgID(progid, clsid); }

STDAPI ProgIDFromCLSID(REFCLSID clsid, LPOLESTR* lplpszProgID) {
    if (!lplpszProgID) return E_INVALIDARG;
    *lplpszProgID = nullptr;
    ClassEntry e;
    if (!registry_find_class(clsid, e)) return REGDB_E_CLASSNOTREG;
    const std::string& name = e.progid.empty() ? e.version_independent_progid : e.progid;
    if (name.empty()) return REGDB_E_CLASSNOTREG;
    *lplpszProgID = CoTaskMemAllocString(oa::utf8_to_utf16_lossy(name).c_str());
    return *lplpszProgID ? S_OK : E_OUTOFMEMORY;
}

STDAPI CoRegisterClassObject(REFCLSID rclsid, IUnknown* pUnk, DWORD, DWORD, DWORD* lpdwRegister) {
    if (!pUnk || !lpdwRegister) return E_INVALIDARG;
    State& s = state();
    std::lock_guard lock(s.classes_mutex);
    const DWORD cookie = s.next_cookie++;
    s.classes.push_back(Registration{cookie, rclsid, oa::make_ref(pUnk)});
    *lpdwRegister = cookie;
    return S_OK;
}

STDAPI CoRevokeClassObject(DWORD dwRegister) {
    State& s = state();
    oa::com_ptr<IUnknown> object;
    {
        std::lock_guard lock(s.classes_mutex);
        for (auto it = s.classes.begin(); it != s.classes.end(); ++it) {
            if (it->cookie == dwRegister) {
                object = std::move(it->object);  // released outside the lock
                s.classes.erase(it);
                break;
            }
        }
    }
    return object ? S_OK : E_INVALIDARG;  // an unknown cookie, as the standard runtime answers
}

STDAPI CoGetClassObject(REFCLSID rclsid, DWORD dwClsContext, void*, REFIID riid, void** ppv) {
    if (!ppv) return E_INVALIDARG;
    *ppv = nullptr;
    if (!(dwClsContext & CLSCTX_INPROC_SERVER)) return REGDB_E_CLASSNOTREG;  // only in-process servers exist
    State& s = state();
    if (const auto registered = find_registered(s, rclsid)) return registered->QueryInterface(riid, ppv);

    ClassEntry entry;
    if (!registry_find_class(rclsid, entry)) return REGDB_E_CLASSNOTREG;
    // Held across the call so that no other thread unloads the library meanwhile.
    std::lock_guard lock(s.libraries_mutex);
    Library* lib = nullptr;
    HRESULT hr = load_library(s, entry.library_path, lib);
    if (FAILED(hr)) return hr;
    hr = lib->get_class_object(rclsid, riid, ppv);
    if (FAILED(hr)) *ppv = nullptr;
    return hr;
}

STDAPI CoCreateInstance(REFCLSID rclsid, IUnknown* pUnkOuter, DWORD dwClsContext, REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    oa::com_ptr<IClassFactory> factory;
    HRESULT hr = CoGetClassObject(rclsid, dwClsContext, nullptr, IID_IClassFactory, factory.put_void());
    if (FAILED(hr)) return hr;
    hr = factory->CreateInstance(pUnkOuter, riid, ppv);
    if (FAILED(hr)) *ppv = nullptr;
    return hr;
}

STDAPI_(void) CoFreeUnusedLibraries() {
    State& s = state();
    std::lock_guard lock(s.libraries_mutex);
    for (auto it = s.libraries.begin(); it != s.libraries.end();) {
        if (it->second.can_unload_now && it->second.can_unload_now() == S_OK) {
            ::dlclose(it->second.handle);
            it = s.libraries.erase(it);
        } else {
            ++it;
        }
    }
}

STDAPI OaClassLibraryCanUnloadNow(REFCLSID clsid) {
    ClassEntry entry;
    if (!registry_find_class(clsid, entry)) {
        // A class registered in-process lives in the program itself.
        return find_registered(state(), clsid) ? S_FALSE : REGDB_E_CLASSNOTREG;
    }
    char real[PATH_MAX];
    if (!::realpath(entry.library_path.c_str(), real)) return S_OK;  // nothing there, nothing loaded
    State& s = state();
    std::lock_guard lock(s.libraries_mutex);
    if (auto it = s.libraries.find(real); it != s.libraries.end())
        return it->second.can_unload_now ? (it->second.can_unload_now() == S_OK ? S_OK : S_FALSE) : S_FALSE;
    // Loaded by other means (linked, or opened by the program)? Ask it without loading it.
    void* h = ::dlopen(real, RTLD_NOW | RTLD_NOLOAD);
    if (!h) return S_OK;
    auto can = reinterpret_cast<CanUnloadNowFn>(::dlsym(h, "DllCanUnloadNow"));
    const HRESULT hr = can ? (can() == S_OK ? S_OK : S_FALSE) : S_FALSE;
    ::dlclose(h);
    return hr;
}

STDAPI_(const char*) OaModulePathOf(const void* address) {
    thread_local std::string result;  // valid until this thread's next call
    Dl_info info{};
    if (!address || !::dladdr(address, &info) || !info.dli_fname || !*info.dli_fname) return nullptr;
    char real[PATH_MAX];
    if (!::realpath(info.dli_fname, real)) return nullptr;
    result = real;
    return result.c_str();
}
