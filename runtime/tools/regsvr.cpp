// regsvr [-u] LIBRARY.so
// Loads a library and runs its self-registration (DllRegisterServer) or removal
// (DllUnregisterServer) against the runtime's registry (OLEAUTO_REGISTRY when set).
#include "oleauto.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <dlfcn.h>

namespace {

int usage() {
    std::fprintf(stderr, "usage: regsvr [-u] LIBRARY.so\n  -u  unregister\n"
                         "The registry is OLEAUTO_REGISTRY when set, else $HOME/.config/oleauto/registry.\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    bool unregister = false;
    const char* library = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "-u") == 0) unregister = true;
        else if (std::strcmp(argv[i], "-h") == 0 || std::strcmp(argv[i], "--help") == 0) return usage(), 0;
        else if (!library && argv[i][0] != '-') library = argv[i];
        else return usage();
    }
    if (!library) return usage();

    char real[PATH_MAX];
    if (!::realpath(library, real)) {
        std::fprintf(stderr, "regsvr: %s: no such file\n", library);
        return 1;
    }
    void* handle = ::dlopen(real, RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        std::fprintf(stderr, "regsvr: cannot load %s: %s\n", real, ::dlerror());
        return 1;
    }
    const char* entry = unregister ? "DllUnregisterServer" : "DllRegisterServer";
    auto fn = reinterpret_cast<HRESULT (*)()>(::dlsym(handle, entry));
    if (!fn) {
        std::fprintf(stderr, "regsvr: %s does not export %s\n", real, entry);
        ::dlclose(handle);
        return 1;
    }
    const HRESULT hr = fn();
    // Left loaded: objects the call created may still be referenced by the runtime.
    if (FAILED(hr)) {
        std::fprintf(stderr, "regsvr: %s failed with 0x%08X (registry %s)\n", entry, static_cast<unsigned>(hr),
                     OaGetRegistryPath());
        return 1;
    }
    std::printf("regsvr: %s %s in %s\n", real, unregister ? "unregistered" : "registered", OaGetRegistryPath());
    return 0;
}
