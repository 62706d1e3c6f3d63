#include <value/t2DataClass.h>

#include <oa/text.h>

namespace quellar2mrapi {

using oa::view;

namespace {
oa::unique_bstr copy_of(const oa::unique_bstr& field) { return oa::make_bstr(view(field.get())); }

// Sets the type tag; a tag that already reads so stays as it is.
void tag(oa::unique_bstr& value_type, std::u16string_view type_name) {
    if (view(value_type.get()) != type_name) value_type = oa::make_bstr(type_name);
}
}  // namespace

value_state::value_state()
    : value_type(oa::make_bstr(u"")), string_value(oa::make_bstr(u"")), err_msg(oa::make_bstr(u"")) {}

void t2DataClass::put_ValueType(BSTR value) { value_type = oa::make_bstr(view(value)); }
oa::unique_bstr t2DataClass::get_ValueType() { return copy_of(value_type); }

void t2DataClass::put_StringValue(BSTR value) {
    string_value = oa::make_bstr(view(value));
    tag(value_type, u"String");
}
oa::unique_bstr t2DataClass::get_StringValue() { return copy_of(string_value); }

void t2DataClass::put_StringValueSize(SHORT value) {
    string_value_size = value;
    tag(value_type, u"Integer");
}
SHORT t2DataClass::get_StringValueSize() { return string_value_size; }

void t2DataClass::put_IntegerValue(SHORT value) { integer_value = value; }
SHORT t2DataClass::get_IntegerValue() { return integer_value; }

void t2DataClass::put_BooleanValue(VARIANT_BOOL value) {
    boolean_value = value;
    tag(value_type, u"Boolean");
}
VARIANT_BOOL t2DataClass::get_BooleanValue() { return boolean_value; }

void t2DataClass::put_ErrMsg(BSTR value) { err_msg = oa::make_bstr(view(value)); }
oa::unique_bstr t2DataClass::get_ErrMsg() { return copy_of(err_msg); }

}  // namespace quellar2mrapi
