#include <admin/variant_text.h>

#include <oa/error.h>

namespace quellar2mrapi {

oa::unique_bstr text_of(const VARIANT& value) {
    // A script's variable passed on by reference: its value counts.
    const VARIANT* v = &value;
    if (v->vt == (VT_BYREF | VT_VARIANT) && v->pvarVal) v = v->pvarVal;
    if (v->vt == VT_NULL) oa::raise_vb(oa::vb::invalid_use_of_null);
    oa::unique_variant text;
    HRESULT hr = oa::change_type(&text, v, VARIANT_ALPHABOOL, VT_BSTR);
    // Nothing has no text: the runtime says DISP_E_BADVARTYPE, a script sees a type mismatch.
    if (hr == DISP_E_BADVARTYPE && v->vt == VT_DISPATCH) hr = DISP_E_TYPEMISMATCH;
    if (FAILED(hr)) {
        const int number = oa::vb_number_for(hr);
        if (number != 0) oa::raise_vb(number);
        oa::raise(hr, u"");
    }
    if (text.vt != VT_BSTR) oa::raise_vb(oa::vb::type_mismatch);
    VARIANT taken = text.release();
    return oa::unique_bstr(taken.bstrVal);
}

}  // namespace quellar2mrapi
