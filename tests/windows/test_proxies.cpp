// A multithreaded client of the component: its objects live in a single-threaded
// apartment, so every call from these threads goes through the standard proxies, which
// the type-library marshaler builds from the registered interface keys.
#include <initguid.h>  // the interface ids of the header below are defined here
#include <quellar2mrapi.h>

#include <gtest/gtest.h>
#include <oa/com_ptr.h>
#include <oa/text.h>
#include <oa/unique.h>

#include <string>
#include <thread>
#include <vector>

namespace {

class MultithreadedApartment : public ::testing::Environment {
public:
    void SetUp() override { ASSERT_EQ(S_OK, CoInitializeEx(nullptr, COINIT_MULTITHREADED)); }
    void TearDown() override { CoUninitialize(); }
};
::testing::Environment* const apartment = ::testing::AddGlobalTestEnvironment(new MultithreadedApartment);

std::u16string encoded_through(_t2mrapp* session, std::u16string_view raw) {
    oa::unique_bstr in = oa::make_bstr(raw), out;
    if (FAILED(session->encodeXML(in.addressof(), out.put()))) return u"failed";
    return std::u16string(oa::view(out.get()));
}

TEST(Proxies, ThreadsOfTheMultithreadedApartmentCallTheSessionThroughItsDualInterface) {
    CLSID clsid{};
    ASSERT_EQ(S_OK, CLSIDFromProgID(L"quellar2mrapi.t2mrapp", &clsid));
    oa::com_ptr<_t2mrapp> session;
    ASSERT_EQ(S_OK, CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID__t2mrapp, session.put_void()));
    oa::com_ptr<IClientSecurity> proxy;
    EXPECT_EQ(S_OK, session->QueryInterface(IID_IClientSecurity, proxy.put_void())) << "not a proxy";

    std::vector<std::u16string> results(4);
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < results.size(); ++i)
        threads.emplace_back([&, i] {
            for (int call = 0; call < 25; ++call) results[i] = encoded_through(session.get(), u"a<b & c>");
        });
    for (std::thread& t : threads) t.join();
    for (const std::u16string& r : results) EXPECT_EQ(u"a&lt;b &amp; c&gt;", r);

    VARIANT_BOOL connected = VARIANT_TRUE;
    EXPECT_EQ(S_OK, session->get_GoodConnection(&connected));
    EXPECT_EQ(VARIANT_FALSE, connected);
}

}  // namespace
