// GUID text, the registry file, class objects and creation through shared libraries.
#include "oleauto.h"
#include "test_objects.h"
#include "testlib_ids.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <dlfcn.h>

namespace fs = std::filesystem;
using rt_test::CLSID_TestCounter;
using rt_test::TestObject;

namespace {

constexpr CLSID kClassA{0x11111111, 0x2222, 0x3333, {0x44, 0x44, 0x55, 0x55, 0x55, 0x55, 0x55, 0x55}};
constexpr CLSID kClassB{0xA0B0C0D0, 0xE0F0, 0x0102, {0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0A}};

std::string real(const std::string& p) {
    char buf[PATH_MAX];
    return ::realpath(p.c_str(), buf) ? std::string(buf) : p;
}

std::string slurp(const fs::path& p) {
    std::ifstream in(p);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

std::vector<std::string> lines_starting(const fs::path& p, const std::string& prefix) {
    std::vector<std::string> out;
    std::ifstream in(p);
    for (std::string line; std::getline(in, line);)
        if (line.rfind(prefix, 0) == 0) out.push_back(line);
    return out;
}

bool library_loaded(const std::string& path) {
    void* h = ::dlopen(real(path).c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (h) ::dlclose(h);
    return h != nullptr;
}

// A temporary registry for one test; the user's is never touched.
class TempRegistry : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/oleauto-reg-XXXXXX";
        ASSERT_NE(::mkdtemp(tmpl), nullptr);
        dir = tmpl;
        file = dir / "nested" / "folder" / "registry";
        ASSERT_EQ(OaSetRegistryPath(file.c_str()), S_OK);
    }
    void TearDown() override {
        OaSetRegistryPath(nullptr);
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
    fs::path dir, file;
};

// ---- GUIDs ---------------------------------------------------------------------------

TEST(Guids, TextRoundTrip) {
    OLECHAR buf[39];
    ASSERT_EQ(StringFromGUID2(kClassB, buf, 39), 39);
    EXPECT_EQ(std::u16string(buf), u"{A0B0C0D0-E0F0-0102-0304-05060708090A}");
    EXPECT_EQ(StringFromGUID2(kClassB, buf, 38), 0);
    CLSID back{};
    ASSERT_EQ(CLSIDFromString(u"{a0b0c0d0-e0f0-0102-0304-05060708090a}", &back), S_OK);
    EXPECT_EQ(back, kClassB);
}

TEST(Guids, MalformedTextIsRejected) {
    for (const char16_t* bad : {u"{A0B0C0D0-E0F0-0102-0304-05060708090}", u"{A0B0C0D0-E0F0-0102-0304-05060708090AB}",
                                u"{A0B0C0D0+E0F0-0102-0304-05060708090A}", u"{G0B0C0D0-E0F0-0102-0304-05060708090A}",
                                u"{A0B0C0D0-E0F0-0102-0304-05060708090A"}) {
        CLSID g = kClassA;
        EXPECT_EQ(CLSIDFromString(bad, &g), CO_E_CLASSSTRING);
    }
}

// ---- Registry ------------------------------------------------------------------------

TEST(RegistryPath, DefaultPlaceFollowsEnvironmentAndHome) {
    const std::string saved_env = std::getenv("OLEAUTO_REGISTRY") ? std::getenv("OLEAUTO_REGISTRY") : "";
    const std::string saved_home = std::getenv("HOME") ? std::getenv("HOME") : "";
    OaSetRegistryPath(nullptr);
    ::setenv("OLEAUTO_REGISTRY", "/tmp/somewhere/reg", 1);
    EXPECT_STREQ(OaGetRegistryPath(), "/tmp/somewhere/reg");
    ::unsetenv("OLEAUTO_REGISTRY");
    ::setenv("HOME", "/tmp/fakehome", 1);
    EXPECT_STREQ(OaGetRegistryPath(), "/tmp/fakehome/.config/oleauto/registry");
    OaSetRegistryPath("/tmp/override");
    EXPECT_STREQ(OaGetRegistryPath(), "/tmp/override");
    OaSetRegistryPath(nullptr);
    EXPECT_STREQ(OaGetRegistryPath(), "/tmp/fakehome/.config/oleauto/registry");
    ::setenv("HOME", saved_home.c_str(), 1);
    ::setenv("OLEAUTO_REGISTRY", saved_env.c_str(), 1);
}

TEST_F(TempRegistry, RegisteringWritesOneLinePerEntryAndReplaces) {
    ASSERT_EQ(OaRegisterClass(kClassA, "OaTest.A.1", "OaTest.A", "/opt/lib/liba.so", "Apartment"), S_OK);
    ASSERT_TRUE(fs::exists(file));
    auto classes = lines_starting(file, "class\t");
    ASSERT_EQ(classes.size(), 1u);
    EXPECT_EQ(classes[0], "class\t{11111111-2222-3333-4444-555555555555}\tOaTest.A.1\tOaTest.A\tApartment\t/opt/lib/liba.so");

    ASSERT_EQ(OaRegisterClass(kClassA, "OaTest.A.2", "OaTest.A", "/opt/lib/liba2.so", nullptr), S_OK);
    ASSERT_EQ(OaRegisterClass(kClassB, "OaTest.B.1", "", "/opt/lib/libb.so", "Apartment"), S_OK);
    ASSERT_EQ(OaRegisterTypeLib(kClassB, 7, 0, 0x409, "quellar2mrapi", "/opt/lib/libb.so"), S_OK);
    ASSERT_EQ(OaRegisterTypeLib(kClassB, 7, 0, 0x409, "quellar2mrapi", "/opt/lib/libb2.so"), S_OK);
    classes = lines_starting(file, "class\t");
    ASSERT_EQ(classes.size(), 2u);
    EXPECT_NE(slurp(file).find("\tOaTest.A.2\tOaTest.A\tApartment\t/opt/lib/liba2.so\n"), std::string::npos);
    auto libs = lines_starting(file, "typelib\t");
    ASSERT_EQ(libs.size(), 1u);
    EXPECT_EQ(libs[0], "typelib\t{A0B0C0D0-E0F0-0102-0304-05060708090A}\t7.0\t409\tquellar2mrapi\t/opt/lib/libb2.so");

    ASSERT_EQ(OaUnregisterClass(kClassA), S_OK);
    EXPECT_EQ(lines_starting(file, "class\t").size(), 1u);
    ASSERT_EQ(OaUnregisterTypeLib(kClassB, 7, 0), S_OK);
    EXPECT_TRUE(lines_starting(file, "typelib\t").empty());
    EXPECT_EQ(OaUnregisterClass(kClassA), S_OK);  // already gone

    for (const auto& entry : fs::directory_iterator(file.parent_path()))  // no temporary files left
        EXPECT_TRUE(entry.path() == file || entry.path().extension() == ".lock") << entry.path();
}

TEST_F(TempRegistry, RelativeLibraryPathsAreStoredAbsolute) {
    ASSERT_EQ(OaRegisterClass(kClassA, "OaTest.A.1", "OaTest.A", "lib/liba.so", nullptr), S_OK);
    auto classes = lines_starting(file, "class\t");
    ASSERT_EQ(classes.size(), 1u);
    EXPECT_EQ(classes[0].substr(classes[0].rfind('\t') + 1), (fs::current_path() / "lib/liba.so").string());
    EXPECT_NE(classes[0].find("\tApartment\t"), std::string::npos);  // the default threading model
}

TEST_F(TempRegistry, BadFieldsAreRefused) {
    EXPECT_EQ(OaRegisterClass(kClassA, "Oa\tTest", "OaTest", "/x.so", nullptr), E_INVALIDARG);
    EXPECT_EQ(OaRegisterClass(kClassA, "OaTest.1", "OaTest", "", nullptr), E_INVALIDARG);
    EXPECT_EQ(OaRegisterClass(kClassA, "OaTest.1", "OaTest", nullptr, nullptr), E_INVALIDARG);
    EXPECT_EQ(OaRegisterTypeLib(kClassA, 1, 0, 0, "a\nb", "/x.so"), E_INVALIDARG);
    EXPECT_FALSE(fs::exists(file));
}

TEST_F(TempRegistry, ProgIDLookup) {
    ASSERT_EQ(OaRegisterClass(kClassA, "OaTest.A.1", "OaTest.A", "/opt/liba.so", nullptr), S_OK);
    CLSID got{};
    ASSERT_EQ(CLSIDFromProgID(u"OaTest.A", &got), S_OK);
    EXPECT_EQ(got, kClassA);
    got = {};
    ASSERT_EQ(CLSIDFromProgID(u"oatest.a.1", &got), S_OK);
    EXPECT_EQ(got, kClassA);
    got = {};
    ASSERT_EQ(CLSIDFromString(u"OaTest.A", &got), S_OK);  // a ProgID is accepted too
    EXPECT_EQ(got, kClassA);
    EXPECT_EQ(CLSIDFromProgID(u"OaTest.Nothing", &got), CO_E_CLASSSTRING);
    EXPECT_EQ(got, GUID_NULL);

    LPOLESTR progid = nullptr;
    ASSERT_EQ(ProgIDFromCLSID(kClassA, &progid), S_OK);
    EXPECT_EQ(std::u16string(progid), u"OaTest.A.1");
    CoTaskMemFree(progid);
    EXPECT_EQ(ProgIDFromCLSID(kClassB, &progid), REGDB_E_CLASSNOTREG);
    EXPECT_EQ(progid, nullptr);
}

TEST_F(TempRegistry, ChangesToTheFileAreSeen) {
    ASSERT_EQ(OaRegisterClass(kClassA, "OaTest.A.1", "OaTest.A", "/opt/liba.so", nullptr), S_OK);
    CLSID got{};
    ASSERT_EQ(CLSIDFromProgID(u"OaTest.A", &got), S_OK);
    {
        std::ofstream out(file, std::ios::app);  // another process adds an entry
        out << "class\t{A0B0C0D0-E0F0-0102-0304-05060708090A}\tOaTest.B.1\tOaTest.B\tApartment\t/opt/libb.so\n";
    }
    ASSERT_EQ(CLSIDFromProgID(u"OaTest.B", &got), S_OK);
    EXPECT_EQ(got, kClassB);
    fs::remove(file);
    EXPECT_EQ(CLSIDFromProgID(u"OaTest.A", &got), CO_E_CLASSSTRING);
}

// ---- Creation ------------------------------------------------------------------------

class TestFactory final : public IClassFactory {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (riid == IID_IUnknown || riid == IID_IClassFactory) {
            *ppv = this;
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs; }  // lives on the test's stack
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
        *ppv = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        auto* obj = new TestObject;
        const HRESULT hr = obj->QueryInterface(riid, ppv);
        obj->Release();
        return hr;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
    std::atomic<ULONG> refs{1};
};

TEST_F(TempRegistry, InProcessClassesComeFirst) {
    // The registry names a library that does not exist; the in-process class wins.
    ASSERT_EQ(OaRegisterClass(kClassA, "OaTest.A.1", "OaTest.A", "/nonexistent/liba.so", nullptr), S_OK);
    TestFactory factory;
    DWORD cookie = 0;
    ASSERT_EQ(CoRegisterClassObject(kClassA, &factory, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &cookie), S_OK);
    EXPECT_EQ(factory.refs, 2u);

    IDispatch* obj = nullptr;
    ASSERT_EQ(CoCreateInstance(kClassA, nullptr, CLSCTX_ALL, IID_IDispatch, reinterpret_cast<void**>(&obj)), S_OK);
    ASSERT_NE(obj, nullptr);
    obj->Release();
    EXPECT_EQ(factory.refs, 2u);  // the runtime dropped its temporary reference
    EXPECT_EQ(OaClassLibraryCanUnloadNow(kClassA), S_OK);  // its registered library is not loaded

    void* p = reinterpret_cast<void*>(0x1);
    auto* outer = new TestObject;
    EXPECT_EQ(CoCreateInstance(kClassA, outer, CLSCTX_ALL, IID_IDispatch, &p), CLASS_E_NOAGGREGATION);
    EXPECT_EQ(p, nullptr);
    outer->Release();

    ASSERT_EQ(CoRevokeClassObject(cookie), S_OK);
    EXPECT_EQ(factory.refs, 1u);
    EXPECT_EQ(CoRevokeClassObject(cookie), E_INVALIDARG);
    p = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(CoCreateInstance(kClassA, nullptr, CLSCTX_ALL, IID_IDispatch, &p), CO_E_DLLNOTFOUND);
    EXPECT_EQ(p, nullptr);
}

TEST_F(TempRegistry, SingleUseRegistrationServesTheWholeProcess) {
    TestFactory factory;
    DWORD cookie = 0;
    ASSERT_EQ(CoRegisterClassObject(kClassB, &factory, CLSCTX_INPROC_SERVER, REGCLS_SINGLEUSE, &cookie), S_OK);
    EXPECT_EQ(OaClassLibraryCanUnloadNow(kClassB), S_FALSE);  // lives in the program
    IUnknown* obj = nullptr;
    ASSERT_EQ(CoCreateInstance(kClassB, nullptr, CLSCTX_ALL, IID_IUnknown, reinterpret_cast<void**>(&obj)), S_OK);
    obj->Release();
    ASSERT_EQ(CoCreateInstance(kClassB, nullptr, CLSCTX_ALL, IID_IUnknown, reinterpret_cast<void**>(&obj)), S_OK);
    obj->Release();
    EXPECT_EQ(CoRevokeClassObject(cookie), S_OK);
}

TEST_F(TempRegistry, UnknownClassesAreNotRegistered) {
    void* p = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(CoCreateInstance(kClassB, nullptr, CLSCTX_ALL, IID_IUnknown, &p), REGDB_E_CLASSNOTREG);
    EXPECT_EQ(p, nullptr);
    p = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(CoGetClassObject(kClassB, CLSCTX_ALL, nullptr, IID_IClassFactory, &p), REGDB_E_CLASSNOTREG);
    EXPECT_EQ(p, nullptr);
    EXPECT_EQ(OaClassLibraryCanUnloadNow(kClassB), REGDB_E_CLASSNOTREG);
}

class LibraryCreation : public TempRegistry {
protected:
    void SetUp() override {
        TempRegistry::SetUp();
        ASSERT_FALSE(library_loaded(RUNTIME_TESTLIB_PATH));
        ASSERT_EQ(OaRegisterClass(CLSID_TestCounter, rt_test::kTestProgID, rt_test::kTestVIProgID, RUNTIME_TESTLIB_PATH,
                                  "Apartment"),
                  S_OK);
    }
};

TEST_F(LibraryCreation, CreatesByProgIDAndUnloadsOnlyWhenTheLibraryAgrees) {
    CLSID clsid{};
    ASSERT_EQ(CLSIDFromProgID(u"OaTest.Counter", &clsid), S_OK);
    EXPECT_EQ(OaClassLibraryCanUnloadNow(clsid), S_OK);  // not loaded yet
    IDispatch* obj = nullptr;
    ASSERT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, reinterpret_cast<void**>(&obj)),
              S_OK);
    ASSERT_NE(obj, nullptr);
    EXPECT_TRUE(library_loaded(RUNTIME_TESTLIB_PATH));

    VARIANT src, value;
    VariantInit(&src);
    VariantInit(&value);
    src.vt = VT_DISPATCH;
    src.pdispVal = obj;
    ASSERT_EQ(VariantChangeType(&value, &src, 0, VT_I4), S_OK);
    EXPECT_EQ(value.lVal, rt_test::kTestDefaultValue);

    EXPECT_EQ(OaClassLibraryCanUnloadNow(clsid), S_FALSE);
    CoFreeUnusedLibraries();
    EXPECT_TRUE(library_loaded(RUNTIME_TESTLIB_PATH));  // an object is alive
    obj->Release();
    EXPECT_EQ(OaClassLibraryCanUnloadNow(clsid), S_OK);
    CoFreeUnusedLibraries();
    EXPECT_FALSE(library_loaded(RUNTIME_TESTLIB_PATH));
}

TEST_F(LibraryCreation, ServerLocksKeepTheLibrary) {
    IClassFactory* factory = nullptr;
    ASSERT_EQ(CoGetClassObject(CLSID_TestCounter, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                               reinterpret_cast<void**>(&factory)),
              S_OK);
    void* p = reinterpret_cast<void*>(0x1);
    auto* outer = new TestObject;
    EXPECT_EQ(CoCreateInstance(CLSID_TestCounter, outer, CLSCTX_ALL, IID_IUnknown, &p), CLASS_E_NOAGGREGATION);
    EXPECT_EQ(p, nullptr);
    outer->Release();
    factory->LockServer(TRUE);
    factory->Release();
    EXPECT_EQ(OaClassLibraryCanUnloadNow(CLSID_TestCounter), S_FALSE);
    CoFreeUnusedLibraries();
    ASSERT_TRUE(library_loaded(RUNTIME_TESTLIB_PATH));
    // The library is still loaded: reach its factory again to drop the lock.
    ASSERT_EQ(CoGetClassObject(CLSID_TestCounter, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                               reinterpret_cast<void**>(&factory)),
              S_OK);
    factory->LockServer(FALSE);
    factory->Release();
    CoFreeUnusedLibraries();
    EXPECT_FALSE(library_loaded(RUNTIME_TESTLIB_PATH));
}

TEST_F(LibraryCreation, LastUninitializeFreesUnusedLibraries) {
    ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
    IUnknown* obj = nullptr;
    ASSERT_EQ(CoCreateInstance(CLSID_TestCounter, nullptr, CLSCTX_ALL, IID_IUnknown, reinterpret_cast<void**>(&obj)),
              S_OK);
    obj->Release();
    EXPECT_TRUE(library_loaded(RUNTIME_TESTLIB_PATH));
    CoUninitialize();
    EXPECT_FALSE(library_loaded(RUNTIME_TESTLIB_PATH));
}

TEST_F(LibraryCreation, ClassesTheLibraryDoesNotServe) {
    // Registered against the test library, which does not know this class.
    ASSERT_EQ(OaRegisterClass(kClassA, "OaTest.A.1", "", RUNTIME_TESTLIB_PATH, nullptr), S_OK);
    void* p = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(CoCreateInstance(kClassA, nullptr, CLSCTX_ALL, IID_IUnknown, &p), CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(p, nullptr);
    CoFreeUnusedLibraries();
    EXPECT_FALSE(library_loaded(RUNTIME_TESTLIB_PATH));
}

// ---- Self-registration through regsvr ---------------------------------------------------

int run(const std::string& command) {
    const int status = std::system((command + " >/dev/null 2>&1").c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST_F(TempRegistry, RegsvrRunsTheLibrarysSelfRegistration) {
    const std::string env = "OLEAUTO_REGISTRY='" + file.string() + "' ";
    ASSERT_EQ(run(env + "'" + REGSVR_PATH + "' '" + RUNTIME_TESTLIB_PATH + "'"), 0);
    CLSID clsid{};
    ASSERT_EQ(CLSIDFromProgID(u"OaTest.Counter.1", &clsid), S_OK);
    EXPECT_EQ(clsid, CLSID_TestCounter);
    auto classes = lines_starting(file, "class\t");
    ASSERT_EQ(classes.size(), 1u);
    EXPECT_EQ(classes[0].substr(classes[0].rfind('\t') + 1), real(RUNTIME_TESTLIB_PATH));

    ASSERT_EQ(run(env + "'" + REGSVR_PATH + "' -u '" + RUNTIME_TESTLIB_PATH + "'"), 0);
    EXPECT_EQ(CLSIDFromProgID(u"OaTest.Counter.1", &clsid), CO_E_CLASSSTRING);

    EXPECT_NE(run(env + "'" + REGSVR_PATH + "' /nonexistent/lib.so"), 0);
    EXPECT_NE(run(env + "'" + REGSVR_PATH + "' '" + OLEAUTO_LIB_PATH + "'"), 0);  // exports no DllRegisterServer
    EXPECT_NE(run(env + "'" + REGSVR_PATH + "' --force '" + RUNTIME_TESTLIB_PATH + "'"), 0);  // exports no DllInstall
    EXPECT_EQ(CLSIDFromProgID(u"OaTest.Counter.1", &clsid), CO_E_CLASSSTRING);
    EXPECT_NE(run(env + "'" + REGSVR_PATH + "'"), 0);
}

// ---- Module paths ------------------------------------------------------------------------

void local_function() {}

TEST(ModulePath, NamesTheFileHoldingAnAddress) {
    const char* lib = OaModulePathOf(reinterpret_cast<const void*>(&SysAllocString));
    ASSERT_NE(lib, nullptr);
    EXPECT_EQ(std::string(lib), real(OLEAUTO_LIB_PATH));
    const char* exe = OaModulePathOf(reinterpret_cast<const void*>(&local_function));
    ASSERT_NE(exe, nullptr);
    EXPECT_EQ(std::string(exe), real("/proc/self/exe"));
    EXPECT_EQ(OaModulePathOf(nullptr), nullptr);
}

}  // namespace
