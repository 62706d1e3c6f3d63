// Self-registration on Windows: a class's keys under HKEY_CLASSES_ROOT, and the type
// library through the system's own registration (which also registers its interfaces).
#include <oleauto.h>

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

std::wstring guid_text(REFGUID guid) {
    wchar_t text[40] = {};
    StringFromGUID2(guid, text, 40);
    return text;
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

bool key_exists(const std::wstring& key_path) {
    unique_hkey key;
    return RegOpenKeyExW(HKEY_CLASSES_ROOT, key_path.c_str(), 0, KEY_READ, key.put()) == ERROR_SUCCESS;
}

HRESULT delete_tree(const std::wstring& key_path) {
    const LONG e = RegDeleteTreeW(HKEY_CLASSES_ROOT, key_path.c_str());
    return e == ERROR_FILE_NOT_FOUND ? S_OK : from_win32(e);
}

// A ProgID key and its CLSID value; removed only while it still names this class.
HRESULT remove_progid(const std::optional<std::wstring>& progid, const std::wstring& clsid) {
    if (!progid || progid->empty()) return S_OK;
    if (get_text(*progid + L"\\CLSID", nullptr) != clsid) return S_OK;
    return delete_tree(*progid);
}

}  // namespace

STDAPI OaRegisterClass(REFCLSID clsid, const char* progid, const char* versionIndependentProgid,
                       const char* libraryPath, const char* threadingModel) {
    if (!progid || !libraryPath || !threadingModel) return E_POINTER;
    const std::wstring id = guid_text(clsid), key = L"CLSID\\" + id;
    const std::wstring prog = wide(progid);
    const std::wstring independent = versionIndependentProgid ? wide(versionIndependentProgid) : prog;
    HRESULT hr = set_text(key, nullptr, prog);
    if (SUCCEEDED(hr)) hr = set_text(key + L"\\InprocServer32", nullptr, wide(libraryPath));
    if (SUCCEEDED(hr)) hr = set_text(key + L"\\InprocServer32", L"ThreadingModel", wide(threadingModel));
    if (SUCCEEDED(hr)) hr = set_text(key + L"\\ProgID", nullptr, prog);
    if (SUCCEEDED(hr)) hr = set_text(key + L"\\VersionIndependentProgID", nullptr, independent);
    if (SUCCEEDED(hr)) hr = set_text(prog, nullptr, prog);
    if (SUCCEEDED(hr)) hr = set_text(prog + L"\\CLSID", nullptr, id);
    if (SUCCEEDED(hr) && independent != prog) {
        hr = set_text(independent + L"\\CLSID", nullptr, id);
        if (SUCCEEDED(hr)) hr = set_text(independent + L"\\CurVer", nullptr, prog);
    }
    return hr;
}

STDAPI OaUnregisterClass(REFCLSID clsid) {
    const std::wstring id = guid_text(clsid), key = L"CLSID\\" + id;
    HRESULT a = remove_progid(get_text(key + L"\\ProgID", nullptr), id);
    HRESULT b = remove_progid(get_text(key + L"\\VersionIndependentProgID", nullptr), id);
    HRESULT c = delete_tree(key);
    return FAILED(a) ? a : FAILED(b) ? b : c;
}

STDAPI OaRegisterTypeLib(REFGUID libid, WORD major, WORD minor, LCID, const char*, const char* libraryPath) {
    if (!libraryPath) return E_POINTER;
    // The library's own type library (its TYPELIB resource); the system registers it and
    // every dual or automation interface in it.
    oa::com_ptr<ITypeLib> library;
    const std::wstring path = wide(libraryPath);
    if (HRESULT hr = LoadTypeLibEx(path.c_str(), REGKIND_REGISTER, library.put()); FAILED(hr)) return hr;
    TLIBATTR* attr = nullptr;
    if (HRESULT hr = library->GetLibAttr(&attr); FAILED(hr)) return hr;
    const bool same = attr->guid == libid && attr->wMajorVerNum == major && attr->wMinorVerNum == minor;
    library->ReleaseTLibAttr(attr);
    if (!same) return TYPE_E_LIBNOTREGISTERED;
    // Each class of the library that is registered learns its type library and version.
    const std::wstring lib_text = guid_text(libid);
    const std::wstring version = std::to_wstring(major) + L"." + std::to_wstring(minor);
    for (UINT i = 0, n = library->GetTypeInfoCount(); i < n; ++i) {
        TYPEKIND kind;
        if (FAILED(library->GetTypeInfoType(i, &kind)) || kind != TKIND_COCLASS) continue;
        oa::com_ptr<ITypeInfo> info;
        TYPEATTR* type = nullptr;
        if (FAILED(library->GetTypeInfo(i, info.put())) || FAILED(info->GetTypeAttr(&type))) continue;
        const std::wstring key = L"CLSID\\" + guid_text(type->guid);
        info->ReleaseTypeAttr(type);
        if (!key_exists(key)) continue;
        HRESULT hr = set_text(key + L"\\TypeLib", nullptr, lib_text);
        if (SUCCEEDED(hr)) hr = set_text(key + L"\\Version", nullptr, version);
        if (FAILED(hr)) return hr;
    }
    return S_OK;
}

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

STDAPI OaUnregisterTypeLib(REFGUID libid, WORD major, WORD minor) {
    // One registration per locale: the locale keys are the hexadecimal subkeys.
    const std::wstring key = L"TypeLib\\" + guid_text(libid) + L"\\" + std::to_wstring(major) + L"." +
                             std::to_wstring(minor);
    unique_hkey version;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, version.put()) != ERROR_SUCCESS) return S_OK;
    std::vector<LCID> locales;
    wchar_t name[64];
    for (DWORD i = 0;; ++i) {
        DWORD length = 64;
        if (RegEnumKeyExW(version.get(), i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        wchar_t* end = nullptr;
        const unsigned long lcid = wcstoul(name, &end, 16);
        if (end != name && *end == L'\0') locales.push_back(static_cast<LCID>(lcid));
    }
    version.reset();
    for (LCID lcid : locales)
        if (HRESULT hr = UnRegisterTypeLib(libid, major, minor, lcid, SYS_WIN64); FAILED(hr)) return hr;
    return delete_tree(key);
}

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
