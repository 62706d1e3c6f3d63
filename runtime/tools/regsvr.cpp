// regsvr [-u] [--force] LIBRARY.so
// Loads a library and runs its self-registration (DllRegisterServer) or removal
// (DllUnregisterServer) against the runtime's registry (OLEAUTO_REGISTRY when set);
// --force runs its DllInstall with the command line "force" instead.
#include "oleauto.h"

#include <oa/error.h>
#include <oa/text.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <dlfcn.h>

namespace {

int usage() {
    std::fprintf(stderr, "usage: regsvr [-u] [--force] LIBRARY.so\n  -u       unregister\n"
                         "  --force  register even where another server's class holds a ProgID of the library\n"
                         "           (the library's DllInstall with \"force\"; with -u, unregister through it)\n"
                         "The registry is OLEAUTO_REGISTRY when set, else $HOME/.config/oleauto/registry.\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    bool unregister = false, force = false;
    const char* library = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "-u") == 0) unregister = true;
        else if (std::strcmp(argv[i], "--force") == 0) force = true;
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
    const char* entry = force ? "DllInstall" : unregister ? "DllUnregisterServer" : "DllRegisterServer";
    void* address = ::dlsym(handle, entry);
    if (!address) {
        if (force)
            std::fprintf(stderr, "regsvr: %s does not export DllInstall, so it has no forced registration\n", real);
        else
            std::fprintf(stderr, "regsvr: %s does not export %s\n", real, entry);
        ::dlclose(handle);
        return 1;
    }
    SetErrorInfo(0, nullptr);
    const HRESULT hr = force ? reinterpret_cast<HRESULT (*)(BOOL, LPCOLESTR)>(address)(unregister ? FALSE : TRUE, u"force")
                             : reinterpret_cast<HRESULT (*)()>(address)();
    // Left loaded: objects the call created may still be referenced by the runtime.
    if (FAILED(hr)) {
        // The library's own account of the failure, when it gave one.
        const std::string why = oa::utf16_to_utf8(oa::take_error_description(hr));
        std::fprintf(stderr, "regsvr: %s failed with 0x%08X (registry %s)%s%s\n", entry, static_cast<unsigned>(hr),
                     OaGetRegistryPath(), why.empty() ? "" : ": ", why.c_str());
        return 1;
    }
    std::printf("regsvr: %s %s in %s\n", real, unregister ? "unregistered" : "registered", OaGetRegistryPath());
    return 0;
}
