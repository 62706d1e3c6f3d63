#include <mrlib/client.h>

#include <stdexcept>

namespace mrlib {

DISPID names::id(IDispatch* object, op o) {
    DISPID& id = ids_[static_cast<std::size_t>(o)];
    if (id == DISPID_UNKNOWN) id = oa::late::id_of(object, operation_of(o).name);
    return id;
}

oa::unique_bstr reply::text() {
    if (value_.vt == VT_BSTR) {
        VARIANT taken = value_.release();
        return oa::unique_bstr(taken.bstrVal);
    }
    return oa::late::text_of(value_);
}

reply call(IDispatch* object, names& ids, op o, std::initializer_list<VARIANT> args) {
    const operation& how = operation_of(o);
    if (args.size() != how.arity) throw std::logic_error("wrong argument count for a library operation");
    if (!object) oa::raise_vb(oa::vb::object_not_set);
    std::array<VARIANT, 8> last_first;
    UINT n = 0;
    for (auto it = args.end(); it != args.begin();) {
        --it;
        if (it->vt != how.args[how.arity - 1 - n]) throw std::logic_error("wrong argument type for a library operation");
        last_first[n++] = *it;
    }
    reply delivered;
    oa::late::call(object, ids.id(object, o), how.flags, last_first.data(), n, delivered.put());
    return delivered;
}

}  // namespace mrlib
