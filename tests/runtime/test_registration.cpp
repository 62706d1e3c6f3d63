// A library's one registration description in the forms beside self-registration: the
// rows (which the Windows registration writes and the installer copies), the installer's
// elements and the manifest entries.
#include <oa/registration.h>

#include <gtest/gtest.h>

#include <algorithm>

namespace {

constexpr CLSID kClass{0x11111111, 0x2222, 0x3333, {0x44, 0x44, 0x55, 0x55, 0x55, 0x55, 0x55, 0x55}};
constexpr GUID kLibrary{0xAAAAAAAA, 0xBBBB, 0xCCCC, {0xDD, 0xDD, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEF}};
constexpr IID kInterface{0x0000ABCD, 0x0001, 0x0002, {0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0A}};
const oa::reg::coclass_entry kClasses[] = {{kClass, "a [test] class & more", "Lib.Class.1", "Lib.Class"}};
const oa::reg::interface_entry kInterfaces[] = {{kInterface, "ITest"}};
const oa::reg::library kLib{"lib.dll", kClasses, kInterfaces, &kLibrary, 7, 0, 0x409, "Lib"};

bool has(const std::vector<oa::reg::row>& rows, const oa::reg::row& r) {
    return std::find(rows.begin(), rows.end(), r) != rows.end();
}

TEST(RegistrationDescription, RowsFollowFromTheDescription) {
    const auto rows = oa::reg::rows(kLib, "C:\\lib\\lib.dll");
    const std::string clsid = "CLSID\\{11111111-2222-3333-4444-555555555555}";
    const std::string typelib = "TypeLib\\{AAAAAAAA-BBBB-CCCC-DDDD-EEEEEEEEEEEF}\\7.0";
    const std::string iface = "Interface\\{0000ABCD-0001-0002-0304-05060708090A}";
    const oa::reg::row expected[] = {
        {clsid + "\\InprocServer32", "", "C:\\lib\\lib.dll"},
        {clsid + "\\InprocServer32", "ThreadingModel", "Apartment"},
        {clsid + "\\VersionIndependentProgID", "", "Lib.Class"},
        {"Lib.Class\\CurVer", "", "Lib.Class.1"},
        {"Lib.Class.1\\CLSID", "", "{11111111-2222-3333-4444-555555555555}"},
        {typelib + "\\409\\win64", "", "C:\\lib\\lib.dll"},
        {typelib + "\\0\\win64", "", "C:\\lib\\lib.dll"},
        {iface + "\\ProxyStubClsid32", "", "{00020424-0000-0000-C000-000000000046}"},
        {iface + "\\TypeLib", "Version", "7.0"},
    };
    for (const auto& r : expected) EXPECT_TRUE(has(rows, r)) << r.key << " " << r.name << "=" << r.value;
}

// 32-bit and 64-bit programs get the same rows but for the type library's platform keys.
TEST(RegistrationDescription, EachBitnessHasTheSameRowsButTheTypeLibrarysPlatform) {
    using oa::reg::bitness;
    const auto x64 = oa::reg::rows(kLib, "C:\\lib\\lib.dll", bitness::x64);
    const auto x86 = oa::reg::rows(kLib, "C:\\lib\\lib.dll", bitness::x86);
    EXPECT_EQ(x64, oa::reg::rows(kLib, "C:\\lib\\lib.dll"));  // this build's programs are 64-bit
    ASSERT_EQ(x64.size(), x86.size());
    int platform_keys = 0;
    for (std::size_t i = 0; i < x64.size(); ++i) {
        oa::reg::row expected = x64[i];
        if (expected.key.ends_with("\\win64")) {
            expected.key.replace(expected.key.size() - 5, 5, "win32");
            ++platform_keys;
        }
        EXPECT_EQ(expected, x86[i]) << x86[i].key;
    }
    EXPECT_EQ(2, platform_keys);
    EXPECT_NE(std::string::npos, oa::reg::installer_rows(kLib, "[#lib.dll]", bitness::x86).find("\\0\\win32\" Value=\"[#lib.dll]\""));
}

TEST(RegistrationDescription, InstallerRowsAndManifestEscapeTheirTexts) {
    const std::string installer = oa::reg::installer_rows(kLib, "[#lib.dll]");
    EXPECT_NE(std::string::npos, installer.find("Value=\"[#lib.dll]\""));
    EXPECT_NE(std::string::npos, installer.find("Value=\"a [\\[]test[\\]] class &amp; more\""));
    EXPECT_EQ(oa::reg::rows(kLib, "x").size(), static_cast<std::size_t>(std::count(installer.begin(), installer.end(), '\n')));
    const std::string manifest = oa::reg::manifest_entries(kLib);
    EXPECT_NE(std::string::npos, manifest.find("progid=\"Lib.Class.1\""));
    EXPECT_NE(std::string::npos, manifest.find("<progid>Lib.Class</progid>"));
    EXPECT_NE(std::string::npos, manifest.find("description=\"a [test] class &amp; more\""));
    EXPECT_NE(std::string::npos, manifest.find("<comInterfaceExternalProxyStub iid=\"{0000ABCD-0001-0002-0304-05060708090A}\""));
}

}  // namespace
