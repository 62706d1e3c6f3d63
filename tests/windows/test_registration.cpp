// Registration as regsvr32 left it, the version resource, and a round trip through the
// component's own DllUnregisterServer and DllRegisterServer. Runs alone: it changes the
// prefix's registry that the other Windows tests read.
#include "windows_test.h"

#include <oa/com_ptr.h>
#include <oa/error.h>
#include <oa/unique.h>
#include <oleauto.h>

#include <optional>
#include <string>
#include <vector>

using namespace q2mr_windows_test;

namespace {

std::optional<std::wstring> registry_text(const std::wstring& key, const wchar_t* name = nullptr) {
    wchar_t buffer[1024];
    DWORD size = sizeof buffer;
    if (RegGetValueW(HKEY_CLASSES_ROOT, key.c_str(), name, RRF_RT_REG_SZ, nullptr, buffer, &size) != ERROR_SUCCESS)
        return std::nullopt;
    return std::wstring(buffer);
}

bool key_exists(const std::wstring& key) {
    HKEY h = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS) return false;
    RegCloseKey(h);
    return true;
}

std::string narrow(const std::wstring& w) { return std::string(w.begin(), w.end()); }

// A registered library path, without the long-path prefix that the system's type library
// registration may write.
std::optional<std::wstring> registered_path(const std::wstring& key) {
    auto path = registry_text(key);
    if (path && path->rfind(L"\\\\?\\", 0) == 0) path->erase(0, 4);
    return path;
}

struct registered_class {
    const wchar_t* clsid;
    const wchar_t* progid;
    const wchar_t* independent;
    const wchar_t* library;
    const wchar_t* typelib;
    const wchar_t* version;
};
constexpr const wchar_t* component_libid = L"{D58F723C-DCBC-441D-9072-E441F744A16A}";
constexpr const wchar_t* mrlib_libid = L"{2AC28E6D-FB07-4F78-A246-058D60823606}";
constexpr registered_class component_classes[] = {
    {L"{F5D6F24D-8056-4675-AB1E-E1AD9ED00C9B}", L"quellar2mrapi.t2mrapp.1", L"quellar2mrapi.t2mrapp", L"quellar2mrapi.dll", component_libid, L"7.0"},
    {L"{D3E92039-B40B-4C8D-8A56-9267A837A27E}", L"quellar2mrapi.t2DataClass.1", L"quellar2mrapi.t2DataClass",
     L"quellar2mrapi.dll", component_libid,
     L"7.0"},
};
constexpr registered_class library_classes[] = {
    {L"{1A18F0FE-A387-4310-B901-8A0DD8D59603}", L"mrlib.api", L"mrlib.api", L"mrlib.dll", mrlib_libid, L"1.0"},
    {L"{02AC287D-6E10-44C7-B5E1-9D4A7D1B6E76}", L"mrlib.User", L"mrlib.User", L"mrlib.dll", mrlib_libid, L"1.0"},
    {L"{48F5D87D-D2B8-435A-BF87-E478ABB2604D}", L"mrlib.Emulator", L"mrlib.Emulator", L"mrlib.dll", mrlib_libid, L"1.0"},
};
constexpr const wchar_t* component_interfaces[] = {L"{AFF3C887-52A7-4078-989D-D1B81482E411}",
                                                   L"{02237693-3869-462A-9343-39563084BF61}"};

void expect_registered(const registered_class& c) {
    const std::wstring key = std::wstring(L"CLSID\\") + c.clsid;
    SCOPED_TRACE(narrow(c.progid));
    EXPECT_EQ(beside_program(c.library), registry_text(key + L"\\InprocServer32"));
    EXPECT_EQ(L"Apartment", registry_text(key + L"\\InprocServer32", L"ThreadingModel"));
    EXPECT_EQ(c.progid, registry_text(key + L"\\ProgID"));
    EXPECT_EQ(c.independent, registry_text(key + L"\\VersionIndependentProgID"));
    EXPECT_EQ(c.typelib, registry_text(key + L"\\TypeLib"));
    EXPECT_EQ(c.version, registry_text(key + L"\\Version"));
    EXPECT_EQ(c.clsid, registry_text(std::wstring(c.progid) + L"\\CLSID"));
    EXPECT_EQ(c.clsid, registry_text(std::wstring(c.independent) + L"\\CLSID"));
}

void expect_component_registered() {
    for (const auto& c : component_classes) expect_registered(c);
    EXPECT_EQ(beside_program(L"quellar2mrapi.dll"),
              registered_path(std::wstring(L"TypeLib\\") + component_libid + L"\\7.0\\409\\win64"));
    for (const wchar_t* iid : component_interfaces) {
        EXPECT_EQ(component_libid, registry_text(std::wstring(L"Interface\\") + iid + L"\\TypeLib")) << narrow(iid);
        EXPECT_EQ(L"{00020424-0000-0000-C000-000000000046}",
                  registry_text(std::wstring(L"Interface\\") + iid + L"\\ProxyStubClsid32"));
    }
}

class library_module {
public:
    explicit library_module(const wchar_t* name) : module_(LoadLibraryW(beside_program(name).c_str())) {}
    ~library_module() {
        if (module_) FreeLibrary(module_);
    }
    HRESULT run(const char* entry) const {
        auto f = reinterpret_cast<HRESULT(WINAPI*)()>(reinterpret_cast<void*>(GetProcAddress(module_, entry)));
        return f ? f() : E_NOTIMPL;
    }
    explicit operator bool() const { return module_ != nullptr; }

private:
    HMODULE module_;
};

HRESULT create(const wchar_t* progid) {
    CLSID clsid;
    HRESULT hr = CLSIDFromProgID(progid, &clsid);
    if (FAILED(hr)) return hr;
    oa::com_ptr<IDispatch> object;
    return CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, object.put_void());
}

TEST(Registration, Regsvr32RegisteredEveryClassWithItsTypeLibraryAndInterfaces) {
    expect_component_registered();
    for (const auto& c : library_classes) expect_registered(c);
    EXPECT_EQ(beside_program(L"mrlib.dll"), registered_path(std::wstring(L"TypeLib\\") + mrlib_libid + L"\\1.0\\0\\win64"));
}

TEST(Registration, UnregisteringRemovesExactlyTheComponentsKeysAndRegisteringRestoresThem) {
    library_module component(L"quellar2mrapi.dll");
    ASSERT_TRUE(component);
    ASSERT_EQ(S_OK, component.run("DllUnregisterServer"));
    for (const auto& c : component_classes) {
        EXPECT_FALSE(key_exists(std::wstring(L"CLSID\\") + c.clsid)) << narrow(c.progid);
        EXPECT_FALSE(key_exists(c.progid)) << narrow(c.progid);
        EXPECT_EQ(CO_E_CLASSSTRING, create(c.progid)) << narrow(c.progid);
    }
    EXPECT_FALSE(key_exists(std::wstring(L"TypeLib\\") + component_libid));
    for (const wchar_t* iid : component_interfaces) EXPECT_FALSE(key_exists(std::wstring(L"Interface\\") + iid));
    oa::com_ptr<IDispatch> object;
    EXPECT_EQ(REGDB_E_CLASSNOTREG, CoCreateInstance(CLSID{0xF5D6F24D, 0x8056, 0x4675, {0xAB, 0x1E, 0xE1, 0xAD, 0x9E,
                                                                                      0xD0, 0x0C, 0x9B}},
                                                    nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, object.put_void()));
    for (const auto& c : library_classes) expect_registered(c);  // the library's stay
    EXPECT_EQ(S_OK, component.run("DllUnregisterServer")) << "nothing left to remove is no failure";

    ASSERT_EQ(S_OK, component.run("DllRegisterServer"));
    expect_component_registered();
    for (const auto& c : component_classes) EXPECT_EQ(S_OK, create(c.progid)) << narrow(c.progid);
}

TEST(Registration, TheVersionResourceCarriesTheVersionAndMarksTheLibrarySelfRegistering) {
    for (const wchar_t* name : {L"quellar2mrapi.dll", L"mrlib.dll"}) {
        const std::wstring path = beside_program(name);
        DWORD ignored = 0;
        std::vector<BYTE> data(GetFileVersionInfoSizeW(path.c_str(), &ignored));
        ASSERT_FALSE(data.empty()) << narrow(name);
        ASSERT_TRUE(GetFileVersionInfoW(path.c_str(), 0, static_cast<DWORD>(data.size()), data.data()));
        VS_FIXEDFILEINFO* fixed = nullptr;
        UINT size = 0;
        ASSERT_TRUE(VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&fixed), &size));
        EXPECT_EQ(MAKELONG(0, 2), fixed->dwFileVersionMS);
        EXPECT_EQ(MAKELONG(6, 0), fixed->dwFileVersionLS);
        EXPECT_EQ(MAKELONG(0, 2), fixed->dwProductVersionMS);
        EXPECT_EQ(MAKELONG(6, 0), fixed->dwProductVersionLS);
        for (const wchar_t* entry : {L"FileVersion", L"ProductVersion", L"OLESelfRegister"}) {
            wchar_t* text = nullptr;
            const std::wstring query = std::wstring(L"\\StringFileInfo\\040904B0\\") + entry;
            ASSERT_TRUE(VerQueryValueW(data.data(), query.c_str(), reinterpret_cast<void**>(&text), &size))
                << narrow(entry);
            if (std::wstring(entry) != L"OLESelfRegister") {
                EXPECT_STREQ(L"2.0.0.6", text);
            }
        }
    }
}

void close_handle(HANDLE handle) noexcept { CloseHandle(handle); }
using unique_handle = oa::unique_any<HANDLE, &close_handle>;

// The exit code of the system's regsvr32 run on mrlib.dll with the given switches.
DWORD regsvr32_mrlib(const std::wstring& switches) {
    std::wstring command = L"regsvr32.exe " + switches + L" \"" + beside_program(L"mrlib.dll") + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &started))
        return static_cast<DWORD>(-1);
    const unique_handle process(started.hProcess), thread(started.hThread);
    DWORD code = static_cast<DWORD>(-1);
    if (WaitForSingleObject(process.get(), 60000) == WAIT_OBJECT_0) GetExitCodeProcess(process.get(), &code);
    return code;
}

// Another server's class holds mrlib.api: regsvr32 refuses and writes none of the
// library's keys; forced, it registers. The prefix is registered as before at the end.
TEST(Registration, Regsvr32LeavesTheProgIDOfAnotherServerAloneUnlessForced) {
    const std::wstring other = L"{5F1C2A7E-9B3D-4E60-8C14-2D7A9E0B6F35}";
    const auto give_to_other = [&](const wchar_t* key) {
        return RegSetKeyValueW(HKEY_CLASSES_ROOT, key, nullptr, REG_SZ, other.c_str(),
                               static_cast<DWORD>((other.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
    };
    struct registered_again {
        ~registered_again() {
            for (const wchar_t* progid : {L"mrlib.api", L"mrlib.User"}) RegDeleteTreeW(HKEY_CLASSES_ROOT, progid);
            EXPECT_EQ(0u, regsvr32_mrlib(L"/s"));
            for (const auto& c : library_classes) expect_registered(c);
        }
    } restore;
    ASSERT_EQ(0u, regsvr32_mrlib(L"/s /u"));
    ASSERT_TRUE(give_to_other(L"mrlib.api\\CLSID"));
    EXPECT_NE(0u, regsvr32_mrlib(L"/s"));
    library_module library(L"mrlib.dll");
    EXPECT_EQ(hresult_of(0x80070582), library.run("DllRegisterServer"));
    EXPECT_NE(std::u16string::npos, oa::take_error_description(S_OK).find(u"the ProgID mrlib.api names the class "
                                                                           u"{5F1C2A7E-9B3D-4E60-8C14-2D7A9E0B6F35} "
                                                                           u"of another server. To register it anyway: "
                                                                           u"regsvr32 /n /i:force "));
    for (const auto& c : library_classes) EXPECT_FALSE(key_exists(std::wstring(L"CLSID\\") + c.clsid));
    for (const wchar_t* key : {L"mrlib.User", L"mrlib.Emulator"}) EXPECT_FALSE(key_exists(key));
    EXPECT_FALSE(key_exists(std::wstring(L"TypeLib\\") + mrlib_libid));
    EXPECT_EQ(other, registry_text(L"mrlib.api\\CLSID"));

    ASSERT_EQ(0u, regsvr32_mrlib(L"/s /n /i:force"));
    for (const auto& c : library_classes) expect_registered(c);
    // Another server takes mrlib.User back: unregistering leaves it to that server.
    ASSERT_TRUE(give_to_other(L"mrlib.User\\CLSID"));
    EXPECT_EQ(0u, regsvr32_mrlib(L"/s /u /n /i:force"));
    EXPECT_EQ(other, registry_text(L"mrlib.User\\CLSID"));
    EXPECT_FALSE(key_exists(L"mrlib.api")) << "the forced registration made it the library's";
}

// A version-independent ProgID that names its class only through CurVer, as some
// installations register it: the component finds the class by following CurVer.
TEST(Registration, AProgIDIsFollowedThroughItsCurVer) {
    const std::wstring clsid = component_classes[0].clsid;
    const auto set = [](const wchar_t* key, const std::wstring& value) {
        return RegSetKeyValueW(HKEY_CLASSES_ROOT, key, nullptr, REG_SZ, value.c_str(),
                               static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
    };
    struct removed {
        ~removed() {
            for (const wchar_t* key : {L"Q2mrTest.Versioned", L"Q2mrTest.Versioned.3"}) RegDeleteTreeW(HKEY_CLASSES_ROOT, key);
        }
    } cleanup;
    ASSERT_TRUE(set(L"Q2mrTest.Versioned\\CurVer", L"Q2mrTest.Versioned.3"));
    ASSERT_TRUE(set(L"Q2mrTest.Versioned.3\\CLSID", clsid));
    CLSID found{};
    ASSERT_EQ(S_OK, OaClassFromProgID(L"Q2mrTest.Versioned", &found));
    wchar_t text[40] = {};
    StringFromGUID2(found, text, 40);
    EXPECT_EQ(clsid, text);
    EXPECT_TRUE(FAILED(OaClassFromProgID(L"Q2mrTest.Unknown", &found)));
}

}  // namespace
