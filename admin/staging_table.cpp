#include <admin/staging_table.h>
#include <oa/error.h>

#include <limits>
#include <new>

namespace quellar2mrapi {

namespace {
void check_array(HRESULT hr) {
    if (hr == E_OUTOFMEMORY) throw std::bad_alloc();
    oa::check(hr);
}
}  // namespace

void staging_table::create(SHORT bound) {
    SAFEARRAY* fresh = SafeArrayCreateVector(VT_DISPATCH, 0, static_cast<ULONG>(bound) + 1);
    if (!fresh) throw std::bad_alloc();
    rows_.reset(fresh);
    bound_ = bound;
}

void staging_table::grow(SHORT step) {
    const int sum = static_cast<int>(bound_) + step;
    if (sum > std::numeric_limits<SHORT>::max() || sum < std::numeric_limits<SHORT>::min())
        oa::raise_vb(oa::vb::overflow);
    SAFEARRAYBOUND wanted{static_cast<ULONG>(sum) + 1, 0};
    check_array(SafeArrayRedim(rows_.get(), &wanted));
    bound_ = static_cast<SHORT>(sum);
}

void staging_table::store(LONG index, MRLIBLib::IUser* row) {
    if (index < 0 || index > bound_) oa::raise_vb(oa::vb::subscript_out_of_range);
    IDispatch* element = row;
    check_array(SafeArrayPutElement(rows_.get(), &index, element));
}

MRLIBLib::IUser* staging_table::row(LONG index) const noexcept {
    if (index < 0 || index > bound_) return nullptr;
    IDispatch* element = static_cast<IDispatch**>(rows_.get()->pvData)[index];
    // Rows hold User objects only: every store goes through store().
    return static_cast<MRLIBLib::IUser*>(element);
}

MRLIBLib::IUser** staging_table::first_row() noexcept {
    return reinterpret_cast<MRLIBLib::IUser**>(rows_.get()->pvData);
}

}  // namespace quellar2mrapi
