// SAFEARRAY. Each descriptor is allocated with a 16-byte prefix whose last 4 bytes hold
// the element VARTYPE (FADF_HAVEVARTYPE); the element data is a separate block.
#include "internal.h"
#include "variant_types.h"

#include <atomic>
#include <cstdlib>
#include <cstring>

using namespace oa_detail;

namespace {

constexpr std::size_t kPrefix = 16;
// Element data is limited to what a 32-bit byte count can describe.
constexpr std::uint64_t kMaxDataBytes = 0xFFFFFFFFull;

VARTYPE& stored_vartype(SAFEARRAY* psa) {
    return *reinterpret_cast<VARTYPE*>(reinterpret_cast<char*>(psa) - 4);
}

// Arrays of interfaces say so by their features (and carry an interface id, not a type).
USHORT features_of(VARTYPE vt) {
    switch (vt) {
    case VT_BSTR: return FADF_HAVEVARTYPE | FADF_BSTR;
    case VT_UNKNOWN: return FADF_HAVEIID | FADF_UNKNOWN;
    case VT_DISPATCH: return FADF_HAVEIID | FADF_DISPATCH;
    case VT_VARIANT: return FADF_HAVEVARTYPE | FADF_VARIANT;
    default: return FADF_HAVEVARTYPE;
    }
}

SAFEARRAY* alloc_descriptor(USHORT dims) {
    const std::size_t size = kPrefix + sizeof(SAFEARRAY) + (dims > 1 ? (dims - 1) * sizeof(SAFEARRAYBOUND) : 0);
    auto* block = static_cast<char*>(std::calloc(1, size));
    if (!block) return nullptr;
    auto* psa = reinterpret_cast<SAFEARRAY*>(block + kPrefix);
    psa->cDims = dims;
    return psa;
}

void free_descriptor(SAFEARRAY* psa) { std::free(reinterpret_cast<char*>(psa) - kPrefix); }

bool element_count(const SAFEARRAY* psa, std::uint64_t& n) {
    n = 1;
    for (USHORT d = 0; d < psa->cDims; ++d) {
        if (__builtin_mul_overflow(n, static_cast<std::uint64_t>(psa->rgsabound[d].cElements), &n)) return false;
    }
    return true;
}

bool data_bytes(std::uint64_t count, ULONG elem, std::size_t& bytes) {
    std::uint64_t b;
    if (__builtin_mul_overflow(count, static_cast<std::uint64_t>(elem), &b) || b > kMaxDataBytes) return false;
    bytes = static_cast<std::size_t>(b);
    return true;
}

// The last index must be representable as a LONG.
bool bound_ok(const SAFEARRAYBOUND& b) {
    return static_cast<std::int64_t>(b.lLbound) + static_cast<std::int64_t>(b.cElements) - 1 <= INT32_MAX;
}

// Releases what elements [first, first + count) own and zeroes them.
void release_elements(SAFEARRAY* psa, std::uint64_t first, std::uint64_t count) {
    if (!psa->pvData || !count) return;
    char* p = static_cast<char*>(psa->pvData) + first * psa->cbElements;
    if (psa->fFeatures & FADF_BSTR) {
        auto* e = reinterpret_cast<BSTR*>(p);
        for (std::uint64_t k = 0; k < count; ++k) SysFreeString(e[k]);
    } else if (psa->fFeatures & (FADF_UNKNOWN | FADF_DISPATCH)) {
        auto* e = reinterpret_cast<IUnknown**>(p);
        for (std::uint64_t k = 0; k < count; ++k)
            if (e[k]) e[k]->Release();
    } else if (psa->fFeatures & FADF_VARIANT) {
        auto* e = reinterpret_cast<VARIANT*>(p);
        for (std::uint64_t k = 0; k < count; ++k) VariantClear(&e[k]);
    }
    std::memset(p, 0, count * psa->cbElements);
}

// Copies one element into zeroed storage.
HRESULT copy_element(const SAFEARRAY* psa, const void* from, void* to) {
    if (psa->fFeatures & FADF_BSTR) {
        BSTR s = *static_cast<const BSTR*>(from);
        BSTR c = nullptr;
        if (s && !(c = SysAllocStringByteLen(reinterpret_cast<const char*>(s), SysStringByteLen(s)))) return E_OUTOFMEMORY;
        *static_cast<BSTR*>(to) = c;
    } else if (psa->fFeatures & (FADF_UNKNOWN | FADF_DISPATCH)) {
        IUnknown* u = *static_cast<IUnknown* const*>(from);
        if (u) u->AddRef();
        *static_cast<IUnknown**>(to) = u;
    } else if (psa->fFeatures & FADF_VARIANT) {
        auto* dst = static_cast<VARIANT*>(to);
        VariantInit(dst);
        return VariantCopy(dst, static_cast<const VARIANT*>(from));
    } else {
        std::memcpy(to, from, psa->cbElements);
    }
    return S_OK;
}

std::atomic_ref<ULONG> locks_of(SAFEARRAY* psa) { return std::atomic_ref<ULONG>(psa->cLocks); }

HRESULT offset_of(SAFEARRAY* psa, const LONG* idx, std::uint64_t& offset) {
    // rgIndices run left to right; rgsabound is stored rightmost dimension first.
    std::uint64_t linear = 0;
    for (USHORT d = 0; d < psa->cDims; ++d) {
        const SAFEARRAYBOUND& b = psa->rgsabound[psa->cDims - 1 - d];
        const std::int64_t i = static_cast<std::int64_t>(idx[d]) - b.lLbound;
        if (i < 0 || i >= static_cast<std::int64_t>(b.cElements)) return DISP_E_BADINDEX;
        linear = linear * b.cElements + static_cast<std::uint64_t>(i);
    }
    offset = linear * psa->cbElements;
    return S_OK;
}

}  // namespace

STDAPI_(SAFEARRAY*) SafeArrayCreate(VARTYPE vt, UINT cDims, SAFEARRAYBOUND* rgsabound) {
    const std::size_t elem = value_size(vt);
    if (!elem || vt == VT_DECIMAL || !cDims || cDims > 0xFFFF || !rgsabound) return nullptr;
    std::uint64_t count = 1;
    for (UINT d = 0; d < cDims; ++d)
        if (__builtin_mul_overflow(count, static_cast<std::uint64_t>(rgsabound[d].cElements), &count)) return nullptr;
    std::size_t bytes;
    if (!data_bytes(count, static_cast<ULONG>(elem), bytes)) return nullptr;
    void* data = nullptr;
    if (bytes && !(data = std::calloc(1, bytes))) return nullptr;
    SAFEARRAY* psa = alloc_descriptor(static_cast<USHORT>(cDims));
    if (!psa) {
        std::free(data);
        return nullptr;
    }
    psa->fFeatures = features_of(vt);
    psa->cbElements = static_cast<ULONG>(elem);
    psa->pvData = data;
    // The caller lists the dimensions left to right; the descriptor keeps them rightmost first.
    for (UINT d = 0; d < cDims; ++d) psa->rgsabound[cDims - 1 - d] = rgsabound[d];
    stored_vartype(psa) = vt;
    return psa;
}

STDAPI_(SAFEARRAY*) SafeArrayCreateVector(VARTYPE vt, LONG lLbound, ULONG cElements) {
    const std::size_t elem = value_size(vt);
    if (!elem || vt == VT_DECIMAL) return nullptr;
    const SAFEARRAYBOUND bound{cElements, lLbound};
    // The standard runtime does not check that the last index fits a LONG; a count that no
    // LONG could reach is still refused here.
    std::size_t bytes;
    if (cElements > INT32_MAX || !data_bytes(cElements, static_cast<ULONG>(elem), bytes)) return nullptr;
    void* data = nullptr;
    if (bytes && !(data = std::calloc(1, bytes))) return nullptr;
    SAFEARRAY* psa = alloc_descriptor(1);
    if (!psa) {
        std::free(data);
        return nullptr;
    }
    psa->fFeatures = features_of(vt) | FADF_CREATEVECTOR;
    psa->cbElements = static_cast<ULONG>(elem);
    psa->pvData = data;
    psa->rgsabound[0] = bound;
    stored_vartype(psa) = vt;
    return psa;
}

STDAPI SafeArrayDestroy(SAFEARRAY* psa) {
    if (!psa) return S_OK;
    if (locks_of(psa).load()) return DISP_E_ARRAYISLOCKED;
    std::uint64_t n;
    element_count(psa, n);
    release_elements(psa, 0, n);
    std::free(psa->pvData);
    free_descriptor(psa);
    return S_OK;
}

STDAPI SafeArrayRedim(SAFEARRAY* psa, SAFEARRAYBOUND* psaboundNew) {
    if (!psa || !psaboundNew || psa->cDims == 0) return E_INVALIDARG;
    // A fixed-size array refuses as a locked one does, as in the standard runtime.
    if (locks_of(psa).load() || (psa->fFeatures & FADF_FIXEDSIZE)) return DISP_E_ARRAYISLOCKED;
    if (!bound_ok(*psaboundNew)) return E_INVALIDARG;
    // The last (rightmost) dimension is rgsabound[0]; the others make one row.
    std::uint64_t row = 1;
    for (USHORT d = 1; d < psa->cDims; ++d) row *= psa->rgsabound[d].cElements;
    const std::uint64_t old_count = row * psa->rgsabound[0].cElements;
    std::uint64_t new_count;
    std::size_t new_bytes;
    if (__builtin_mul_overflow(row, static_cast<std::uint64_t>(psaboundNew->cElements), &new_count) ||
        !data_bytes(new_count, psa->cbElements, new_bytes))
        return E_OUTOFMEMORY;
    const std::size_t old_bytes = static_cast<std::size_t>(old_count * psa->cbElements);
    if (new_count < old_count) {
        release_elements(psa, new_count, old_count - new_count);
    }
    if (new_bytes != old_bytes) {
        void* data = nullptr;
        if (new_bytes) {
            data = std::realloc(psa->pvData, new_bytes);
            if (!data) return E_OUTOFMEMORY;  // only after shrinking, which cannot fail this way in practice
            if (new_bytes > old_bytes) std::memset(static_cast<char*>(data) + old_bytes, 0, new_bytes - old_bytes);
        } else {
            std::free(psa->pvData);
        }
        psa->pvData = data;
    }
    psa->rgsabound[0] = *psaboundNew;
    return S_OK;
}

STDAPI_(UINT) SafeArrayGetDim(SAFEARRAY* psa) { return psa ? psa->cDims : 0; }

STDAPI_(UINT) SafeArrayGetElemsize(SAFEARRAY* psa) { return psa ? psa->cbElements : 0; }

STDAPI SafeArrayGetVartype(SAFEARRAY* psa, VARTYPE* pvt) {
    if (!psa || !pvt) return E_INVALIDARG;
    if (psa->fFeatures & FADF_HAVEVARTYPE) *pvt = stored_vartype(psa);
    else if (psa->fFeatures & FADF_BSTR) *pvt = VT_BSTR;
    else if (psa->fFeatures & FADF_UNKNOWN) *pvt = VT_UNKNOWN;
    else if (psa->fFeatures & FADF_DISPATCH) *pvt = VT_DISPATCH;
    else if (psa->fFeatures & FADF_VARIANT) *pvt = VT_VARIANT;
    else return E_INVALIDARG;
    return S_OK;
}

STDAPI SafeArrayGetLBound(SAFEARRAY* psa, UINT nDim, LONG* plLbound) {
    if (!psa || !plLbound) return E_INVALIDARG;
    if (nDim < 1 || nDim > psa->cDims) return DISP_E_BADINDEX;
    *plLbound = psa->rgsabound[psa->cDims - nDim].lLbound;
    return S_OK;
}

STDAPI SafeArrayGetUBound(SAFEARRAY* psa, UINT nDim, LONG* plUbound) {
    if (!psa || !plUbound) return E_INVALIDARG;
    if (nDim < 1 || nDim > psa->cDims) return DISP_E_BADINDEX;
    const SAFEARRAYBOUND& b = psa->rgsabound[psa->cDims - nDim];
    *plUbound = static_cast<LONG>(static_cast<std::int64_t>(b.lLbound) + b.cElements - 1);
    return S_OK;
}

STDAPI SafeArrayLock(SAFEARRAY* psa) {
    if (!psa) return E_INVALIDARG;
    ULONG n = locks_of(psa).load();
    do {
        if (n == 0xFFFF) return E_UNEXPECTED;  // lock count overflow
    } while (!locks_of(psa).compare_exchange_weak(n, n + 1));
    return S_OK;
}

STDAPI SafeArrayUnlock(SAFEARRAY* psa) {
    if (!psa) return E_INVALIDARG;
    ULONG n = locks_of(psa).load();
    do {
        if (n == 0) return E_UNEXPECTED;
    } while (!locks_of(psa).compare_exchange_weak(n, n - 1));
    return S_OK;
}

STDAPI SafeArrayAccessData(SAFEARRAY* psa, void** ppvData) {
    if (!psa || !ppvData) return E_INVALIDARG;
    HRESULT hr = SafeArrayLock(psa);
    if (FAILED(hr)) return hr;
    *ppvData = psa->pvData;
    return S_OK;
}

STDAPI SafeArrayUnaccessData(SAFEARRAY* psa) { return SafeArrayUnlock(psa); }

STDAPI SafeArrayPtrOfIndex(SAFEARRAY* psa, LONG* rgIndices, void** ppvData) {
    if (!psa || !rgIndices || !ppvData) return E_INVALIDARG;
    std::uint64_t off;
    HRESULT hr = offset_of(psa, rgIndices, off);
    if (FAILED(hr)) return hr;
    *ppvData = static_cast<char*>(psa->pvData) + off;
    return S_OK;
}

STDAPI SafeArrayGetElement(SAFEARRAY* psa, LONG* rgIndices, void* pv) {
    if (!psa || !rgIndices || !pv) return E_INVALIDARG;
    std::uint64_t off;
    HRESULT hr = offset_of(psa, rgIndices, off);
    if (FAILED(hr)) return hr;
    // Only a lock actually taken is given back (the count can be at its limit).
    hr = SafeArrayLock(psa);
    if (FAILED(hr)) return hr;
    hr = copy_element(psa, static_cast<char*>(psa->pvData) + off, pv);
    SafeArrayUnlock(psa);
    return hr;
}

STDAPI SafeArrayPutElement(SAFEARRAY* psa, LONG* rgIndices, void* pv) {
    if (!psa || !rgIndices) return E_INVALIDARG;
    std::uint64_t off;
    HRESULT hr = offset_of(psa, rgIndices, off);
    if (FAILED(hr)) return hr;
    void* slot = static_cast<char*>(psa->pvData) + off;
    hr = SafeArrayLock(psa);
    if (FAILED(hr)) return hr;
    // BSTR and interface elements are passed as the value itself, the others by address.
    if (psa->fFeatures & FADF_BSTR) {
        BSTR s = static_cast<BSTR>(pv);  // a null text is stored as the empty one
        BSTR c = SysAllocStringByteLen(reinterpret_cast<const char*>(s), SysStringByteLen(s));
        if (!c) {
            hr = E_OUTOFMEMORY;
        } else {
            SysFreeString(*static_cast<BSTR*>(slot));
            *static_cast<BSTR*>(slot) = c;
        }
    } else if (psa->fFeatures & (FADF_UNKNOWN | FADF_DISPATCH)) {
        auto* u = static_cast<IUnknown*>(pv);
        if (u) u->AddRef();
        IUnknown* old = *static_cast<IUnknown**>(slot);
        *static_cast<IUnknown**>(slot) = u;
        if (old) old->Release();
    } else if (!pv) {
        hr = E_INVALIDARG;
    } else if (psa->fFeatures & FADF_VARIANT) {
        hr = VariantCopy(static_cast<VARIANT*>(slot), static_cast<const VARIANT*>(pv));
    } else {
        std::memcpy(slot, pv, psa->cbElements);
    }
    SafeArrayUnlock(psa);
    return hr;
}

STDAPI SafeArrayCopy(SAFEARRAY* psa, SAFEARRAY** ppsaOut) {
    if (!ppsaOut) return E_INVALIDARG;
    *ppsaOut = nullptr;
    if (!psa) return S_OK;
    std::uint64_t n;
    std::size_t bytes;
    if (!element_count(psa, n) || !data_bytes(n, psa->cbElements, bytes)) return E_OUTOFMEMORY;
    SAFEARRAY* out = alloc_descriptor(psa->cDims);
    if (!out) return E_OUTOFMEMORY;
    out->fFeatures = psa->fFeatures & ~FADF_CREATEVECTOR;  // the copy is made as a whole
    out->cbElements = psa->cbElements;
    std::memcpy(out->rgsabound, psa->rgsabound, psa->cDims * sizeof(SAFEARRAYBOUND));
    if (psa->fFeatures & FADF_HAVEVARTYPE) stored_vartype(out) = stored_vartype(psa);
    if (bytes) {
        out->pvData = std::calloc(1, bytes);
        if (!out->pvData) {
            free_descriptor(out);
            return E_OUTOFMEMORY;
        }
        for (std::uint64_t k = 0; k < n; ++k) {
            const std::size_t off = static_cast<std::size_t>(k * psa->cbElements);
            HRESULT hr = copy_element(psa, static_cast<char*>(psa->pvData) + off, static_cast<char*>(out->pvData) + off);
            if (FAILED(hr)) {
                SafeArrayDestroy(out);
                return hr;
            }
        }
    }
    *ppsaOut = out;
    return S_OK;
}
