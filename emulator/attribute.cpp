// Attribute: one attribute of a data object, read and written in the data object's copy.
#include <emulator/objects.h>
#include <emulator/operation.h>

namespace mremu {

HRESULT attribute_object::get_Value(BSTR* value) {
    return call(
        [&] {
            const opening opened(op::ValueGet, [&] { return data_->server_ptr(); }, no_arguments);
            put_text(value, data_->slots()[slot_].value);
        },
        value);
}

HRESULT attribute_object::put_Value(BSTR value) {
    return call([&] {
        const opening opened(
            op::ValuePut, [&] { return data_->server_ptr(); }, [&](journal_line& l) { l.text(value); });
        auto& s = data_->slots()[slot_];
        s.value = str(value);
        s.written = true;
    });
}

}  // namespace mremu
