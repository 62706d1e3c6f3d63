// The generated shims and member macros (<component/quellar2mrapi_shims.h>) compiled
// against classes with the plain members' signatures and a stand-in oa::disp::entry that
// passes each argument as the shims do: a signature that the IDL and the classes see
// differently fails the build. Remove the stand-in once oa::disp::entry exists and the
// component's classes use the shims.
#include <oa/com_ptr.h>
#include <oa/dispatch.h>
#include <oa/unique.h>

#include <utility>

namespace oa::disp {
struct nullptr_result_tag_t {};
inline constexpr nullptr_result_tag_t nullptr_result_tag{};
template <auto Method, class D, class R, class... A> HRESULT entry(D* self, R* result, A*... args) {
    *result = R{};
    auto value = (self->*Method)(*args...);
    (void)value;
    return S_OK;
}
template <auto Method, class D, class... A> HRESULT entry(D* self, nullptr_result_tag_t, A*... args) {
    (self->*Method)(*args...);
    return S_OK;
}
}  // namespace oa::disp

#include <component/quellar2mrapi_shims.h>

namespace standin {
class t2mrapp final : public quellar2mrapi::_t2mrapp_shim<t2mrapp> {
public:
    QUELLAR2MRAPI__T2MRAPP_MEMBERS
};
class t2DataClass final : public quellar2mrapi::_t2DataClass_shim<t2DataClass> {
public:
    QUELLAR2MRAPI__T2DATACLASS_MEMBERS
};
}  // namespace standin

template class quellar2mrapi::_t2mrapp_shim<standin::t2mrapp>;
template class quellar2mrapi::_t2DataClass_shim<standin::t2DataClass>;
