// An early-bound client that knows the libraries only from the headers widl makes of their
// interfaces: every call goes through the vtable, in the order the interfaces declare.
#include <quellar2mrapi.h>
#include <mrlib_library.h>

#include "windows_test.h"

#include <string>
#include <utility>

using namespace q2mr_windows_test;

namespace {

// The client's own small owners: the libraries' C++ owners are not part of their interface.
template <class I> class ref {
public:
    ref() = default;
    ref(const ref&) = delete;
    ref& operator=(const ref&) = delete;
    ~ref() { reset(); }
    I** put() {
        reset();
        return &p_;
    }
    I* operator->() const { return p_; }
    I* get() const { return p_; }
    void reset() {
        if (I* p = std::exchange(p_, nullptr)) p->Release();
    }

private:
    I* p_ = nullptr;
};

class text {
public:
    text() = default;
    explicit text(const wchar_t* s) : b_(SysAllocString(s)) {}
    text(const text&) = delete;
    text& operator=(const text&) = delete;
    ~text() { SysFreeString(b_); }
    BSTR* put() {
        SysFreeString(std::exchange(b_, nullptr));
        return &b_;
    }
    BSTR* ref() { return &b_; }
    std::wstring str() const { return b_ ? std::wstring(b_, SysStringLen(b_)) : std::wstring(); }

private:
    BSTR b_ = nullptr;
};

class EarlyBound : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(S_OK, CoCreateInstance(CLSID_Emulator, nullptr, CLSCTX_INPROC_SERVER, IID_IEmulator,
                                         reinterpret_cast<void**>(emulator.put())));
        text fixture(windows_path(Q2MR_FIXTURES "/standard.json").c_str());
        ASSERT_EQ(S_OK, emulator->LoadFixture(*fixture.ref()));
        ASSERT_EQ(S_OK, CoCreateInstance(CLSID_t2mrapp, nullptr, CLSCTX_INPROC_SERVER, IID__t2mrapp,
                                         reinterpret_cast<void**>(session.put())));
    }
    void TearDown() override {
        session.reset();
        text all(L"");
        LONG alive = -1;
        ASSERT_EQ(S_OK, emulator->LiveObjects(*all.ref(), &alive));
        EXPECT_EQ(0, alive) << "library objects left alive";
    }
    void connect_and_login() {
        text host(L"localhost"), protocol(L"tcp"), result;
        short port = 8400;
        ASSERT_EQ(S_OK, session->Connect(host.ref(), protocol.ref(), &port, result.put()));
        ASSERT_EQ(L"", result.str());
        text name(L"jane"), password(L"s3cret"), role(L"developer"), database(L"/db/alpha"), app(L"early");
        ASSERT_EQ(S_OK, session->Login(name.ref(), password.ref(), role.ref(), database.ref(), app.ref(),
                                       result.put()));
        ASSERT_EQ(L"", result.str());
    }

    ref<IEmulator> emulator;
    ref<_t2mrapp> session;
};

TEST_F(EarlyBound, ConnectsLogsInAndReachesTheLibraryThroughTheSession) {
    connect_and_login();
    VARIANT_BOOL good = VARIANT_FALSE;
    ASSERT_EQ(S_OK, session->get_GoodConnection(&good));
    EXPECT_EQ(VARIANT_TRUE, good);
    ref<IDispatch> held;
    ASSERT_EQ(S_OK, session->get_User(held.put()));
    ASSERT_NE(nullptr, held.get());
    ref<IUser> user;  // the emulated library's own interface behind the object
    ASSERT_EQ(S_OK, held->QueryInterface(IID_IUser, reinterpret_cast<void**>(user.put())));
    text token;
    ASSERT_EQ(S_OK, user->get_LoginToken(token.put()));
    EXPECT_FALSE(token.str().empty());

    text group(L"builders"), who(L"joe");
    VARIANT_BOOL done = VARIANT_FALSE;
    EXPECT_EQ(S_OK, session->CreateAGroup(group.ref(), &done));
    EXPECT_EQ(VARIANT_TRUE, done);
    EXPECT_EQ(S_OK, session->AddUserToGroup(who.ref(), group.ref(), &done));
    EXPECT_EQ(VARIANT_TRUE, done);

    text host;
    ASSERT_EQ(S_OK, session->VANT_GetHostname(host.put()));
    EXPECT_EQ(L"cm1.example.test", host.str());
    text cvid(L"4712"), attrs;
    ASSERT_EQ(S_OK, session->GetDynamicAttrs(cvid.ref(), attrs.put()));
    EXPECT_EQ(L"<attrs second=\"yes\"/>", attrs.str());
    text raw(L"a<b & c>"), encoded;
    ASSERT_EQ(S_OK, session->encodeXML(raw.ref(), encoded.put()));
    EXPECT_EQ(L"a&lt;b &amp; c&gt;", encoded.str());
    LONG both = 0;
    text from(L"17"), to(L"4713"), relation(L"associated_cv"), kind(L"normal"), answer;
    ASSERT_EQ(S_OK, session->CreateRelation(&both, from.ref(), to.ref(), relation.ref(), kind.ref(), answer.put()));
    EXPECT_FALSE(answer.str().empty());
}

TEST_F(EarlyBound, AFailedCallDeliversTheEmptyValueOfItsResultType) {
    connect_and_login();
    text rcp(L"4713"), empty(L"");
    VARIANT answer;  // stale contents: an out argument owns nothing on entry
    answer.vt = VT_I4;
    answer.lVal = 7;
    EXPECT_EQ(static_cast<HRESULT>(0x800A0009), session->setDynamicAttrs(rcp.ref(), empty.ref(), &answer));
    EXPECT_EQ(VT_EMPTY, answer.vt);

    wchar_t stale[] = L"stale";
    BSTR staged = stale;
    short index = 0;
    text name(L"u"), password(L"p"), role(L"r"), database(L"d");
    for (int step = 0; step < 107; ++step) {  // the bound grows by 300 per call, up to 32600
        index = static_cast<short>(501 + 300 * step);
        text result;
        ASSERT_EQ(S_OK, session->AddUserToArray(&index, name.ref(), password.ref(), role.ref(), database.ref(),
                                                result.put()));
    }
    index = 32700;
    EXPECT_EQ(static_cast<HRESULT>(0x800A0006),
              session->AddUserToArray(&index, name.ref(), password.ref(), role.ref(), database.ref(), &staged));
    EXPECT_EQ(nullptr, staged);
}

TEST_F(EarlyBound, TheValueRecordAndTheDualInterfacesDispatchAgree) {
    ref<_t2DataClass> value;
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_t2DataClass, nullptr, CLSCTX_INPROC_SERVER, IID__t2DataClass,
                                     reinterpret_cast<void**>(value.put())));
    text words(L"words"), tag;
    ASSERT_EQ(S_OK, value->put_StringValue(words.ref()));
    ASSERT_EQ(S_OK, value->get_ValueType(tag.put()));
    EXPECT_EQ(L"String", tag.str());
    short size = -3;
    ASSERT_EQ(S_OK, value->put_StringValueSize(&size));
    ASSERT_EQ(S_OK, value->get_ValueType(tag.put()));
    EXPECT_EQ(L"Integer", tag.str());

    wchar_t connect[] = L"CONNECT";
    LPOLESTR names[] = {connect};
    DISPID id = 0;
    ASSERT_EQ(S_OK, session->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id));
    EXPECT_EQ(0x60030007, id);
}

}  // namespace
