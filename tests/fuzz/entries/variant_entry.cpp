// VariantChangeType(Ex), VariantCopy(Ind) and the SAFEARRAY operations as a small program
// over four Variant registers and two arrays. Properties checked: a failed conversion
// leaves its destination alone, a successful one has the asked type, integers survive a
// round trip through text, array bounds and lock counts stay what the calls said, and
// every object reference and allocation is given back.
#include "entries.h"
#include "values.h"

#include <array>
#include <cstring>

namespace q2mr_fuzz {

namespace {

constexpr std::size_t registers = 4;
constexpr std::size_t arrays = 2;
constexpr int max_steps = 64;

struct array_slot {
    oa::unique_safearray a;
    VARTYPE vt = VT_EMPTY;
    LONG lower = 0;
    ULONG count = 0;
    ULONG locks = 0;  // taken by this program and not yet given back
};

// Written out here, not taken from the runtime: the property must not share the runtime's mistakes.
std::size_t element_size(VARTYPE vt) {
    switch (vt) {
    case VT_I1: case VT_UI1: return 1;
    case VT_I2: case VT_UI2: case VT_BOOL: return 2;
    case VT_I4: case VT_UI4: case VT_INT: case VT_UINT: case VT_ERROR: case VT_R4: return 4;
    case VT_R8: case VT_CY: case VT_DATE: case VT_I8: case VT_UI8: return 8;
    case VT_BSTR: case VT_DISPATCH: case VT_UNKNOWN: return sizeof(void*);
    case VT_VARIANT: return sizeof(VARIANT);
    default: return 0;
    }
}

bool is_integer_type(VARTYPE vt) {
    switch (vt) {
    case VT_I1: case VT_UI1: case VT_I2: case VT_UI2: case VT_I4: case VT_UI4: case VT_I8: case VT_UI8:
    case VT_INT: case VT_UINT:
        return true;
    default: return false;
    }
}

// The value bits of an integer Variant, as wide as its type.
std::uint64_t integer_bits(const VARIANT& v) {
    switch (element_size(v.vt)) {
    case 1: return v.bVal;
    case 2: return static_cast<std::uint16_t>(v.iVal);
    case 4: return static_cast<std::uint32_t>(v.lVal);
    default: return static_cast<std::uint64_t>(v.llVal);
    }
}

// A reference to a register as a caller would pass it: VT_BYREF|VT_VARIANT, or a typed
// reference to the register's own value, or two VT_VARIANT boxes deep.
struct reference {
    VARIANT outer{};
    VARIANT middle{};
};
const VARIANT* make_source(input& in, std::array<oa::unique_variant, registers>& regs, std::size_t s, reference& ref) {
    VARIANT& target = regs[s];
    switch (in.byte() % 4) {
    case 1:
        ref.outer.vt = VT_BYREF | VT_VARIANT;
        ref.outer.pvarVal = &target;
        return &ref.outer;
    case 2:
        if (element_size(target.vt) && target.vt != VT_VARIANT) {
            ref.outer.vt = VT_BYREF | target.vt;
            ref.outer.byref = &target.llVal;
            return &ref.outer;
        }
        return &target;
    case 3:
        ref.middle.vt = VT_BYREF | VT_VARIANT;
        ref.middle.pvarVal = &target;
        ref.outer.vt = VT_BYREF | VT_VARIANT;
        ref.outer.pvarVal = &ref.middle;
        return &ref.outer;
    default: return &target;
    }
}

void change_type(input& in, std::array<oa::unique_variant, registers>& regs) {
    const std::size_t d = in.byte() % registers;
    const std::size_t s = in.byte() % registers;
    reference ref;
    const VARIANT* src = make_source(in, regs, s, ref);
    const USHORT flags = in.pick<USHORT>({0, VARIANT_NOVALUEPROP, VARIANT_ALPHABOOL, VARIANT_LOCALBOOL,
                                          static_cast<USHORT>(in.u16())});
    const VARTYPE vt = decode_target_type(in);
    const VARIANT before = regs[d];
    const VARTYPE source_type = regs[s].vt;
    const HRESULT hr = in.flag() ? VariantChangeType(&regs[d], src, flags, vt)
                                 : VariantChangeTypeEx(&regs[d], src, in.pick<LCID>({0x409, 0x407, 0}), flags, vt);
    if (SUCCEEDED(hr)) {
        expect(hr == S_OK, "VariantChangeType succeeded with", "a code other than S_OK");
        expect(regs[d].vt == vt, "VariantChangeType succeeded with", "another type than asked");
        if (vt == VT_BSTR && is_integer_type(source_type) && src == &regs[s] && d != s) {
            // Integers come back unchanged through their text.
            oa::unique_variant back;
            expect(VariantChangeType(&back, &regs[d], 0, source_type) == S_OK, "integer text", "did not read back");
            expect(integer_bits(back) == integer_bits(regs[s]), "integer text", "read back another value");
        }
    } else {
        expect(std::memcmp(&before, &regs[d], sizeof before) == 0, "failed VariantChangeType",
               "changed its destination");
    }
}

void copy(input& in, std::array<oa::unique_variant, registers>& regs) {
    const std::size_t d = in.byte() % registers;
    const std::size_t s = in.byte() % registers;
    reference ref;
    const VARIANT* src = make_source(in, regs, s, ref);
    const bool indirect = in.flag();
    const HRESULT hr = indirect ? VariantCopyInd(&regs[d], src) : VariantCopy(&regs[d], src);
    if (SUCCEEDED(hr) && src == &regs[s]) expect(regs[d].vt == regs[s].vt, "VariantCopy", "changed the type");
    if (SUCCEEDED(hr) && indirect) expect(!(regs[d].vt & VT_BYREF), "VariantCopyInd", "left a reference");
    // A by-reference copy must not outlive the register it points to.
    if (regs[d].vt & VT_BYREF) VariantInit(&regs[d]);
}

ULONG decode_count(input& in, VARTYPE vt) {
    ULONG count = in.flag() ? in.u32() : in.byte() % 24;
    const std::uint64_t bytes = static_cast<std::uint64_t>(count) * element_size(vt);
    // Room that the runtime would hand out (below 4 GiB) but that a fuzz run cannot afford.
    if (bytes > (16u << 20) && bytes <= 0xFFFFFFFFull) count %= 4096;
    return count;
}

LONG decode_index(input& in, const array_slot& slot) {
    switch (in.byte() % 4) {
    case 0: return static_cast<LONG>(in.u32());
    case 1: return static_cast<LONG>(static_cast<std::uint32_t>(slot.lower) - 1u);  // wraps below the smallest
    default:
        return static_cast<LONG>(static_cast<std::int64_t>(slot.lower) + (slot.count ? in.byte() % (std::uint64_t{slot.count} + 1) : 0));
    }
}

bool in_range(const array_slot& slot, LONG index) {
    const std::int64_t i = static_cast<std::int64_t>(index) - slot.lower;
    return i >= 0 && i < static_cast<std::int64_t>(slot.count);
}

void check_shape(const array_slot& slot) {
    if (!slot.a) return;
    LONG lower = 0, upper = 0;
    VARTYPE vt = VT_EMPTY;
    expect(SafeArrayGetDim(slot.a.get()) == 1, "SAFEARRAY", "has more than one dimension");
    expect(SafeArrayGetLBound(slot.a.get(), 1, &lower) == S_OK && lower == slot.lower, "SAFEARRAY", "lower bound");
    // An empty array's upper bound is one below its lower bound, wrapping at the smallest LONG.
    expect(SafeArrayGetUBound(slot.a.get(), 1, &upper) == S_OK &&
               static_cast<std::uint32_t>(upper) ==
                   static_cast<std::uint32_t>(static_cast<std::int64_t>(slot.lower) + slot.count - 1),
           "SAFEARRAY", "upper bound");
    expect(SafeArrayGetLBound(slot.a.get(), 2, &lower) == DISP_E_BADINDEX, "SAFEARRAY", "second dimension");
    expect(SafeArrayGetVartype(slot.a.get(), &vt) == S_OK && vt == slot.vt, "SAFEARRAY", "element type");
    expect(SafeArrayGetElemsize(slot.a.get()) == element_size(slot.vt), "SAFEARRAY", "element size");
    expect(slot.a.get()->cLocks == slot.locks, "SAFEARRAY", "lock count");
}

void unlock_all(array_slot& slot) {
    for (; slot.locks; --slot.locks) expect(SafeArrayUnlock(slot.a.get()) == S_OK, "SafeArrayUnlock", "failed");
    if (slot.a) expect(SafeArrayUnlock(slot.a.get()) == E_UNEXPECTED, "SafeArrayUnlock", "of an unlocked array");
}

void array_step(input& in, std::array<array_slot, arrays>& slots, std::array<oa::unique_variant, registers>& regs,
                const std::vector<IDispatch*>& pool) {
    array_slot& slot = slots[in.byte() % arrays];
    const std::uint8_t op = in.byte() % 12;
    if (!slot.a && op != 0 && op != 11) return;
    switch (op) {
    case 0: {  // create
        const VARTYPE vt = in.pick<VARTYPE>({VT_UI1, VT_I2, VT_I4, VT_R8, VT_BSTR, VT_VARIANT, VT_DISPATCH,
                                             VT_UNKNOWN, VT_BOOL, VT_I8, VT_DECIMAL, VT_EMPTY, VT_NULL,
                                             static_cast<VARTYPE>(in.u16())});
        const LONG lower = in.pick<LONG>({0, 1, -5, 0x7FFFFFFF, static_cast<LONG>(0x80000000),
                                          static_cast<LONG>(in.u32())});
        const ULONG count = decode_count(in, vt);
        if (slot.a) unlock_all(slot);
        slot.a.reset(SafeArrayCreateVector(vt, lower, count));
        // As in the standard runtime the last index need not fit a LONG (it wraps); the count must.
        const bool fits = count <= INT32_MAX && static_cast<std::uint64_t>(count) * element_size(vt) <= 0xFFFFFFFFull;
        const bool known = element_size(vt) != 0 && vt != VT_DECIMAL;
        if (!known || !fits) expect(!slot.a, "SafeArrayCreateVector", "made an array it cannot describe");
        else expect(slot.a.get() != nullptr, "SafeArrayCreateVector", "refused a small array");
        slot.vt = vt, slot.lower = lower, slot.count = slot.a ? count : 0, slot.locks = 0;
        break;
    }
    case 1: {  // redim
        SAFEARRAYBOUND bound{decode_count(in, slot.vt), in.pick<LONG>({slot.lower, 0, 0x7FFFFFFF,
                                                                        static_cast<LONG>(in.u32())})};
        const HRESULT hr = SafeArrayRedim(slot.a.get(), &bound);
        if (slot.locks) expect(hr == DISP_E_ARRAYISLOCKED, "SafeArrayRedim", "changed a locked array");
        if (hr == S_OK) slot.lower = bound.lLbound, slot.count = bound.cElements;
        break;
    }
    case 2: {  // put
        LONG index = decode_index(in, slot);
        HRESULT hr;
        if (slot.vt == VT_BSTR) {
            oa::unique_bstr s = oa::make_bstr(decode_text(in));
            hr = SafeArrayPutElement(slot.a.get(), &index, s.get());
        } else if (slot.vt == VT_DISPATCH || slot.vt == VT_UNKNOWN) {
            hr = SafeArrayPutElement(slot.a.get(), &index, pool[in.byte() % pool.size()]);
        } else if (slot.vt == VT_VARIANT) {
            hr = SafeArrayPutElement(slot.a.get(), &index, &regs[in.byte() % registers]);
        } else {
            std::uint64_t bits = in.u64();
            hr = SafeArrayPutElement(slot.a.get(), &index, &bits);
        }
        if (!in_range(slot, index)) expect(hr == DISP_E_BADINDEX, "SafeArrayPutElement", "outside the bounds");
        break;
    }
    case 3: {  // get
        LONG index = decode_index(in, slot);
        HRESULT hr;
        if (slot.vt == VT_BSTR) {
            oa::unique_bstr s;
            hr = SafeArrayGetElement(slot.a.get(), &index, s.put());
        } else if (slot.vt == VT_DISPATCH || slot.vt == VT_UNKNOWN) {
            oa::com_ptr<IUnknown> u;
            hr = SafeArrayGetElement(slot.a.get(), &index, u.put());
        } else if (slot.vt == VT_VARIANT) {
            oa::unique_variant v;
            hr = SafeArrayGetElement(slot.a.get(), &index, &v);
        } else {
            std::uint64_t bits = 0;
            hr = SafeArrayGetElement(slot.a.get(), &index, &bits);
        }
        if (!in_range(slot, index)) expect(hr == DISP_E_BADINDEX, "SafeArrayGetElement", "outside the bounds");
        else if (slot.locks == 0xFFFF) expect(hr == E_UNEXPECTED, "SafeArrayGetElement", "at the lock limit");
        else expect(SUCCEEDED(hr) || hr == E_OUTOFMEMORY, "SafeArrayGetElement", "failed inside the bounds");
        break;
    }
    case 4: {  // pointer to an element, written through for plain elements
        LONG index = decode_index(in, slot);
        void* p = nullptr;
        const HRESULT hr = SafeArrayPtrOfIndex(slot.a.get(), &index, &p);
        expect((hr == S_OK) == in_range(slot, index), "SafeArrayPtrOfIndex", "bounds");
        const std::uint8_t fill = in.byte();
        if (hr == S_OK && slot.vt != VT_BSTR && slot.vt != VT_VARIANT && slot.vt != VT_DISPATCH && slot.vt != VT_UNKNOWN)
            std::memset(p, fill, element_size(slot.vt));
        break;
    }
    case 5: {  // lock, possibly many times
        const ULONG times = in.flag() ? in.u16() + 2u : 1u;
        for (ULONG k = 0; k < times; ++k) {
            const HRESULT hr = SafeArrayLock(slot.a.get());
            if (hr != S_OK) {
                expect(slot.locks == 0xFFFF, "SafeArrayLock", "refused below its limit");
                break;
            }
            ++slot.locks;
        }
        break;
    }
    case 6: {  // unlock
        const HRESULT hr = SafeArrayUnlock(slot.a.get());
        expect((hr == S_OK) == (slot.locks > 0), "SafeArrayUnlock", "count");
        if (hr == S_OK) --slot.locks;
        break;
    }
    case 7: {  // access the data
        void* data = nullptr;
        if (SafeArrayAccessData(slot.a.get(), &data) == S_OK) {
            ++slot.locks;
            if (data && element_size(slot.vt) && slot.vt != VT_BSTR && slot.vt != VT_VARIANT &&
                slot.vt != VT_DISPATCH && slot.vt != VT_UNKNOWN)
                std::memset(data, in.byte(), slot.count * element_size(slot.vt));
            if (in.flag()) {
                expect(SafeArrayUnaccessData(slot.a.get()) == S_OK, "SafeArrayUnaccessData", "failed");
                --slot.locks;
            }
        }
        break;
    }
    case 8: {  // copy into the other slot
        array_slot& other = &slot == &slots[0] ? slots[1] : slots[0];
        SAFEARRAY* copy = nullptr;
        const HRESULT hr = SafeArrayCopy(slot.a.get(), &copy);
        if (hr != S_OK) {
            expect(copy == nullptr, "SafeArrayCopy", "failed but handed out a copy");
            break;
        }
        if (other.a) unlock_all(other);
        other.a.reset(copy);
        other.vt = slot.vt, other.lower = slot.lower, other.count = slot.count, other.locks = 0;
        break;
    }
    case 9: {  // destroy
        const HRESULT hr = SafeArrayDestroy(slot.a.get());
        if (slot.locks) {
            expect(hr == DISP_E_ARRAYISLOCKED, "SafeArrayDestroy", "destroyed a locked array");
        } else {
            expect(hr == S_OK, "SafeArrayDestroy", "failed on an unlocked array");
            (void)slot.a.release();
            slot.count = 0;
        }
        break;
    }
    case 10: {  // into a register, as a Variant that owns it
        unlock_all(slot);
        oa::unique_variant& r = regs[in.byte() % registers];
        const VARTYPE vt = slot.vt;
        r.reset();
        r.vt = VT_ARRAY | vt;
        r.parray = slot.a.release();
        slot.count = 0;
        break;
    }
    default: {  // out of a register
        oa::unique_variant& r = regs[in.byte() % registers];
        if (!(r.vt & VT_ARRAY) || (r.vt & VT_BYREF) || !r.parray) break;
        if (slot.a) unlock_all(slot);
        VARTYPE vt = VT_EMPTY;
        SafeArrayGetVartype(r.parray, &vt);
        slot.a.reset(r.parray);
        slot.vt = vt;
        slot.lower = slot.a.get()->rgsabound[0].lLbound;
        slot.count = slot.a.get()->rgsabound[0].cElements;
        slot.locks = slot.a.get()->cLocks;
        VariantInit(&r);
        break;
    }
    }
    check_shape(slot);
}

}  // namespace

int variant_input(const std::uint8_t* data, std::size_t size) {
    input in(data, size);
    const long objects_before = oa::module_count.load();
    {
        // Objects whose default values chain: a plain value, one through the first, and
        // one that answers with itself.
        std::vector<IDispatch*> pool{nullptr};
        std::vector<oa::com_ptr<value_object>> owned;
        oa::unique_variant plain;
        decode_value(in, {}, plain);
        owned.push_back(oa::make_self<value_object>(std::move(plain), false));
        oa::unique_variant chained;
        chained.vt = VT_DISPATCH;
        chained.pdispVal = owned.back().get();
        chained.pdispVal->AddRef();
        owned.push_back(oa::make_self<value_object>(std::move(chained), false));
        owned.push_back(oa::make_self<value_object>(oa::unique_variant(), true));
        for (auto& o : owned) pool.push_back(o.get());

        std::array<oa::unique_variant, registers> regs;
        std::array<array_slot, arrays> slots;
        for (int step = 0; step < max_steps && !in.empty(); ++step) {
            switch (in.byte() % 6) {
            case 0: decode_value(in, pool, regs[in.byte() % registers]); break;
            case 1:
            case 2: change_type(in, regs); break;
            case 3: copy(in, regs); break;
            default: array_step(in, slots, regs, pool); break;
            }
        }
        for (auto& slot : slots) {
            if (!slot.a) continue;
            unlock_all(slot);
            expect(SafeArrayDestroy(slot.a.release()) == S_OK, "SafeArrayDestroy", "failed at the end");
        }
        for (auto& r : regs) {
            // Junk type tags are refused; they own nothing.
            if (VariantClear(&r) != S_OK) VariantInit(&r);
        }
    }
    expect(oa::module_count.load() == objects_before, "object references", "leaked or over-released");
    return 0;
}

}  // namespace q2mr_fuzz
