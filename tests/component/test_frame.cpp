// The shared library as a client sees it: registration into a registry of the test's
// own, creation by ProgID, calls by name, and unloading.
#include <component/frame.h>
#include <component/interfaces.h>
#include <tests/support/late_bound.h>

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>

using namespace q2mr_test;
using quellar2mrapi::CLSID_t2DataClass;
using quellar2mrapi::CLSID_t2mrapp;

namespace {

class LibraryFrame : public ::testing::Test {
protected:
    void SetUp() override {
        registry = ::testing::TempDir() + "q2mr_frame_registry_" +
                   ::testing::UnitTest::GetInstance()->current_test_info()->name();
        std::remove(registry.c_str());
        ASSERT_EQ(S_OK, OaSetRegistryPath(registry.c_str()));
        library = dlopen(Q2MR_COMPONENT_LIBRARY, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(nullptr, library) << dlerror();
    }
    void TearDown() override {
        if (library) dlclose(library);
        OaSetRegistryPath(nullptr);
        std::remove(registry.c_str());
    }
    template <class F> F* symbol(const char* name) { return reinterpret_cast<F*>(dlsym(library, name)); }
    HRESULT register_server() { return symbol<HRESULT()>("DllRegisterServer")(); }
    HRESULT can_unload() { return symbol<HRESULT()>("DllCanUnloadNow")(); }

    oa::com_ptr<IDispatch> create(const char16_t* progid) {
        CLSID clsid{};
        EXPECT_EQ(S_OK, CLSIDFromProgID(progid, &clsid));
        oa::com_ptr<IDispatch> object;
        EXPECT_EQ(S_OK, CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, object.put_void()));
        return object;
    }

    std::string registry;
    void* library = nullptr;
};

TEST_F(LibraryFrame, RegistersBothClassesUnderTheirProgIDsAndUnregistersThem) {
    CLSID clsid{};
    EXPECT_EQ(CO_E_CLASSSTRING, CLSIDFromProgID(u"quellar2mrapi.t2mrapp", &clsid));
    ASSERT_EQ(S_OK, register_server());
    ASSERT_EQ(S_OK, CLSIDFromProgID(u"quellar2mrapi.t2mrapp", &clsid));
    EXPECT_EQ(CLSID_t2mrapp, clsid);
    ASSERT_EQ(S_OK, CLSIDFromProgID(u"quellar2mrapi.t2DataClass", &clsid));
    EXPECT_EQ(CLSID_t2DataClass, clsid);
    std::ifstream in(registry);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(std::string::npos, text.find("Apartment"));

    ASSERT_EQ(S_OK, symbol<HRESULT()>("DllUnregisterServer")());
    EXPECT_EQ(CO_E_CLASSSTRING, CLSIDFromProgID(u"quellar2mrapi.t2mrapp", &clsid));
    oa::com_ptr<IUnknown> object;
    EXPECT_EQ(REGDB_E_CLASSNOTREG,
              CoCreateInstance(CLSID_t2mrapp, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, object.put_void()));
    EXPECT_FALSE(object);
}

TEST_F(LibraryFrame, CreatesByProgIdCallsByNameAndCanUnloadOnceAllIsReleased) {
    ASSERT_EQ(S_OK, register_server());
    {
        auto value = create(u"quellar2mrapi.t2DataClass");
        auto session = create(u"quellar2mrapi.t2mrapp");
        ASSERT_TRUE(value && session);
        EXPECT_EQ(S_FALSE, can_unload());

        ASSERT_EQ(S_OK, put_property(value.get(), u"stringvalue", var(u"hello")).hr);
        EXPECT_EQ(u"String", get_property(value.get(), u"ValueType").result.str());
        EXPECT_EQ(u"hello", get_property(value.get(), u"StringValue").result.str());

        auto connected = get_property(session.get(), u"GoodConnection");
        ASSERT_EQ(S_OK, connected.hr);
        EXPECT_EQ(VT_BOOL, connected.result.vt);
        EXPECT_EQ(VARIANT_FALSE, connected.result.boolVal);
        auto api = get_property(session.get(), u"api");
        ASSERT_EQ(S_OK, api.hr);
        EXPECT_EQ(VT_DISPATCH, api.result.vt);
        EXPECT_EQ(nullptr, api.result.pdispVal);
    }
    EXPECT_EQ(S_OK, can_unload());
    EXPECT_EQ(S_OK, OaClassLibraryCanUnloadNow(CLSID_t2mrapp));
}

TEST_F(LibraryFrame, AClassFactoryLockKeepsTheLibraryLoaded) {
    oa::com_ptr<IClassFactory> factory;
    ASSERT_EQ(S_OK, symbol<HRESULT(REFCLSID, REFIID, void**)>("DllGetClassObject")(CLSID_t2mrapp, IID_IClassFactory,
                                                                                  factory.put_void()));
    factory->LockServer(TRUE);
    oa::com_ptr<IUnknown> object;
    EXPECT_EQ(CLASS_E_NOAGGREGATION, factory->CreateInstance(factory.get(), IID_IUnknown, object.put_void()));
    EXPECT_EQ(E_NOINTERFACE, factory->CreateInstance(nullptr, IID_IClassFactory, object.put_void()));
    EXPECT_FALSE(object);
    factory = nullptr;
    EXPECT_EQ(S_FALSE, can_unload());
    oa::com_ptr<IClassFactory> again;
    symbol<HRESULT(REFCLSID, REFIID, void**)>("DllGetClassObject")(CLSID_t2mrapp, IID_IClassFactory, again.put_void());
    again->LockServer(FALSE);
    again = nullptr;
    EXPECT_EQ(S_OK, can_unload());

    oa::com_ptr<IUnknown> none;
    EXPECT_EQ(CLASS_E_CLASSNOTAVAILABLE,
              symbol<HRESULT(REFCLSID, REFIID, void**)>("DllGetClassObject")(GUID_NULL, IID_IClassFactory,
                                                                            none.put_void()));
}

TEST_F(LibraryFrame, ReportsItsVersionAndThatItRegistersItself) {
    DLLVERSIONINFO info{sizeof(DLLVERSIONINFO), 0, 0, 0, 0};
    ASSERT_EQ(S_OK, symbol<HRESULT(DLLVERSIONINFO*)>("DllGetVersion")(&info));
    EXPECT_EQ(2u, info.dwMajorVersion);
    EXPECT_EQ(0u, info.dwMinorVersion);
    std::string resource = symbol<const char*()>("DllVersionResource")();
    EXPECT_NE(std::string::npos, resource.find("FileVersion=2.0.0.6"));
    EXPECT_NE(std::string::npos, resource.find("ProductVersion=2.0.0.6"));
    EXPECT_NE(std::string::npos, resource.find("OLESelfRegister"));
}

}  // namespace
