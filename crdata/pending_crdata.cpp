// Methods whose behaviour is still to come answer E_NOTIMPL.
#include <component/t2mrapp.h>

namespace quellar2mrapi {
#define Q2MR_PENDING(sig) HRESULT t2mrapp::sig { return E_NOTIMPL; }
Q2MR_PENDING(GetNewAttrs(BSTR*, BSTR*, BSTR*))
Q2MR_PENDING(GetDynamicAttrs(BSTR*, BSTR*))
Q2MR_PENDING(VANT_GetHostname(BSTR*))
Q2MR_PENDING(setDynamicAttrs(BSTR*, BSTR*, VARIANT*))
Q2MR_PENDING(createRCObject(BSTR*, BSTR*, BSTR*, BSTR*, VARIANT*))
Q2MR_PENDING(encodeXML(BSTR*, BSTR*))
Q2MR_PENDING(VANT_SetCRattributeByFile(BSTR*, BSTR*, BSTR*, BSTR*, BSTR*, BSTR*))
Q2MR_PENDING(VANT_SetCRattribute(BSTR*, BSTR*, BSTR*, BSTR*, BSTR*, BSTR*))
Q2MR_PENDING(CreateRelation(LONG*, BSTR*, BSTR*, BSTR*, BSTR*, BSTR*))
}  // namespace quellar2mrapi
