// The dispatcher over a description: names, ids, coercion, by-reference write-back,
// the standard failure codes, and the apartment rule.
#include <component/interfaces.h>
#include <oa/dispatch.h>
#include <value/t2DataClass.h>
#include <tests/support/late_bound.h>

#include <gtest/gtest.h>

#include <thread>

using namespace q2mr_test;

namespace {

struct ITester : IDispatch {
    virtual HRESULT STDMETHODCALLTYPE Echo(BSTR* text, SHORT* number, BSTR* result) = 0;
    virtual HRESULT STDMETHODCALLTYPE Bump(SHORT* number, BSTR* text, VARIANT_BOOL* result) = 0;
    virtual HRESULT STDMETHODCALLTYPE Fail(LONG* number) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Count(LONG* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_Count(LONG* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_Peer(ITester** value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Peer(ITester** value) = 0;
    virtual HRESULT STDMETHODCALLTYPE Pair(VARIANT* first, VARIANT* second, BSTR* result) = 0;
    virtual HRESULT STDMETHODCALLTYPE Gather(BSTR* separator, SAFEARRAY** rest, BSTR* result) = 0;
};

}  // namespace

OLEAUTO_DECLARE_IID(ITester, 0xBFACE9FE, 0xFA1D, 0x40DB, 0xB3, 0xE2, 0xFE, 0xA8, 0xCA, 0x1C, 0x83, 0x6B);

namespace {

class tester final : public oa::disp::dispatch_object<tester, ITester> {
public:
    static constexpr std::u16string_view class_name = u"tester";
    static const oa::disp::interface_desc& description() {
        using namespace oa::disp;
        static const interface_desc desc{u"ITester",
                                         iid_of<ITester>(),
                                         TYPEFLAG_FDUAL,
                                         {
                                             method<&ITester::Echo>(1, u"Echo", u"String text, Integer number", u"String"),
                                             method<&ITester::Bump>(2, u"Bump", u"Integer &number, String &text", u"Boolean"),
                                             sub<&ITester::Fail>(3, u"Fail", u"Long number"),
                                             get<&ITester::get_Count>(4, u"Count", u"Long"),
                                             put<&ITester::put_Count>(4, u"Count", u"Long"),
                                             put<&ITester::put_Peer>(5, u"Peer", u"Tester"),
                                             get<&ITester::get_Peer>(5, u"Peer", u"Tester"),
                                             method<&ITester::Pair>(DISPID_VALUE, u"Pair", u"Variant first, Optional Variant second", u"String"),
                                             method<&ITester::Gather>(7, u"Gather", u"String separator, ParamArray Variant() rest", u"String"),
                                             indexed_get<&ITester::get_Peer>(8, u"Chain", u"Tester"),
                                         }};
        return desc;
    }
    static const oa::disp::library_desc* library() { return nullptr; }

    HRESULT STDMETHODCALLTYPE Echo(BSTR* text, SHORT* number, BSTR* result) override {
        return call([&] {
            std::u16string out(oa::view(*text));
            out += u':';
            out += std::u16string(static_cast<std::size_t>(*number > 0 ? *number : 0), u'!');
            *result = oa::make_bstr(out).release();
        }, text, number, result);
    }
    HRESULT STDMETHODCALLTYPE Bump(SHORT* number, BSTR* text, VARIANT_BOOL* result) override {
        return call([&] {
            ++*number;
            oa::assign(text, std::u16string(oa::view(*text)) + u"+");
            *result = VARIANT_TRUE;
        }, number, text, result);
    }
    HRESULT STDMETHODCALLTYPE Fail(LONG* number) override {
        return call([&] { oa::raise_vb(*number); }, number);
    }
    HRESULT STDMETHODCALLTYPE get_Count(LONG* value) override { return call([&] { *value = count; }, value); }
    HRESULT STDMETHODCALLTYPE put_Count(LONG* value) override { return call([&] { count = *value; }, value); }
    HRESULT STDMETHODCALLTYPE put_Peer(ITester** value) override {
        return call([&] { peer = oa::make_ref(*value); }, value);
    }
    HRESULT STDMETHODCALLTYPE get_Peer(ITester** value) override { return call([&] { peer.copy_to(value); }, value); }

    // Each value as text; a left-out one as "-".
    static std::u16string text_of(const VARIANT& v) {
        if (v.vt == VT_ERROR && v.scode == DISP_E_PARAMNOTFOUND) return u"-";
        oa::unique_variant text;
        oa::check(oa::change_type(&text, &v, 0, VT_BSTR));
        return std::u16string(oa::view(text.bstrVal));
    }
    HRESULT STDMETHODCALLTYPE Pair(VARIANT* first, VARIANT* second, BSTR* result) override {
        return call([&] { *result = oa::make_bstr(text_of(*first) + u"," + text_of(*second)).release(); }, first,
                    second, result);
    }
    HRESULT STDMETHODCALLTYPE Gather(BSTR* separator, SAFEARRAY** rest, BSTR* result) override {
        return call([&] {
            std::u16string out = u"[";
            const auto* values = static_cast<const VARIANT*>((*rest)->pvData);
            for (ULONG i = 0; i < (*rest)->rgsabound[0].cElements; ++i)
                out += (i ? std::u16string(oa::view(*separator)) : u"") + text_of(values[i]);
            *result = oa::make_bstr(out + u"]").release();
        }, separator, rest, result);
    }

    LONG count = 0;
    oa::com_ptr<ITester> peer;
};

class Dispatcher : public ::testing::Test {
protected:
    oa::com_ptr<tester> object = oa::make_self<tester>();
    IDispatch* dispatch() { return object.get(); }
};

TEST_F(Dispatcher, FindsMembersByNameInAnyCaseAndRefusesUnknownNames) {
    EXPECT_EQ(1, id_of(dispatch(), u"Echo"));
    EXPECT_EQ(1, id_of(dispatch(), u"eCHO"));
    EXPECT_EQ(4, id_of(dispatch(), u"COUNT"));
    // Same length and same first and last letters, different middle.
    EXPECT_EQ(DISPID_UNKNOWN, id_of(dispatch(), u"EXHO"));
    EXPECT_EQ(DISPID_UNKNOWN, id_of(dispatch(), u"cOUXT"));
    EXPECT_EQ(DISPID_UNKNOWN, id_of(dispatch(), u""));
    std::u16string name = u"Nope", arg = u"number", bad = u"nothing";
    LPOLESTR names[] = {name.data()};
    DISPID id = 0;
    EXPECT_EQ(DISP_E_UNKNOWNNAME, dispatch()->GetIDsOfNames(IID_NULL, names, 1, 0, &id));
    EXPECT_EQ(DISPID_UNKNOWN, id);
    std::u16string echo = u"echo";
    LPOLESTR with_args[] = {echo.data(), arg.data(), bad.data()};
    DISPID ids[3];
    EXPECT_EQ(DISP_E_UNKNOWNNAME, dispatch()->GetIDsOfNames(IID_NULL, with_args, 3, 0, ids));
    EXPECT_EQ(1, ids[0]);
    EXPECT_EQ(1, ids[1]);
    EXPECT_EQ(DISPID_UNKNOWN, ids[2]);
}

TEST_F(Dispatcher, CoercesArgumentsToTheirDeclaredTypes) {
    var text(u"hi"), three(3);
    auto out = call_method(dispatch(), u"Echo", {text, three});
    ASSERT_EQ(S_OK, out.hr);
    EXPECT_EQ(VT_BSTR, out.result.vt);
    EXPECT_EQ(u"hi:!!!", out.result.str());

    var number_text(u" 2 "), forty_two(42);
    out = call_method(dispatch(), u"Echo", {forty_two, number_text});
    ASSERT_EQ(S_OK, out.hr);
    EXPECT_EQ(u"42:!!", out.result.str());
}

TEST_F(Dispatcher, ByReferenceVariablesHoldWhatTheMemberWrote) {
    by_ref number(var(41)), text(var(u"a"));
    auto out = call_method(dispatch(), u"Bump", {number, text});
    ASSERT_EQ(S_OK, out.hr);
    EXPECT_EQ(VT_I2, number.value.vt);  // written back as the declared type
    EXPECT_EQ(42, number.value.iVal);
    EXPECT_EQ(u"a+", text.value.str());
    EXPECT_EQ(VARIANT_TRUE, out.result.boolVal);

    // A variable of the declared type itself is worked on directly.
    SHORT raw = 7;
    VARIANT direct;
    direct.vt = VT_BYREF | VT_I2;
    direct.piVal = &raw;
    var plain(u"b");
    out = invoke_id(dispatch(), 2, DISPATCH_METHOD, {direct, plain});
    ASSERT_EQ(S_OK, out.hr);
    EXPECT_EQ(8, raw);
    EXPECT_EQ(u"b", plain.str()) << "a value passed by value must not change";
}

TEST_F(Dispatcher, AnswersTheStandardCodesWithTheBadArgumentsIndex) {
    var text(u"x"), word(u"abc"), big(40000);
    auto out = call_method(dispatch(), u"Echo", {text});
    EXPECT_EQ(DISP_E_BADPARAMCOUNT, out.hr);

    out = call_method(dispatch(), u"Echo", {text, word});
    EXPECT_EQ(DISP_E_TYPEMISMATCH, out.hr);
    EXPECT_EQ(0u, out.arg_err);  // the last argument sits first
    out = call_method(dispatch(), u"Echo", {text, big});
    EXPECT_EQ(DISP_E_OVERFLOW, out.hr);
    EXPECT_EQ(0u, out.arg_err);
    var nul = var::null();
    out = call_method(dispatch(), u"Echo", {nul, big});
    EXPECT_EQ(DISP_E_TYPEMISMATCH, out.hr);
    EXPECT_EQ(1u, out.arg_err);

    EXPECT_EQ(DISP_E_MEMBERNOTFOUND, invoke_id(dispatch(), 99, DISPATCH_METHOD, {}).hr);
    EXPECT_EQ(DISP_E_MEMBERNOTFOUND, invoke_id(dispatch(), 4, DISPATCH_METHOD, {}).hr);
    EXPECT_EQ(S_OK, invoke_id(dispatch(), 4, DISPATCH_METHOD | DISPATCH_PROPERTYGET, {}).hr);
    EXPECT_EQ(E_INVALIDARG, dispatch()->Invoke(4, IID_NULL, 0, DISPATCH_PROPERTYGET, nullptr, nullptr, nullptr, nullptr));

    // A put needs its value named as the put's value.
    var seven(7);
    VARIANT args[] = {seven};
    DISPPARAMS unnamed{args, nullptr, 1, 0};
    EXPECT_EQ(DISP_E_PARAMNOTFOUND, dispatch()->Invoke(4, IID_NULL, 0, DISPATCH_PROPERTYPUT, &unnamed, nullptr, nullptr, nullptr));
    EXPECT_EQ(S_OK, put_property(dispatch(), u"Count", var(7)).hr);
    EXPECT_EQ(7, object->count);

    VARIANT null_ref;
    null_ref.vt = VT_BYREF | VT_VARIANT;
    null_ref.pvarVal = nullptr;
    EXPECT_EQ(E_POINTER, invoke_id(dispatch(), 2, DISPATCH_METHOD, {null_ref, text}).hr);
}

TEST_F(Dispatcher, AMembersFailureArrivesAsAnExceptionWithNumberAndDescription) {
    var nine(9);
    auto out = call_method(dispatch(), u"Fail", {nine});
    ASSERT_EQ(DISP_E_EXCEPTION, out.hr);
    EXPECT_EQ(oa::vb_hresult(9), out.exception.scode);
    EXPECT_EQ(9, oa::failure_number(out.code()));
    EXPECT_EQ(u"Subscript out of range", out.description());
    EXPECT_EQ(u"tester", std::u16string(oa::view(out.exception.bstrSource)));

    // Without EXCEPINFO the member's own HRESULT comes back.
    VARIANT args[] = {nine};
    DISPPARAMS params{args, nullptr, 1, 0};
    EXPECT_EQ(oa::vb_hresult(9), dispatch()->Invoke(3, IID_NULL, 0, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr));
}

TEST_F(Dispatcher, ObjectPropertiesTakeTheirInterfaceOrNothing) {
    auto other = oa::make_self<tester>();
    auto out = invoke(dispatch(), u"Peer", DISPATCH_PROPERTYPUTREF, {});
    EXPECT_EQ(E_INVALIDARG, out.hr) << "a put names more arguments than it passes";
    var peer = var::object(other.get());
    ASSERT_EQ(S_OK, invoke(dispatch(), u"Peer", DISPATCH_PROPERTYPUTREF, {peer}).hr);
    EXPECT_EQ(other.get(), object->peer.get());
    auto got = get_property(dispatch(), u"Peer");
    ASSERT_EQ(VT_DISPATCH, got.result.vt);
    EXPECT_EQ(static_cast<IDispatch*>(other.get()), got.result.pdispVal);

    // Something that is not a Tester is a type mismatch; Empty is Nothing.
    auto value = oa::make_self<quellar2mrapi::t2DataClass>();
    var wrong = var::object(value.get());
    auto refused = invoke(dispatch(), u"Peer", DISPATCH_PROPERTYPUTREF, {wrong});
    EXPECT_EQ(DISP_E_TYPEMISMATCH, refused.hr);
    EXPECT_EQ(0u, refused.arg_err);
    EXPECT_EQ(other.get(), object->peer.get());
    var nothing;
    ASSERT_EQ(S_OK, invoke(dispatch(), u"Peer", DISPATCH_PROPERTYPUT, {nothing}).hr);
    EXPECT_FALSE(object->peer);
}

TEST_F(Dispatcher, OptionalArgumentsMayBeLeftOutAndAParamArrayTakesTheRest) {
    var a(u"a"), b(2), c(u"c"), sep(u"+");
    const struct {
        const char16_t* name;
        std::vector<VARIANT> args;  // in the script's order
        HRESULT hr;
        const char16_t* result;
    } cases[] = {
        {u"Pair", {a, b}, S_OK, u"a,2"},
        {u"Pair", {a}, S_OK, u"a,-"},
        {u"Pair", {}, DISP_E_BADPARAMCOUNT, u""},
        {u"Pair", {a, b, c}, DISP_E_BADPARAMCOUNT, u""},
        {u"Gather", {sep}, S_OK, u"[]"},
        {u"Gather", {sep, a, b, c}, S_OK, u"[a+2+c]"},
        {u"Gather", {}, DISP_E_BADPARAMCOUNT, u""},
    };
    for (const auto& k : cases) {
        auto out = invoke_id(dispatch(), id_of(dispatch(), k.name), DISPATCH_METHOD, k.args);
        EXPECT_EQ(k.hr, out.hr) << oa::utf16_to_utf8(k.name) << " with " << k.args.size();
        if (k.hr == S_OK) {
            EXPECT_EQ(k.result, out.result.str());
        }
    }

    oa::com_ptr<ITypeInfo> info;
    ASSERT_EQ(S_OK, dispatch()->GetTypeInfo(0, 0, info.put()));
    for (auto [index, optional] : {std::pair{7u, SHORT{1}}, std::pair{8u, SHORT{-1}}}) {
        FUNCDESC* fd = nullptr;
        ASSERT_EQ(S_OK, info->GetFuncDesc(index, &fd));
        EXPECT_EQ(optional, fd->cParamsOpt);
        EXPECT_EQ(optional == 1, (fd->lprgelemdescParam[1].paramdesc.wParamFlags & PARAMFLAG_FOPT) != 0);
        info->ReleaseFuncDesc(fd);
    }

    // Signatures whose types fit the C++ method but break the rules for leaving out.
    using namespace oa::disp;
    auto refusal = [](auto make) -> std::string {
        try {
            make();
        } catch (const std::logic_error& e) {
            return e.what();
        }
        return "accepted";
    };
    for (const char16_t* pair : {u"Optional Variant first, Variant second", u"ParamArray Variant first, Variant second"})
        EXPECT_NE(std::string::npos, refusal([&] { method<&ITester::Pair>(DISPID_VALUE, u"Pair", pair, u"String"); }).find("ParamArray"))
            << oa::utf16_to_utf8(pair);
    EXPECT_NE(std::string::npos, refusal([] {
                  method<&ITester::Gather>(7, u"Gather", u"Optional String separator, ParamArray Variant() rest", u"String");
              }).find("ParamArray"));
}

TEST_F(Dispatcher, AnIndexedObjectPropertyPassesItsArgumentsToTheObjectsDefaultMember) {
    var a(u"a"), b(2);
    EXPECT_EQ(DISP_E_BADPARAMCOUNT, invoke(dispatch(), u"Chain", DISPATCH_METHOD | DISPATCH_PROPERTYGET, {a}).hr)
        << "no object to index";
    auto other = oa::make_self<tester>();
    object->peer = other;
    auto out = invoke(dispatch(), u"Chain", DISPATCH_METHOD | DISPATCH_PROPERTYGET, {a, b});
    ASSERT_EQ(S_OK, out.hr);
    EXPECT_EQ(u"a,2", out.result.str());
    out = get_property(dispatch(), u"Chain");
    ASSERT_EQ(VT_DISPATCH, out.result.vt);
    EXPECT_EQ(static_cast<IDispatch*>(other.get()), out.result.pdispVal);
    EXPECT_THROW(oa::disp::indexed_get<&ITester::get_Count>(4, u"Count", u"Long"), std::logic_error);
}

TEST_F(Dispatcher, ACallFromAnotherThreadIsRefusedAndChangesNothing) {
    object->count = 5;
    HRESULT late = S_OK, early = S_OK;
    std::thread other([&] {
        var nine(9);
        late = put_property(dispatch(), u"Count", var(9)).hr;
        LONG value = 11;
        early = object->put_Count(&value);
    });
    other.join();
    EXPECT_EQ(RPC_E_WRONG_THREAD, late);
    EXPECT_EQ(RPC_E_WRONG_THREAD, early);
    EXPECT_EQ(5, object->count);
}

}  // namespace
