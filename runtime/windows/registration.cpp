// Self-registration on Windows: a library's described rows under HKEY_CLASSES_ROOT.
#include <oa/registration.h>

#include <oa/com_ptr.h>
#include <oa/unique.h>

#include <optional>
#include <string>
#include <vector>

namespace {

std::wstring wide(const char* utf8) {
    if (!utf8) return {};
    const int n = MultiByteToWideChar(CP_UTF8, 0, utf8, -1, nullptr, 0);
    if (n <= 0) return {};
    std::wstring out(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8, -1, out.data(), n);
    out.pop_back();
    return out;
}

std::string narrow(const std::wstring& text) {
    const int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    if (n <= 0) return {};
    std::string out(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, out.data(), n, nullptr, nullptr);
    out.pop_back();
    return out;
}

void close_key(HKEY key) noexcept { RegCloseKey(key); }
using unique_hkey = oa::unique_any<HKEY, &close_key>;

HRESULT from_win32(LONG error) { return error == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(error); }

// Creates the key under HKEY_CLASSES_ROOT and sets one text value (nullptr: the default).
HRESULT set_text(const std::wstring& key_path, const wchar_t* name, const std::wstring& value) {
    unique_hkey key;
    if (LONG e = RegCreateKeyExW(HKEY_CLASSES_ROOT, key_path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, key.put(),
                                 nullptr))
        return from_win32(e);
    const auto bytes = static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t));
    return from_win32(
        RegSetValueExW(key.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()), bytes));
}

std::optional<std::wstring> get_text(const std::wstring& key_path, const wchar_t* name) {
    wchar_t buffer[1024];
    DWORD size = sizeof buffer;
    if (RegGetValueW(HKEY_CLASSES_ROOT, key_path.c_str(), name, RRF_RT_REG_SZ, nullptr, buffer, &size) !=
        ERROR_SUCCESS)
        return std::nullopt;
    return std::wstring(buffer);
}

HRESULT delete_tree(const std::wstring& key_path) {
    const LONG e = RegDeleteTreeW(HKEY_CLASSES_ROOT, key_path.c_str());
    return e == ERROR_FILE_NOT_FOUND ? S_OK : from_win32(e);
}

// A ProgID key and its CLSID value; removed only while it still names this class.
HRESULT remove_progid(const std::wstring& progid, const std::wstring& clsid) {
    if (progid.empty() || get_text(progid + L"\\CLSID", nullptr) != clsid) return S_OK;
    return delete_tree(progid);
}

bool has_subkeys(const std::wstring& key_path) {
    unique_hkey key;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, key_path.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS) return false;
    DWORD subkeys = 0;
    return RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr, nullptr, nullptr,
                            nullptr, nullptr) == ERROR_SUCCESS &&
           subkeys > 0;
}

}  // namespace

STDAPI OaClassFromProgID(LPCOLESTR progid, CLSID* clsid) {
    if (!progid || !clsid) return E_INVALIDARG;
    HRESULT hr = CLSIDFromProgID(progid, clsid);
    // A version-independent ProgID may name its class only through CurVer; a few steps at
    // most, so that a loop of CurVer keys ends.
    std::wstring name = progid;
    for (int step = 0; FAILED(hr) && step < 4; ++step) {
        const std::optional<std::wstring> current = get_text(name + L"\\CurVer", nullptr);
        if (!current || current->empty() || *current == name) break;
        name = *current;
        hr = CLSIDFromProgID(name.c_str(), clsid);
    }
    return hr;
}

namespace oa::reg {

HRESULT register_server(const library& lib, const void* module_address) {
    const char* module = OaModulePathOf(module_address);
    if (!module) return SELFREG_E_CLASS;
    const std::string path = module;  // the runtime's text lasts until its next call
    if (lib.libid) {
        // The type library the module carries must be the one described.
        oa::com_ptr<ITypeLib> carried;
        if (HRESULT hr = LoadTypeLibEx(wide(path.c_str()).c_str(), REGKIND_NONE, carried.put()); FAILED(hr)) return hr;
        TLIBATTR* attr = nullptr;
        if (HRESULT hr = carried->GetLibAttr(&attr); FAILED(hr)) return hr;
        const bool same = attr->guid == *lib.libid && attr->wMajorVerNum == lib.major && attr->wMinorVerNum == lib.minor;
        carried->ReleaseTLibAttr(attr);
        if (!same) return TYPE_E_LIBNOTREGISTERED;
    }
    for (const row& r : rows(lib, path)) {
        const std::wstring name = wide(r.name.c_str());
        if (HRESULT hr = set_text(wide(r.key.c_str()), name.empty() ? nullptr : name.c_str(), wide(r.value.c_str()));
            FAILED(hr))
            return hr;
    }
    return S_OK;
}

HRESULT unregister_server(const library& lib) {
    HRESULT first_failure = S_OK;
    const auto keep = [&first_failure](HRESULT hr) {
        if (FAILED(hr) && SUCCEEDED(first_failure)) first_failure = hr;
    };
    for (const coclass_entry& c : lib.classes) {
        const std::wstring id = wide(guid_text(c.clsid).c_str());
        keep(remove_progid(wide(std::string(c.progid).c_str()), id));
        keep(remove_progid(wide(std::string(c.version_independent).c_str()), id));
        keep(delete_tree(L"CLSID\\" + id));
    }
    if (!lib.libid) return first_failure;
    const std::wstring libid = wide(guid_text(*lib.libid).c_str());
    // An interface key is this library's while it names this type library.
    for (const interface_entry& i : lib.interfaces) {
        const std::wstring key = L"Interface\\" + wide(guid_text(i.iid).c_str());
        if (get_text(key + L"\\TypeLib", nullptr) == libid) keep(delete_tree(key));
    }
    const std::wstring typelib = L"TypeLib\\" + libid;
    keep(delete_tree(typelib + L"\\" + std::to_wstring(lib.major) + L"." + std::to_wstring(lib.minor)));
    if (!has_subkeys(typelib)) keep(delete_tree(typelib));
    return first_failure;
}

}  // namespace oa::reg

STDAPI_(const char*) OaModulePathOf(const void* address) {
    HMODULE module = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            static_cast<LPCWSTR>(address), &module))
        return nullptr;
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(module, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0) return nullptr;
        if (n < path.size()) {
            path.resize(n);
            break;
        }
        path.resize(path.size() * 2);
    }
    thread_local std::string text;
    text = narrow(path);
    return text.c_str();
}

STDAPI_(const char*) OaForceRegistrationCommand(const char* libraryPath) {
    thread_local std::string text;
    const std::string path = libraryPath ? libraryPath : "LIBRARY.dll";
    // /n: not DllRegisterServer; /i:force: DllInstall(TRUE, L"force").
    text = "regsvr32 /n /i:force " + (path.find(' ') == std::string::npos ? path : '"' + path + '"');
    return text.c_str();
}
