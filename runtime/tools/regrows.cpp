// regrows: writes what a library's registration description holds in the forms that are
// not self-registration, from the description the library itself exports
// (DllRegistrationDescription), so that they cannot drift from what DllRegisterServer does.
//   regrows installer [--x86] LIBRARY.dll FILE_ID OUT.wxi  the installer's registry rows
//   regrows manifest [--x86] OUT.manifest NAME VERSION LIBRARY.dll...
//                                                      an assembly manifest naming each library
//   regrows rows [--x86] LIBRARY.dll PATH              the rows as a registry export shows them,
//                                                      every key and value under HKEY_CLASSES_ROOT
// --x86: for 32-bit programs. The description is read from the 64-bit build of the same
// sources (a 32-bit library cannot load here), so that no 32-bit code runs.
#include <oa/registration.h>

#include <cstdio>
#include <fstream>
#include <set>
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

// A value as a registry export writes it: backslashes and quotes escaped.
std::string exported(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\\' || c == '"') out += '\\';
        out += c;
    }
    return out;
}

// The rows as sorted lines "KEY" (each key and the keys above it) and "KEY|NAME=VALUE".
std::string export_lines(const oa::reg::library& lib, const std::string& path, oa::reg::bitness bits) {
    std::set<std::string> lines;
    for (const oa::reg::row& r : oa::reg::rows(lib, path, bits)) {
        const std::string key = "HKEY_CLASSES_ROOT\\" + r.key;
        for (std::size_t at = key.find('\\'); at != std::string::npos; at = key.find('\\', at + 1))
            if (at > 0) lines.insert(key.substr(0, at));
        lines.insert(key);
        lines.insert(key + "|" + (r.name.empty() ? "@" : "\"" + exported(r.name) + "\"") + "=\"" + exported(r.value) +
                     "\"");
    }
    std::string text;
    for (const std::string& line : lines) text += line + "\n";
    return text;
}

int usage() {
    std::fprintf(stderr,
                 "usage: regrows installer [--x86] LIBRARY.dll FILE_ID OUT.wxi\n"
                 "       regrows manifest [--x86] OUT.manifest NAME VERSION LIBRARY.dll...\n"
                 "       regrows rows [--x86] LIBRARY.dll PATH\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return usage();
    const std::string what = argv[1];
    oa::reg::bitness bits = oa::reg::native_bitness;
    int first = 2;
    if (argc > 2 && std::string(argv[2]) == "--x86") {
        bits = oa::reg::bitness::x86;
        first = 3;
    }
    const int count = argc - first;
    char** arg = argv + first;
    if (what == "installer" && count == 3) {
        const oa::reg::library* lib = description_of(arg[0]);
        if (!lib) return 1;
        const std::string text = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<Include>\n" +
                                 oa::reg::installer_rows(*lib, std::string("[#") + arg[1] + "]", bits) + "</Include>\n";
        return write(arg[2], text) ? 0 : 1;
    }
    if (what == "manifest" && count >= 4) {
        const char* architecture = bits == oa::reg::bitness::x86 ? "x86" : "amd64";
        std::string text = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
                           "<assembly xmlns=\"urn:schemas-microsoft-com:asm.v1\" manifestVersion=\"1.0\">\n"
                           "  <assemblyIdentity type=\"win32\" name=\"" +
                           std::string(arg[1]) + "\" version=\"" + arg[2] + "\" processorArchitecture=\"" +
                           architecture + "\"/>\n";
        for (int i = 3; i < count; ++i) {
            const oa::reg::library* lib = description_of(arg[i]);
            if (!lib) return 1;
            text += oa::reg::manifest_entries(*lib);
        }
        return write(arg[0], text + "</assembly>\n") ? 0 : 1;
    }
    if (what == "rows" && count == 2) {
        const oa::reg::library* lib = description_of(arg[0]);
        if (!lib) return 1;
        std::fputs(export_lines(*lib, arg[1], bits).c_str(), stdout);
        return 0;
    }
    return usage();
}
