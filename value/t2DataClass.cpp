#include <value/t2DataClass.h>

#include <oa/text.h>

namespace quellar2mrapi {

t2DataClass::t2DataClass() {
    StringValue = oa::make_bstr(u"");
    ValueType = oa::make_bstr(u"");
    ErrMsg = oa::make_bstr(u"");
    StringValueSize = 0;
}

HRESULT t2DataClass::put_text(oa::unique_bstr& field, BSTR* value) {
    return call([&] { field = oa::make_bstr(oa::view(*value)); }, value);
}

HRESULT t2DataClass::get_text(const oa::unique_bstr& field, BSTR* value) {
    return call_result(value, [&] { *value = oa::make_bstr(oa::view(field.get())).release(); });
}

void t2DataClass::tag(const char16_t* type_name) {
    // The tag already reads so: the put would store the same text again.
    if (oa::view(ValueType.get()) == type_name) return;
    oa::unique_bstr text = oa::make_bstr(type_name);
    oa::check(put_ValueType(text.addressof()));
}

HRESULT t2DataClass::put_ValueType(BSTR* value) { return put_text(ValueType, value); }
HRESULT t2DataClass::get_ValueType(BSTR* value) { return get_text(ValueType, value); }

HRESULT t2DataClass::put_StringValue(BSTR* value) {
    return call(
        [&] {
            StringValue = oa::make_bstr(oa::view(*value));
            tag(u"String");
        },
        value);
}
HRESULT t2DataClass::get_StringValue(BSTR* value) { return get_text(StringValue, value); }

HRESULT t2DataClass::put_StringValueSize(SHORT* value) {
    return call(
        [&] {
            StringValueSize = *value;
            tag(u"Integer");
        },
        value);
}
HRESULT t2DataClass::get_StringValueSize(SHORT* value) {
    return call_result(value, [&] { *value = StringValueSize; });
}

HRESULT t2DataClass::put_IntegerValue(SHORT* value) {
    return call([&] { IntegerValue = *value; }, value);
}
HRESULT t2DataClass::get_IntegerValue(SHORT* value) {
    return call_result(value, [&] { *value = IntegerValue; });
}

HRESULT t2DataClass::put_BooleanValue(VARIANT_BOOL* value) {
    return call(
        [&] {
            BooleanValue = *value;
            tag(u"Boolean");
        },
        value);
}
HRESULT t2DataClass::get_BooleanValue(VARIANT_BOOL* value) {
    return call_result(value, [&] { *value = BooleanValue; });
}

HRESULT t2DataClass::put_ErrMsg(BSTR* value) { return put_text(ErrMsg, value); }
HRESULT t2DataClass::get_ErrMsg(BSTR* value) { return get_text(ErrMsg, value); }

}  // namespace quellar2mrapi
