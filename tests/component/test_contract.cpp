// One contract for every automation class of the component: identity, counting, the
// dispatch table against the type information, and names that resolve to their ids.
#include <component/t2mrapp.h>
#include <value/t2DataClass.h>
#include <tests/support/late_bound.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

using namespace q2mr_test;

namespace {

template <class T> class AutomationClass : public ::testing::Test {};
using classes = ::testing::Types<quellar2mrapi::t2mrapp, quellar2mrapi::t2DataClass>;
TYPED_TEST_SUITE(AutomationClass, classes);

TYPED_TEST(AutomationClass, AnswersForItsInterfacesWithOneIdentity) {
    auto object = oa::make_self<TypeParam>();
    oa::com_ptr<IUnknown> a, b;
    ASSERT_EQ(S_OK, object->QueryInterface(IID_IUnknown, a.put_void()));
    auto dispatch = object.template try_query<IDispatch>();
    ASSERT_TRUE(dispatch);
    ASSERT_EQ(S_OK, dispatch->QueryInterface(IID_IUnknown, b.put_void()));
    EXPECT_EQ(a.get(), b.get());
    EXPECT_EQ(S_OK, object->QueryInterface(TypeParam::description().iid, b.put_void()));
    EXPECT_EQ(E_NOINTERFACE, object->QueryInterface(IID_IClassFactory, b.put_void()));
    EXPECT_FALSE(b);
    EXPECT_EQ(E_POINTER, object->QueryInterface(IID_IUnknown, nullptr));
}

TYPED_TEST(AutomationClass, TypeInformationListsEveryMemberWithItsIdKindAndNames) {
    auto object = oa::make_self<TypeParam>();
    const auto& desc = TypeParam::description();
    UINT count = 0;
    ASSERT_EQ(S_OK, object->GetTypeInfoCount(&count));
    EXPECT_EQ(1u, count);
    oa::com_ptr<ITypeInfo> info;
    ASSERT_EQ(S_OK, object->GetTypeInfo(0, LOCALE_USER_DEFAULT, info.put()));
    TYPEATTR* attr = nullptr;
    ASSERT_EQ(S_OK, info->GetTypeAttr(&attr));
    EXPECT_EQ(TKIND_DISPATCH, attr->typekind);
    EXPECT_EQ(desc.iid, attr->guid);
    EXPECT_EQ(desc.members.size(), attr->cFuncs);
    EXPECT_TRUE(attr->wTypeFlags & TYPEFLAG_FDUAL);
    EXPECT_TRUE(attr->wTypeFlags & TYPEFLAG_FHIDDEN);
    EXPECT_TRUE(attr->wTypeFlags & TYPEFLAG_FNONEXTENSIBLE);
    EXPECT_TRUE(attr->wTypeFlags & TYPEFLAG_FOLEAUTOMATION);
    const WORD functions = attr->cFuncs;
    info->ReleaseTypeAttr(attr);
    for (UINT i = 0; i < functions; ++i) {
        FUNCDESC* f = nullptr;
        ASSERT_EQ(S_OK, info->GetFuncDesc(i, &f));
        const auto& m = desc.members[i];
        EXPECT_EQ(m.id, f->memid);
        EXPECT_EQ(static_cast<int>(m.kind), static_cast<int>(f->invkind));
        EXPECT_EQ(m.params.size(), static_cast<std::size_t>(f->cParams));
        for (std::size_t k = 0; k < m.params.size(); ++k) {
            // Every argument of the component is passed by reference.
            EXPECT_EQ(VT_PTR, f->lprgelemdescParam[k].tdesc.vt) << oa::utf16_to_utf8(m.name);
            EXPECT_EQ(m.params[k].vt, f->lprgelemdescParam[k].tdesc.lptdesc->vt);
        }
        info->ReleaseFuncDesc(f);
        oa::unique_bstr names[8];
        BSTR raw[8] = {};
        UINT got = 0;
        ASSERT_EQ(S_OK, info->GetNames(m.id, raw, 8, &got));
        for (UINT k = 0; k < got; ++k) names[k].reset(raw[k]);
        EXPECT_EQ(m.name, oa::view(names[0].get()));
        EXPECT_EQ(m.id, id_of(object.get(), m.name));
    }
}

TEST(ComponentLibrary, DescribesFourTypesInOrderWithItsVersionAndLocale) {
    oa::com_ptr<ITypeLib> lib;
    ASSERT_EQ(S_OK, quellar2mrapi::get_type_library(lib.put()));
    ASSERT_EQ(4u, lib->GetTypeInfoCount());
    TLIBATTR* attr = nullptr;
    ASSERT_EQ(S_OK, lib->GetLibAttr(&attr));
    EXPECT_EQ(7, attr->wMajorVerNum);
    EXPECT_EQ(0, attr->wMinorVerNum);
    EXPECT_EQ(0x409u, attr->lcid);
    EXPECT_EQ(quellar2mrapi::LIBID_quellar2mrapi, attr->guid);
    lib->ReleaseTLibAttr(attr);
    const char16_t* names[] = {u"_t2mrapp", u"t2mrapp", u"_t2DataClass", u"t2DataClass"};
    const TYPEKIND kinds[] = {TKIND_DISPATCH, TKIND_COCLASS, TKIND_DISPATCH, TKIND_COCLASS};
    for (UINT i = 0; i < 4; ++i) {
        oa::unique_bstr name;
        ASSERT_EQ(S_OK, lib->GetDocumentation(static_cast<INT>(i), name.put(), nullptr, nullptr, nullptr));
        EXPECT_EQ(names[i], oa::view(name.get()));
        TYPEKIND kind;
        ASSERT_EQ(S_OK, lib->GetTypeInfoType(i, &kind));
        EXPECT_EQ(kinds[i], kind);
    }
    oa::com_ptr<ITypeInfo> coclass, iface;
    ASSERT_EQ(S_OK, lib->GetTypeInfoOfGuid(quellar2mrapi::CLSID_t2mrapp, coclass.put()));
    HREFTYPE href = 0;
    ASSERT_EQ(S_OK, coclass->GetRefTypeOfImplType(0, &href));
    ASSERT_EQ(S_OK, coclass->GetRefTypeInfo(href, iface.put()));
    oa::unique_bstr name;
    ASSERT_EQ(S_OK, iface->GetDocumentation(-1, name.put(), nullptr, nullptr, nullptr));
    EXPECT_EQ(u"_t2mrapp", oa::view(name.get()));
}

// The members as the component's interface publishes them, in dispatch-table order.
struct published_member {
    const char16_t* name;
    oa::disp::member_kind kind;
    DISPID id;
};
using K = oa::disp::member_kind;
constexpr published_member session_members[] = {
    {u"User", K::put, 0x68030002},
    {u"User", K::get, 0x68030002},
    {u"api", K::put, 0x68030001},
    {u"api", K::get, 0x68030001},
    {u"GoodConnection", K::put, 0x68030000},
    {u"GoodConnection", K::get, 0x68030000},
    {u"Connect", K::method, 0x60030007},
    {u"Login", K::method, 0x60030008},
    {u"CreateAGroup", K::method, 0x60030009},
    {u"DeleteAGroup", K::method, 0x6003000A},
    {u"AddUserToGroup", K::method, 0x6003000B},
    {u"AddUserToArray", K::method, 0x6003000C},
    {u"AddUserToNMXArray", K::method, 0x6003000D},
    {u"AddUserToRoleArray", K::method, 0x6003000E},
    {u"CreateUsers", K::method, 0x6003000F},
    {u"SetMerivexUsernames", K::method, 0x60030010},
    {u"AddUserRoles", K::method, 0x60030011},
    {u"AddUserPreference", K::method, 0x60030012},
    {u"GetNewAttrs", K::method, 0x60030013},
    {u"GetDynamicAttrs", K::method, 0x60030014},
    {u"VANT_GetHostname", K::method, 0x60030015},
    {u"setDynamicAttrs", K::method, 0x60030016},
    {u"createRCObject", K::method, 0x60030017},
    {u"encodeXML", K::method, 0x60030018},
    {u"VANT_SetCRattributeByFile", K::method, 0x6003001A},
    {u"VANT_SetCRattribute", K::method, 0x6003001B},
    {u"CreateRelation", K::method, 0x6003001C},
};
constexpr published_member value_members[] = {
    {u"ValueType", K::put, 0x68030005},       {u"ValueType", K::get, 0x68030005},
    {u"StringValue", K::put, 0x68030004},     {u"StringValue", K::get, 0x68030004},
    {u"StringValueSize", K::put, 0x68030003}, {u"StringValueSize", K::get, 0x68030003},
    {u"IntegerValue", K::put, 0x68030002},    {u"IntegerValue", K::get, 0x68030002},
    {u"BooleanValue", K::put, 0x68030001},    {u"BooleanValue", K::get, 0x68030001},
    {u"ErrMsg", K::put, 0x68030000},          {u"ErrMsg", K::get, 0x68030000},
};

template <std::size_t N>
void expect_published(const oa::disp::interface_desc& desc, const published_member (&table)[N]) {
    ASSERT_EQ(N, desc.members.size()) << oa::utf16_to_utf8(desc.name);
    for (std::size_t i = 0; i < N; ++i) {
        const auto& m = desc.members[i];
        EXPECT_EQ(table[i].name, m.name) << "slot " << i;
        EXPECT_EQ(table[i].kind, m.kind) << oa::utf16_to_utf8(m.name);
        EXPECT_EQ(table[i].id, m.id) << oa::utf16_to_utf8(m.name);
    }
}

TEST(ComponentLibrary, EveryMemberHasItsPublishedNameKindIdAndPlace) {
    expect_published(quellar2mrapi::t2mrapp::description(), session_members);
    expect_published(quellar2mrapi::t2DataClass::description(), value_members);
    const auto& m = quellar2mrapi::t2mrapp::description().members;
    EXPECT_EQ(VT_I4, m[26].params[0].vt);
    EXPECT_EQ(VT_VARIANT, m[17].params[0].vt);
}

// The script writers' reference, made from the IDL, against the interfaces that the
// dispatcher serves: each class's table lists every member once (a property's get and put
// together), in dispatch-table order, with kind, dispatch id, arguments and result, and
// nothing else; each member has its own section.
struct reference_section {
    std::vector<std::string> rows, headings;
};

reference_section section_of(const std::string& reference, const std::string& interface_name) {
    reference_section section;
    std::istringstream lines(reference);
    bool inside = false;
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("## ", 0) == 0) inside = line.find("(interface `" + interface_name + "`)") != std::string::npos;
        if (!inside) continue;
        if (line.rfind("| ", 0) == 0 && line.find(" | `") != std::string::npos) section.rows.push_back(line);
        if (line.rfind("### ", 0) == 0) section.headings.push_back(line.substr(4));
    }
    return section;
}

std::string automation_type(const oa::disp::param& p) {
    return p.type_name == u"IDispatch" ? "Object" : oa::utf16_to_utf8(p.type_name);
}

reference_section expected_section(const oa::disp::interface_desc& desc) {
    reference_section section;
    const auto& members = desc.members;
    for (std::size_t i = 0; i < members.size(); ++i) {
        const auto& m = members[i];
        const std::string name = oa::utf16_to_utf8(m.name);
        std::string kind = "method", args, result = m.has_result ? automation_type(m.result) : "";
        if (m.kind != K::method) {
            // A put and a get under one name are one property.
            if (i > 0 && members[i - 1].name == m.name) continue;
            const bool pair = i + 1 < members.size() && members[i + 1].name == m.name;
            kind = pair ? "property get+put" : m.kind == K::get ? "property get" : "property put";
            if (m.kind == K::put) result = automation_type(m.params.at(0));
        } else {
            for (const auto& p : m.params)
                args += (args.empty() ? "`" : ", `") + oa::utf16_to_utf8(p.name) + "` " + automation_type(p);
        }
        char id[16];
        std::snprintf(id, sizeof id, "0x%08lX", static_cast<unsigned long>(m.id));
        const char* none = "\xE2\x80\x94";  // the em dash of an empty cell
        section.rows.push_back("| " + kind + " | `" + name + "` | " + id + " | " + (args.empty() ? none : args) +
                               " | " + (result.empty() ? none : result) + " |");
        section.headings.push_back("`" + name + "`");
    }
    return section;
}

TEST(reference, matches_interface) {
    std::ifstream file(Q2MR_REFERENCE);
    ASSERT_TRUE(file) << Q2MR_REFERENCE;
    const std::string reference{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    for (const auto* desc : {&quellar2mrapi::t2mrapp::description(), &quellar2mrapi::t2DataClass::description()}) {
        SCOPED_TRACE(oa::utf16_to_utf8(desc->name));
        const reference_section expected = expected_section(*desc);
        const reference_section found = section_of(reference, oa::utf16_to_utf8(desc->name));
        EXPECT_EQ(expected.rows, found.rows);
        EXPECT_EQ(expected.headings, found.headings);
    }
}

}  // namespace
