// A typed value record for scripts: a value, a type tag, a size and an error message.
#pragma once

#include <component/interfaces.h>
#include <oa/dispatch.h>
#include <oa/unique.h>

namespace quellar2mrapi {

class t2DataClass final : public oa::disp::dispatch_object<t2DataClass, _t2DataClass> {
public:
    static constexpr std::u16string_view class_name = u"quellar2mrapi.t2DataClass";
    static const oa::disp::interface_desc& description();
    static const oa::disp::library_desc* library();

    t2DataClass();

    HRESULT STDMETHODCALLTYPE put_ValueType(BSTR* value) override;
    HRESULT STDMETHODCALLTYPE get_ValueType(BSTR* value) override;
    HRESULT STDMETHODCALLTYPE put_StringValue(BSTR* value) override;
    HRESULT STDMETHODCALLTYPE get_StringValue(BSTR* value) override;
    HRESULT STDMETHODCALLTYPE put_StringValueSize(SHORT* value) override;
    HRESULT STDMETHODCALLTYPE get_StringValueSize(SHORT* value) override;
    HRESULT STDMETHODCALLTYPE put_IntegerValue(SHORT* value) override;
    HRESULT STDMETHODCALLTYPE get_IntegerValue(SHORT* value) override;
    HRESULT STDMETHODCALLTYPE put_BooleanValue(VARIANT_BOOL* value) override;
    HRESULT STDMETHODCALLTYPE get_BooleanValue(VARIANT_BOOL* value) override;
    HRESULT STDMETHODCALLTYPE put_ErrMsg(BSTR* value) override;
    HRESULT STDMETHODCALLTYPE get_ErrMsg(BSTR* value) override;

private:
    // Stores text into one of the string fields.
    HRESULT put_text(oa::unique_bstr& field, BSTR* value);
    HRESULT get_text(const oa::unique_bstr& field, BSTR* value);
    // Sets the type tag through the object's own ValueType put.
    void tag(const char16_t* type_name);

    oa::unique_bstr ValueType;
    oa::unique_bstr StringValue;
    SHORT StringValueSize = 0;
    SHORT IntegerValue = 0;
    VARIANT_BOOL BooleanValue = VARIANT_FALSE;
    oa::unique_bstr ErrMsg;
};

}  // namespace quellar2mrapi
