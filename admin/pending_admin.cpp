// Methods whose behaviour is still to come answer E_NOTIMPL.
#include <component/t2mrapp.h>

namespace quellar2mrapi {
#define Q2MR_PENDING(sig) HRESULT t2mrapp::sig { return E_NOTIMPL; }
Q2MR_PENDING(CreateAGroup(BSTR*, VARIANT_BOOL*))
Q2MR_PENDING(DeleteAGroup(BSTR*, VARIANT_BOOL*))
Q2MR_PENDING(AddUserToGroup(BSTR*, BSTR*, VARIANT_BOOL*))
Q2MR_PENDING(AddUserToArray(SHORT*, BSTR*, BSTR*, BSTR*, BSTR*, BSTR*))
Q2MR_PENDING(AddUserToNMXArray(SHORT*, BSTR*, BSTR*, BSTR*))
Q2MR_PENDING(AddUserToRoleArray(SHORT*, BSTR*, BSTR*, BSTR*, BSTR*))
Q2MR_PENDING(CreateUsers(SHORT*, BSTR*))
Q2MR_PENDING(SetMerivexUsernames(SHORT*, BSTR*))
Q2MR_PENDING(AddUserRoles(SHORT*, BSTR*))
Q2MR_PENDING(AddUserPreference(VARIANT*, VARIANT*, BSTR*, VARIANT_BOOL*, BSTR*))
}  // namespace quellar2mrapi
