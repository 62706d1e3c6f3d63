// A staging table: rows 0 to bound of User objects (or nothing), contiguous in index order, so that a
// batch call can hand the library the whole block from row 0.
#pragma once

#include <oa/com_ptr.h>
#include <oa/unique.h>
#include <oleauto.h>

namespace quellar2mrapi {

class staging_table {
public:
    staging_table() = default;
    // Rows 0 to bound, every row empty.
    void create(SHORT bound);

    SHORT bound() const noexcept { return bound_; }
    LONG rows() const noexcept { return static_cast<LONG>(bound_) + 1; }

    // Raises the bound by step in 16-bit arithmetic; an overflow fails with number 6 and
    // leaves bound and rows as they were. New rows are empty.
    void grow(SHORT step);

    // Stores row index, releasing what the row held; an index outside 0..bound fails
    // with number 9 and changes nothing.
    void store(LONG index, IDispatch* row);

    // The object in a row (no further reference), or nullptr for an empty row.
    IDispatch* row(LONG index) const noexcept;

    // The block of rows from row 0, valid until the table is next changed.
    IDispatch** first_row() noexcept;

private:
    oa::unique_safearray rows_;
    SHORT bound_ = -1;
    // Rows allocated, at least bound + 1: the table grows by a few hundred rows at a time,
    // the block under it by half again, so that staging many rows copies it only a few times.
    LONG capacity_ = 0;
};

}  // namespace quellar2mrapi
