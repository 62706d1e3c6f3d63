#include <admin/staging_table.h>
#include <oa/error.h>

#include <algorithm>
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
    capacity_ = static_cast<LONG>(bound) + 1;
}

void staging_table::grow(SHORT step) {
    const int sum = static_cast<int>(bound_) + step;
    if (sum > std::numeric_limits<SHORT>::max() || sum < std::numeric_limits<SHORT>::min())
        oa::raise_vb(oa::vb::overflow);
    const LONG needed = static_cast<LONG>(sum) + 1;
    if (needed > capacity_) {
        constexpr LONG most = LONG{std::numeric_limits<SHORT>::max()} + 1;
        const LONG capacity = std::max(needed, std::min(most, capacity_ + capacity_ / 2));
        SAFEARRAYBOUND wanted{static_cast<ULONG>(capacity), 0};
        check_array(SafeArrayRedim(rows_.get(), &wanted));
        capacity_ = capacity;
    }
    bound_ = static_cast<SHORT>(sum);
}

void staging_table::store(LONG index, IDispatch* row) {
    if (index < 0 || index > bound_) oa::raise_vb(oa::vb::subscript_out_of_range);
    check_array(SafeArrayPutElement(rows_.get(), &index, row));
}

IDispatch* staging_table::row(LONG index) const noexcept {
    if (index < 0 || index > bound_) return nullptr;
    return static_cast<IDispatch**>(rows_.get()->pvData)[index];
}

IDispatch** staging_table::first_row() noexcept { return static_cast<IDispatch**>(rows_.get()->pvData); }

}  // namespace quellar2mrapi
