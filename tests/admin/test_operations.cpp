// The component's table of library operations against what the installed library
// describes of itself: every operation of api and User by its name, with as many arguments
// of the same types, by value or by reference, and a result of the type the table says. It
// runs against both builds of the emulated library, which share nothing but these names.
#include <tests/admin/admin_test.h>

#include <mrlib/operations.h>
#include <oa/late_bound.h>

namespace q2mr_test {
namespace {

// The type a caller passes for a parameter the type information describes.
VARTYPE passed_as(const TYPEDESC& t) {
    if (t.vt == VT_PTR) return VT_BYREF | t.lptdesc->vt;
    return t.vt;
}

// What a member delivers as the table writes it: VT_EMPTY for nothing, VT_DISPATCH for an
// object of one of the library's interfaces.
VARTYPE delivered_as(const TYPEDESC& t) {
    if (t.vt == VT_VOID || t.vt == VT_HRESULT) return VT_EMPTY;
    if (t.vt == VT_PTR || t.vt == VT_USERDEFINED) return VT_DISPATCH;
    return t.vt;
}

void expect_described(IDispatch* object, mrlib::op first, mrlib::op last) {
    oa::com_ptr<ITypeInfo> info;
    ASSERT_EQ(S_OK, object->GetTypeInfo(0, LOCALE_USER_DEFAULT, info.put()));
    TYPEATTR* attr = nullptr;
    ASSERT_EQ(S_OK, info->GetTypeAttr(&attr));
    const UINT functions = attr->cFuncs;
    info->ReleaseTypeAttr(attr);
    for (auto o = static_cast<std::size_t>(first); o <= static_cast<std::size_t>(last); ++o) {
        const mrlib::operation& op = mrlib::operations[o];
        SCOPED_TRACE(utf8(op.name));
        const DISPID id = oa::late::id_of(object, op.name);
        bool found = false;
        for (UINT i = 0; i < functions && !found; ++i) {
            FUNCDESC* f = nullptr;
            ASSERT_EQ(S_OK, info->GetFuncDesc(i, &f));
            if (f->memid == id && (f->invkind & op.flags)) {
                found = true;
                ASSERT_EQ(op.arity, f->cParams);
                for (SHORT k = 0; k < f->cParams; ++k)
                    EXPECT_EQ(op.args[k], passed_as(f->lprgelemdescParam[k].tdesc)) << "argument " << k + 1;
                EXPECT_EQ(op.result, delivered_as(f->elemdescFunc.tdesc)) << "result";
            }
            info->ReleaseFuncDesc(f);
        }
        EXPECT_TRUE(found) << "no member of that name answers these flags";
    }
}

TEST_F(AdminTest, TheOperationTableAgreesWithTheLibrarysOwnDescription) {
    expect_described(oa::late::create_object(mrlib::api_progid).get(), mrlib::op::OpenConnection,
                     mrlib::op::CreateRelationship);
    expect_described(oa::late::create_object(mrlib::user_progid).get(), mrlib::op::LoginToken, mrlib::op::SetRoleInfo);
}

}  // namespace
}  // namespace q2mr_test
