// ObjectData: the data of one CR (from CRData) or of one found object.
#include <emulator/objects.h>
#include <emulator/operation.h>

namespace mremu {

object_data_object* object_data_object::of(IUnknown* data) noexcept {
    if (!data) return nullptr;
    oa::com_ptr<IEmulatedData> me;
    if (FAILED(data->QueryInterface(iid_of<IEmulatedData>(), me.put_void())) || !me) return nullptr;
    return static_cast<object_data_object*>(me.get());
}

HRESULT object_data_object::GetAttribute(BSTR name, IAttribute** attribute) {
    return call(
        [&] {
            *attribute = nullptr;
            const opening opened(op::GetAttribute, on_, [&](journal_line& l) { l.text(name); });
            for (std::size_t i = 0; i < slots_.size(); ++i) {
                if (slots_[i].name != view(name)) continue;
                if (!slots_[i].present)
                    oa::raise(errors::unknown_attribute, u"CR " + id_ + u" has no attribute \"" + str(name) + u"\"");
                *attribute = handed_out(oa::make_self<attribute_object>(oa::com_ptr<object_data_object>(this), i));
                return;
            }
            if (is_cr_)
                oa::raise(errors::attribute_not_requested,
                          u"The attribute \"" + str(name) + u"\" was not asked for when CR " + id_ + u" was read");
            oa::raise(errors::unknown_attribute, u"Object " + id_ + u" has no attribute \"" + str(name) + u"\"");
        },
        attribute);
}

}  // namespace mremu
