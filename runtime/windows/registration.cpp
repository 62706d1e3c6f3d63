// Self-registration on Windows: a library's described rows under HKEY_CLASSES_ROOT.
#include <oa/registration.h>

#include <oa/com_ptr.h>
#include <oa/module.h>
#include <oa/text.h>
#include <oa/unique.h>

#include "registry_key.h"

#include <iterator>
#include <optional>
#include <string>
#include <vector>

namespace {

using oa::win::unique_hkey;

HRESULT from_win32(LONG error) { return error == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(error); }

// The registry view of programs of a bitness: each call names it, so that the code holds
// whether the system keeps the two views apart, shares some keys, or has one view only.
REGSAM view_of(oa::reg::bitness bits) {
    return bits == oa::reg::bitness::x86 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;
}
constexpr oa::reg::bitness other_than(oa::reg::bitness bits) {
    return bits == oa::reg::bitness::x86 ? oa::reg::bitness::x64 : oa::reg::bitness::x86;
}

// Creates the key under HKEY_CLASSES_ROOT and sets one text value (nullptr: the default).
HRESULT set_text(REGSAM view, const std::wstring& key_path, const wchar_t* name, const std::wstring& value) {
    unique_hkey key;
    if (LONG e = RegCreateKeyExW(HKEY_CLASSES_ROOT, key_path.c_str(), 0, nullptr, 0, KEY_WRITE | view, nullptr,
                                 key.put(), nullptr))
        return from_win32(e);
    const auto bytes = static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t));
    return from_win32(
        RegSetValueExW(key.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()), bytes));
}

std::optional<std::wstring> get_text(REGSAM view, const std::wstring& key_path, const wchar_t* name) {
    unique_hkey key;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, key_path.c_str(), 0, KEY_QUERY_VALUE | view, key.put()) != ERROR_SUCCESS)
        return std::nullopt;
    wchar_t buffer[1024];
    DWORD size = sizeof buffer;
    if (RegGetValueW(key.get(), nullptr, name, RRF_RT_REG_SZ, nullptr, buffer, &size) != ERROR_SUCCESS)
        return std::nullopt;
    return std::wstring(buffer);
}

bool key_exists(REGSAM view, const std::wstring& key_path) {
    unique_hkey key;
    return RegOpenKeyExW(HKEY_CLASSES_ROOT, key_path.c_str(), 0, KEY_READ | view, key.put()) == ERROR_SUCCESS;
}

// Deletes the key with everything under it, in the view.
HRESULT delete_tree(REGSAM view, const std::wstring& key_path) {
    unique_hkey key;
    LONG e = RegOpenKeyExW(HKEY_CLASSES_ROOT, key_path.c_str(), 0, KEY_READ | KEY_WRITE | DELETE | view, key.put());
    if (e == ERROR_FILE_NOT_FOUND) return S_OK;
    if (e == ERROR_SUCCESS) e = RegDeleteTreeW(key.get(), nullptr);
    if (e == ERROR_SUCCESS) {
        const std::size_t split = key_path.find_last_of(L'\\');
        unique_hkey parent;
        const std::wstring parent_path = split == std::wstring::npos ? std::wstring() : key_path.substr(0, split);
        e = RegOpenKeyExW(HKEY_CLASSES_ROOT, parent_path.c_str(), 0, KEY_WRITE | view, parent.put());
        if (e == ERROR_SUCCESS)
            e = RegDeleteKeyExW(parent.get(), key_path.substr(split == std::wstring::npos ? 0 : split + 1).c_str(),
                                view, 0);
    }
    return e == ERROR_FILE_NOT_FOUND ? S_OK : from_win32(e);
}

// A ProgID key and its CLSID value; removed only while it still names this class.
HRESULT remove_progid(REGSAM view, const std::wstring& progid, const std::wstring& clsid) {
    if (progid.empty() || get_text(view, progid + L"\\CLSID", nullptr) != clsid) return S_OK;
    return delete_tree(view, progid);
}

// The names of a key's subkeys.
std::vector<std::wstring> subkeys(REGSAM view, const std::wstring& key_path) {
    std::vector<std::wstring> names;
    unique_hkey key;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, key_path.c_str(), 0, KEY_READ | view, key.put()) != ERROR_SUCCESS)
        return names;
    wchar_t name[256];
    for (DWORD i = 0;; ++i) {
        DWORD length = static_cast<DWORD>(std::size(name));
        if (RegEnumKeyExW(key.get(), i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        names.emplace_back(name, length);
    }
    return names;
}

// Removes one platform's file of a type library's version: its win32 or win64 keys, then
// every locale key left empty, then the version while no locale holds a file.
HRESULT remove_typelib_platform(REGSAM view, const std::wstring& typelib, const std::wstring& version,
                                const wchar_t* platform) {
    HRESULT first_failure = S_OK;
    const std::wstring version_key = typelib + L"\\" + version;
    bool files_left = false;
    for (const std::wstring& sub : subkeys(view, version_key)) {
        if (sub == L"FLAGS" || sub == L"HELPDIR") continue;
        const std::wstring locale = version_key + L"\\" + sub;
        if (HRESULT hr = delete_tree(view, locale + L"\\" + platform); FAILED(hr) && SUCCEEDED(first_failure))
            first_failure = hr;
        if (subkeys(view, locale).empty())
            delete_tree(view, locale);
        else
            files_left = true;
    }
    if (!files_left) {
        if (HRESULT hr = delete_tree(view, version_key); FAILED(hr) && SUCCEEDED(first_failure)) first_failure = hr;
    }
    if (subkeys(view, typelib).empty()) delete_tree(view, typelib);
    return first_failure;
}

}  // namespace

STDAPI OaClassFromProgID(LPCOLESTR progid, CLSID* clsid) {
    if (!progid || !clsid) return E_INVALIDARG;
    HRESULT hr = CLSIDFromProgID(progid, clsid);
    // A version-independent ProgID may name its class only through CurVer; a few steps at
    // most, so that a loop of CurVer keys ends.
    std::wstring name = progid;
    for (int step = 0; FAILED(hr) && step < 4; ++step) {
        const std::optional<std::wstring> current = get_text(0, name + L"\\CurVer", nullptr);
        if (!current || current->empty() || *current == name) break;
        name = *current;
        hr = CLSIDFromProgID(name.c_str(), clsid);
    }
    return hr;
}

namespace oa::reg {

namespace {

// Writes rows into the view; with only_missing, a value already there stays as it is.
HRESULT write_rows(REGSAM view, const std::vector<row>& rows, bool only_missing) {
    for (const row& r : rows) {
        const std::wstring key = oa::utf8_to_wide(r.key), name = oa::utf8_to_wide(r.name);
        const wchar_t* value_name = name.empty() ? nullptr : name.c_str();
        if (only_missing && get_text(view, key, value_name)) continue;
        if (HRESULT hr = set_text(view, key, value_name, oa::utf8_to_wide(r.value)); FAILED(hr)) return hr;
    }
    return S_OK;
}

}  // namespace

HRESULT register_server(const library& lib, const void* module_address) {
    const char* module = OaModulePathOf(module_address);
    if (!module) return SELFREG_E_CLASS;
    const std::string path = module;  // the runtime's text lasts until its next call
    if (lib.libid) {
        // The type library the module carries must be the one described.
        oa::com_ptr<ITypeLib> carried;
        if (HRESULT hr = LoadTypeLibEx(oa::utf8_to_wide(path).c_str(), REGKIND_NONE, carried.put()); FAILED(hr)) return hr;
        TLIBATTR* attr = nullptr;
        if (HRESULT hr = carried->GetLibAttr(&attr); FAILED(hr)) return hr;
        const bool same = attr->guid == *lib.libid && attr->wMajorVerNum == lib.major && attr->wMinorVerNum == lib.minor;
        carried->ReleaseTLibAttr(attr);
        if (!same) return TYPE_E_LIBNOTREGISTERED;
    }
    return write_rows(view_of(native_bitness), rows(lib, path), false);
}

HRESULT unregister_server(const library& lib) {
    const REGSAM view = view_of(native_bitness);
    HRESULT first_failure = S_OK;
    const auto keep = [&first_failure](HRESULT hr) {
        if (FAILED(hr) && SUCCEEDED(first_failure)) first_failure = hr;
    };
    for (const coclass_entry& c : lib.classes) {
        const std::wstring id = oa::utf8_to_wide(guid_text(c.clsid));
        keep(remove_progid(view, oa::utf8_to_wide(c.progid), id));
        keep(remove_progid(view, oa::utf8_to_wide(c.version_independent), id));
        keep(delete_tree(view, L"CLSID\\" + id));
    }
    if (lib.libid) {
        const std::wstring libid = oa::utf8_to_wide(guid_text(*lib.libid));
        // An interface key is this library's while it names this type library.
        for (const interface_entry& i : lib.interfaces) {
            const std::wstring key = L"Interface\\" + oa::utf8_to_wide(guid_text(i.iid));
            if (get_text(view, key + L"\\TypeLib", nullptr) == libid) keep(delete_tree(view, key));
        }
        keep(remove_typelib_platform(view, L"TypeLib\\" + libid,
                                     std::to_wstring(lib.major) + L"." + std::to_wstring(lib.minor),
                                     native_bitness == bitness::x86 ? L"win32" : L"win64"));
    }
    // Where the two views share a key (ProgIDs, TypeLib on 64-bit Windows), removing it here
    // removed it for the other bitness too: while the library is still registered there,
    // what it needs that names no file is written back, where it is missing.
    const bitness other = other_than(native_bitness);
    const REGSAM other_view = view_of(other);
    for (const coclass_entry& c : lib.classes) {
        if (!key_exists(other_view, L"CLSID\\" + oa::utf8_to_wide(guid_text(c.clsid)) + L"\\InprocServer32")) continue;
        std::vector<row> needed;
        for (row& r : rows(lib, "\x01", other))
            if (r.value != "\x01") needed.push_back(std::move(r));
        keep(write_rows(other_view, needed, true));
        break;
    }
    return first_failure;
}

}  // namespace oa::reg

STDAPI_(const char*) OaModulePathOf(const void* address) {
    const HMODULE module = oa::win::module_of(address);
    if (!module) return nullptr;
    const std::wstring path = oa::win::module_path(module);
    if (path.empty()) return nullptr;
    thread_local std::string text;
    text = oa::wide_to_utf8(path);
    return text.c_str();
}

STDAPI_(const char*) OaForceRegistrationCommand(const char* libraryPath) {
    thread_local std::string text;
    const std::string path = libraryPath ? libraryPath : "LIBRARY.dll";
    // /n: not DllRegisterServer; /i:force: DllInstall(TRUE, L"force").
    text = "regsvr32 /n /i:force " + (path.find(' ') == std::string::npos ? path : '"' + path + '"');
    return text.c_str();
}
