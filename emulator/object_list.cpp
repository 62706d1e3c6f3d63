// ObjectList: the objects that QueryObjects found.
#include <emulator/objects.h>
#include <emulator/operation.h>

#include <algorithm>
#include <climits>

namespace mremu {

HRESULT object_list_object::get_Count(SHORT* count) {
    return call(
        [&] {
            const opening opened(op::Count, on_, no_arguments);
            if (closed_) oa::raise(errors::list_closed, u"The ObjectList was closed");
            *count = static_cast<SHORT>(std::min<std::size_t>(found_.size(), SHRT_MAX));
        },
        count);
}

HRESULT object_list_object::Item(SHORT index, IObjectData** item) {
    return call(
        [&] {
            *item = nullptr;
            const opening opened(op::Item, on_, [&](journal_line& l) { l.number(index); });
            if (closed_) oa::raise(errors::list_closed, u"The ObjectList was closed");
            if (index < 0 || static_cast<std::size_t>(index) >= found_.size())
                oa::raise(errors::bad_index, u"Item " + num(index) + u" is out of range: the list holds " +
                                                 num(static_cast<long long>(found_.size())) + u" object(s)");
            const object_record& o = found_[static_cast<std::size_t>(index)];
            std::vector<object_data_object::slot> slots;
            for (auto [name, value] : {std::pair<std::u16string_view, const std::u16string*>{u"cvid", &o.cvid},
                                       {u"instance", &o.instance},
                                       {u"problem", &o.problem}})
                slots.push_back({std::u16string(name), true, *value, *value, false});
            *item = handed_out(oa::make_self<object_data_object>(on_.lock(), false, o.cvid, std::move(slots)));
        },
        item);
}

HRESULT object_list_object::Close() {
    return call([&] {
        const opening opened(op::Close, on_, no_arguments);
        closed_ = true;
    });
}

}  // namespace mremu
