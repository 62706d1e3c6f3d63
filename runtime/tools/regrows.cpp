// regrows: writes what a library's registration description holds in the forms that are
// not self-registration, from the description the library itself exports
// (DllRegistrationDescription), so that they cannot drift from what DllRegisterServer does.
//   regrows installer LIBRARY.dll FILE_ID OUT.wxi      the installer's registry rows
//   regrows manifest OUT.manifest NAME VERSION LIBRARY.dll...
//                                                      an assembly manifest naming each library
#include <oa/registration.h>

#include <cstdio>
#include <fstream>
#include <string>

namespace {

using describe = const oa::reg::library*(__cdecl*)();

const oa::reg::library* description_of(const char* path) {
    // The library stays loaded until the tool ends: the description lives in it.
    HMODULE library = LoadLibraryExA(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (!library) {
        std::fprintf(stderr, "regrows: cannot load %s (error %lu)\n", path, GetLastError());
        return nullptr;
    }
    auto* exported = reinterpret_cast<describe>(reinterpret_cast<void*>(GetProcAddress(library, "DllRegistrationDescription")));
    if (!exported) std::fprintf(stderr, "regrows: %s exports no DllRegistrationDescription\n", path);
    return exported ? exported() : nullptr;
}

bool write(const char* path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    if (!out) std::fprintf(stderr, "regrows: cannot write %s\n", path);
    return static_cast<bool>(out);
}

int usage() {
    std::fprintf(stderr,
                 "usage: regrows installer LIBRARY.dll FILE_ID OUT.wxi\n"
                 "       regrows manifest OUT.manifest NAME VERSION LIBRARY.dll...\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return usage();
    const std::string what = argv[1];
    if (what == "installer" && argc == 5) {
        const oa::reg::library* lib = description_of(argv[2]);
        if (!lib) return 1;
        const std::string text = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<Include>\n" +
                                 oa::reg::installer_rows(*lib, std::string("[#") + argv[3] + "]") + "</Include>\n";
        return write(argv[4], text) ? 0 : 1;
    }
    if (what == "manifest" && argc >= 6) {
        std::string text = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
                           "<assembly xmlns=\"urn:schemas-microsoft-com:asm.v1\" manifestVersion=\"1.0\">\n"
                           "  <assemblyIdentity type=\"win32\" name=\"" +
                           std::string(argv[3]) + "\" version=\"" + argv[4] + "\" processorArchitecture=\"amd64\"/>\n";
        for (int i = 5; i < argc; ++i) {
            const oa::reg::library* lib = description_of(argv[i]);
            if (!lib) return 1;
            text += oa::reg::manifest_entries(*lib);
        }
        return write(argv[2], text + "</assembly>\n") ? 0 : 1;
    }
    return usage();
}
