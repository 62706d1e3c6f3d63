// A library's registration, described once. Its self-registration (DllRegisterServer,
// DllUnregisterServer), the installer's registry rows and the entries of a manifest for
// registration-free activation all come from one description, so that they cannot drift.
#pragma once

#include <oleauto.h>

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace oa::reg {

struct coclass_entry {
    const CLSID& clsid;
    std::string_view description;          // the class key's default value
    std::string_view progid;               // versioned, e.g. "lib.Class.1"
    std::string_view version_independent;  // "lib.Class"; the same as progid when unversioned
    std::string_view threading = "Apartment";
};

// A dual or automation interface, marshalled by the type library's marshaler.
struct interface_entry {
    const IID& iid;
    std::string_view name;
};

struct library {
    std::string_view file;  // the file name beside its peers: "quellar2mrapi.dll"
    std::span<const coclass_entry> classes;
    std::span<const interface_entry> interfaces = {};
    const GUID* libid = nullptr;  // no type library when null
    WORD major = 1, minor = 0;
    LCID lcid = 0;
    std::string_view name = {};  // the type library's key's default value
};

// {00020424-0000-0000-C000-000000000046}, the type-library marshaler.
inline constexpr CLSID typelib_marshaler{0x00020424, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", upper case, as the system writes it.
std::string guid_text(const GUID& guid);

// The programs that rows serve: 32-bit or 64-bit ones. On 64-bit Windows each has a registry
// view of its own, and a type library names its file per platform (win32, win64).
enum class bitness { x86, x64 };
inline constexpr bitness native_bitness = sizeof(void*) == 4 ? bitness::x86 : bitness::x64;

// One text value under HKEY_CLASSES_ROOT; an empty name is the key's default value.
struct row {
    std::string key, name, value;
    bool operator==(const row&) const = default;
};

// The rows of a library whose file is at path, in a fixed order: each class (CLSID key,
// InprocServer32, ProgIDs with CurVer), then the type library, then each interface; for
// the programs of bits (by default, those of this build's bitness).
std::vector<row> rows(const library& lib, std::string_view path, bitness bits = native_bitness);

// The same rows as the installer's RegistryValue elements, the library's path given as the
// installer's formatted text for its file ("[#file.dll]").
std::string installer_rows(const library& lib, std::string_view file_reference, bitness bits = native_bitness);

// The library's <file> element of an assembly manifest (its classes with their ProgIDs
// and its type library), then its interfaces' proxy-stub elements.
std::string manifest_entries(const library& lib);

// The system's registration of the library that holds module_address. Windows: the rows
// above, after checking the type library the module carries against the description; the
// project's runtime: its registry file.
HRESULT register_server(const library& lib, const void* module_address);
// Removes what register_server wrote, never a ProgID or an interface key that names
// another class or type library. On Windows it keeps what the library's registration for
// programs of the other bitness still needs, whether the two views share a key or not.
HRESULT unregister_server(const library& lib);

}  // namespace oa::reg

// Exported by each library beside its frame services: the description its own
// registration uses, for the tools that write the installer's rows and the manifests.
#define OA_REGISTRATION_EXPORT(description)                                                   \
    OLEAUTO_EXPORT const ::oa::reg::library* DllRegistrationDescription() { return &(description); }
