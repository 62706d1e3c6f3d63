// Automation values decoded from a fuzz input, and a small object whose default value a
// conversion may read.
#pragma once

#include "input.h"

#include <oa/implements.h>
#include <oa/text.h>
#include <oa/unique.h>
#include <oleauto.h>

#include <string>
#include <vector>

namespace q2mr_fuzz {

// An object with a default value (DISPID_VALUE); one that answers with itself makes
// every conversion through it recurse.
class value_object final : public oa::implements<value_object, IDispatch> {
public:
    static constexpr std::u16string_view class_name = u"q2mr_fuzz.value_object";
    value_object(oa::unique_variant value, bool answers_itself) : value_(std::move(value)), itself_(answers_itself) {}

    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        if (count) *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** out) override {
        if (out) *out = nullptr;
        return DISP_E_BADINDEX;
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return DISP_E_UNKNOWNNAME;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                                     EXCEPINFO*, UINT*) override {
        if (id != DISPID_VALUE || !(flags & DISPATCH_PROPERTYGET)) return DISP_E_MEMBERNOTFOUND;
        if (!params || params->cArgs) return DISP_E_BADPARAMCOUNT;
        if (!result) return S_OK;
        if (itself_) {
            VariantClear(result);
            AddRef();
            result->vt = VT_DISPATCH;
            result->pdispVal = this;
            return S_OK;
        }
        return VariantCopy(result, &value_);
    }

private:
    oa::unique_variant value_;
    bool itself_;
};

// Texts that reach the interesting paths of conversions and of the component.
const std::vector<std::u16string>& dictionary();

// A text: a dictionary word, a number-like run, or raw code units (lone surrogates and
// zeros included).
std::u16string decode_text(input& in);

// One by-value Variant. Objects come from the pool (nullptr entries give Nothing); arrays
// hold at most a few elements. Never a by-reference value.
void decode_value(input& in, const std::vector<IDispatch*>& pool, VARIANT& out, int depth = 0);

// The VARTYPEs a conversion may be asked for: the automation types and a few junk ones.
VARTYPE decode_target_type(input& in);

}  // namespace q2mr_fuzz
