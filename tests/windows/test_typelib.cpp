// The type libraries embedded in the two libraries against the descriptions that the
// dispatcher and the type information serve: the types in order, their identifiers and
// flags, and every member's name, dispatch id, kind, argument names and types, in order.
#include "windows_test.h"

#include <component/t2mrapp.h>
#include <emulator/objects.h>
#include <oa/com_ptr.h>
#include <oa/dispatch.h>
#include <oa/text.h>

#include <cstdlib>
#include <string>
#include <vector>

using namespace q2mr_windows_test;
using oa::disp::interface_desc;
using oa::disp::library_desc;

namespace {

std::string utf8(std::u16string_view s) { return oa::utf16_to_utf8(s); }

// The libraries are this build's, beside the program, or with Q2MR_TYPELIB_X86 (a folder)
// the 32-bit build's: their type libraries are win32 ones, read here as data.
const wchar_t* x86_folder() { return _wgetenv(L"Q2MR_TYPELIB_X86"); }
std::wstring library_path(const wchar_t* file) {
    return x86_folder() ? std::wstring(x86_folder()) + L"\\" + file : beside_program(file);
}
SYSKIND expected_platform() { return x86_folder() || sizeof(void*) == 4 ? SYS_WIN32 : SYS_WIN64; }

// A type library keeps one spelling of each name, whatever the case of its later uses
// ("User" the class, "user" an argument): names compare without regard to case.
#define EXPECT_SAME_NAME(expected, actual) \
    EXPECT_PRED2(oa::disp::same_name, std::u16string_view(expected), std::u16string_view(actual))

std::u16string name_of(ITypeInfo* info, MEMBERID id = MEMBERID_NIL) {
    oa::unique_bstr name;
    EXPECT_EQ(S_OK, info->GetDocumentation(id, name.put(), nullptr, nullptr, nullptr));
    return std::u16string(oa::view(name.get()));
}

// A type as the descriptions write it: the type word, "*" for each level of reference.
std::u16string type_text(ITypeInfo* info, const TYPEDESC& t) {
    switch (t.vt) {
    case VT_PTR: return type_text(info, *t.lptdesc) + u"*";
    case VT_SAFEARRAY: return type_text(info, *t.lptdesc) + u"()";
    case VT_USERDEFINED: {
        oa::com_ptr<ITypeInfo> referenced;
        EXPECT_EQ(S_OK, info->GetRefTypeInfo(t.hreftype, referenced.put()));
        return referenced ? name_of(referenced.get()) : u"?";
    }
    case VT_DISPATCH: return u"IDispatch*";
    case VT_BSTR: return u"String";
    case VT_I2: return u"Integer";
    case VT_I4: return u"Long";
    case VT_BOOL: return u"Boolean";
    case VT_VARIANT: return u"Variant";
    case VT_UI1: return u"Byte";
    default: return u"vt" + oa::ascii_to_utf16(std::to_string(t.vt));
    }
}

// Arguments whose late-bound form is deliberately wider than the early-bound one.
struct widening {
    std::u16string_view member, late, early;
};
constexpr widening late_bound_widenings[] = {
    // A script writes 0x80040201 beyond a Long; the vtable keeps the HRESULT a Long.
    {u"InjectFault", u"Variant*", u"Long"},
};
bool widened(std::u16string_view member, std::u16string_view late, std::u16string_view early) {
    for (const auto& w : late_bound_widenings)
        if (w.member == member && w.late == late && w.early == early) return true;
    return false;
}

std::u16string described(const oa::disp::param& p) {
    return p.type_name + (p.store == oa::disp::storage::object ? u"*" : u"") + (p.byref ? u"*" : u"");
}

struct member_view {
    std::u16string name;
    MEMBERID id;
    INVOKEKIND kind;
    std::vector<std::u16string> arg_names, arg_types;
    std::u16string result;
};

// The function as a caller of the dispatch interface sees it: the [retval] argument is
// the result, whichever view the type information gives.
member_view view_of(ITypeInfo* info, const FUNCDESC& f) {
    member_view v{{}, f.memid, f.invkind, {}, {}, {}};
    BSTR raw[32] = {};
    UINT count = 0;
    EXPECT_EQ(S_OK, info->GetNames(f.memid, raw, 32, &count));
    std::vector<oa::unique_bstr> names;
    for (UINT i = 0; i < count; ++i) names.emplace_back(raw[i]);
    v.name = std::u16string(oa::view(names.at(0).get()));
    SHORT params = f.cParams;
    if (params > 0 && (f.lprgelemdescParam[params - 1].paramdesc.wParamFlags & PARAMFLAG_FRETVAL)) {
        --params;
        v.result = type_text(info, f.lprgelemdescParam[params].tdesc);
        v.result.pop_back();  // the out pointer
    } else if (f.elemdescFunc.tdesc.vt != VT_VOID && f.elemdescFunc.tdesc.vt != VT_HRESULT) {
        v.result = type_text(info, f.elemdescFunc.tdesc);
    }
    for (SHORT i = 0; i < params; ++i) {
        v.arg_types.push_back(type_text(info, f.lprgelemdescParam[i].tdesc));
        if (f.invkind == INVOKE_FUNC && static_cast<std::size_t>(i) + 1 < names.size())
            v.arg_names.emplace_back(oa::view(names[i + 1].get()));
    }
    return v;
}

void expect_same_interface(ITypeInfo* info, const interface_desc& desc) {
    SCOPED_TRACE(utf8(desc.name));
    EXPECT_SAME_NAME(desc.name, name_of(info));
    TYPEATTR* attr = nullptr;
    ASSERT_EQ(S_OK, info->GetTypeAttr(&attr));
    EXPECT_EQ(desc.iid, attr->guid);
    EXPECT_EQ(TKIND_DISPATCH, attr->typekind);
    constexpr WORD flags = TYPEFLAG_FDUAL | TYPEFLAG_FHIDDEN | TYPEFLAG_FNONEXTENSIBLE | TYPEFLAG_FOLEAUTOMATION |
                           TYPEFLAG_FDISPATCHABLE;
    // A dual interface's automation flag may sit on its vtable half only.
    WORD seen = attr->wTypeFlags;
    HREFTYPE vtable_half = 0;
    oa::com_ptr<ITypeInfo> vtable_info;
    if (SUCCEEDED(info->GetRefTypeOfImplType(static_cast<UINT>(-1), &vtable_half)) &&
        SUCCEEDED(info->GetRefTypeInfo(vtable_half, vtable_info.put()))) {
        TYPEATTR* vtable_attr = nullptr;
        ASSERT_EQ(S_OK, vtable_info->GetTypeAttr(&vtable_attr));
        seen |= vtable_attr->wTypeFlags;
        vtable_info->ReleaseTypeAttr(vtable_attr);
    }
    EXPECT_EQ(desc.type_flags & flags, seen & flags);
    std::vector<member_view> members;
    for (UINT i = 0; i < attr->cFuncs; ++i) {
        FUNCDESC* f = nullptr;
        ASSERT_EQ(S_OK, info->GetFuncDesc(i, &f));
        // IUnknown's and IDispatch's own functions come first in a dual interface's view.
        if (!(f->wFuncFlags & FUNCFLAG_FRESTRICTED)) members.push_back(view_of(info, *f));
        info->ReleaseFuncDesc(f);
    }
    info->ReleaseTypeAttr(attr);
    ASSERT_EQ(desc.members.size(), members.size());
    for (std::size_t i = 0; i < members.size(); ++i) {
        const auto& m = desc.members[i];
        const auto& t = members[i];
        SCOPED_TRACE(utf8(m.name));
        EXPECT_SAME_NAME(m.name, t.name);
        EXPECT_EQ(m.id, t.id);
        EXPECT_EQ(static_cast<int>(m.kind), static_cast<int>(t.kind));
        EXPECT_EQ(m.has_result ? described(m.result) : u"", t.result + (t.result.empty() ? u"" : u"*"));
        ASSERT_EQ(m.params.size(), t.arg_types.size());
        for (std::size_t k = 0; k < m.params.size(); ++k) {
            if (!widened(m.name, described(m.params[k]), t.arg_types[k])) {
                EXPECT_EQ(described(m.params[k]), t.arg_types[k]) << k;
            }
            if (m.kind == oa::disp::member_kind::method) {
                EXPECT_SAME_NAME(m.params[k].name, t.arg_names.at(k)) << k;
            }
        }
    }
}

void expect_same_library(const wchar_t* file, const library_desc& desc) {
    oa::com_ptr<ITypeLib> lib;
    ASSERT_EQ(S_OK, LoadTypeLibEx(library_path(file).c_str(), REGKIND_NONE, lib.put()));
    TLIBATTR* attr = nullptr;
    ASSERT_EQ(S_OK, lib->GetLibAttr(&attr));
    EXPECT_EQ(expected_platform(), attr->syskind);
    EXPECT_EQ(desc.libid, attr->guid);
    EXPECT_EQ(desc.major, attr->wMajorVerNum);
    EXPECT_EQ(desc.minor, attr->wMinorVerNum);
    EXPECT_EQ(desc.lcid, attr->lcid);
    lib->ReleaseTLibAttr(attr);
    ASSERT_EQ(desc.types.size(), lib->GetTypeInfoCount());
    for (UINT i = 0; i < desc.types.size(); ++i) {
        const auto& entry = desc.types[i];
        oa::com_ptr<ITypeInfo> info;
        ASSERT_EQ(S_OK, lib->GetTypeInfo(i, info.put()));
        if (entry.iface) {
            expect_same_interface(info.get(), *entry.iface);
            continue;
        }
        SCOPED_TRACE(utf8(entry.coclass->name));
        EXPECT_SAME_NAME(entry.coclass->name, name_of(info.get()));
        TYPEATTR* type = nullptr;
        ASSERT_EQ(S_OK, info->GetTypeAttr(&type));
        EXPECT_EQ(TKIND_COCLASS, type->typekind);
        EXPECT_EQ(entry.coclass->clsid, type->guid);
        EXPECT_TRUE(type->wTypeFlags & TYPEFLAG_FCANCREATE);
        info->ReleaseTypeAttr(type);
        HREFTYPE href = 0;
        oa::com_ptr<ITypeInfo> default_interface;
        ASSERT_EQ(S_OK, info->GetRefTypeOfImplType(0, &href));
        ASSERT_EQ(S_OK, info->GetRefTypeInfo(href, default_interface.put()));
        EXPECT_SAME_NAME(entry.coclass->default_interface->name, name_of(default_interface.get()));
    }
}

#ifdef MREMU_FOREIGN
// The second build's vtables are laid out by its own type library: the system's runtime
// dispatches its objects from it.
TEST(TypeLibrary, TheSecondBuildsEmbeddedLibraryAgreesWithItsDescriptions) {
    expect_same_library(L"foreign\\mrlib.dll", *mremu::type_library());
}
#else
TEST(TypeLibrary, TheComponentsEmbeddedLibraryAgreesWithItsDescriptions) {
    expect_same_library(L"quellar2mrapi.dll", *quellar2mrapi::t2mrapp::library());
}

TEST(TypeLibrary, TheEmulatedLibrarysEmbeddedLibraryAgreesWithItsDescriptions) {
    expect_same_library(L"mrlib.dll", *mremu::type_library());
}

// Object browsers and script editors show these help strings to script writers.
TEST(TypeLibrary, TheComponentsLibraryHasAHelpStringForItselfEveryTypeAndEveryMember) {
    oa::com_ptr<ITypeLib> lib;
    ASSERT_EQ(S_OK, LoadTypeLibEx(library_path(L"quellar2mrapi.dll").c_str(), REGKIND_NONE, lib.put()));
    oa::unique_bstr help;
    ASSERT_EQ(S_OK, lib->GetDocumentation(-1, nullptr, help.put(), nullptr, nullptr));
    EXPECT_FALSE(oa::view(help.get()).empty()) << "the library";
    for (UINT i = 0; i < lib->GetTypeInfoCount(); ++i) {
        oa::com_ptr<ITypeInfo> info;
        ASSERT_EQ(S_OK, lib->GetTypeInfo(i, info.put()));
        const std::string type = utf8(name_of(info.get()));
        ASSERT_EQ(S_OK, info->GetDocumentation(MEMBERID_NIL, nullptr, help.put(), nullptr, nullptr));
        EXPECT_FALSE(oa::view(help.get()).empty()) << type;
        TYPEATTR* attr = nullptr;
        ASSERT_EQ(S_OK, info->GetTypeAttr(&attr));
        const UINT functions = attr->cFuncs;
        info->ReleaseTypeAttr(attr);
        for (UINT k = 0; k < functions; ++k) {
            FUNCDESC* f = nullptr;
            ASSERT_EQ(S_OK, info->GetFuncDesc(k, &f));
            const MEMBERID id = f->memid;
            const bool inherited = f->wFuncFlags & FUNCFLAG_FRESTRICTED;  // IUnknown's and IDispatch's
            info->ReleaseFuncDesc(f);
            if (inherited) continue;
            ASSERT_EQ(S_OK, info->GetDocumentation(id, nullptr, help.put(), nullptr, nullptr));
            EXPECT_FALSE(oa::view(help.get()).empty()) << type << "." << utf8(name_of(info.get(), id));
        }
    }
}
#endif

}  // namespace
