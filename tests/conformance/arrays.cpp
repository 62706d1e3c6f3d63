// SAFEARRAY functions: creation and features per element type, bounds, locks, elements,
// redimensioning and copies.
#include "conformance.h"

namespace conf {

namespace {

constexpr VARTYPE element_types[] = {VT_I1, VT_UI1, VT_I2, VT_UI2, VT_I4, VT_UI4, VT_I8, VT_UI8, VT_INT,
                                     VT_UINT, VT_R4, VT_R8, VT_BOOL, VT_ERROR, VT_BSTR, VT_DISPATCH, VT_UNKNOWN,
                                     VT_VARIANT, VT_CY, VT_DATE};
constexpr VARTYPE refused_types[] = {VT_EMPTY, VT_NULL, VT_VOID, VT_HRESULT, VT_PTR, VT_SAFEARRAY, 0x0FFF,
                                     VARTYPE(VT_BYREF | VT_I4), VARTYPE(VT_ARRAY | VT_I4)};

answer array_answer(HRESULT hr, SAFEARRAY* psa) { return plain(hr, psa ? "" : "null"); }

// A vector of three elements of the type, each set to a value of its own.
SAFEARRAY* filled(VARTYPE vt, LONG lb = 0, ULONG n = 3) {
    SAFEARRAY* psa = SafeArrayCreateVector(vt, lb, n);
    if (!psa) return nullptr;
    for (LONG k = lb; k < lb + static_cast<LONG>(n); ++k) {
        if (vt == VT_BSTR) {
            oa::unique_bstr s(SysAllocString(oa::ole(std::u16string(1, static_cast<char16_t>(u'a' + k - lb)).c_str())));
            SafeArrayPutElement(psa, &k, s.get());
        } else if (vt == VT_VARIANT) {
            oa::unique_variant e;
            make(v_int(VT_I2, k), e);
            SafeArrayPutElement(psa, &k, &e);
        } else if (vt == VT_DISPATCH || vt == VT_UNKNOWN) {
            oa::com_ptr<IUnknown> o = oa::adopt(k == lb ? static_cast<IUnknown*>(new_unknown_object()) : nullptr);
            SafeArrayPutElement(psa, &k, o.get());
        } else {
            std::uint64_t bits = static_cast<std::uint64_t>(k + 1);
            SafeArrayPutElement(psa, &k, &bits);
        }
    }
    return psa;
}

std::string described(SAFEARRAY* psa) {
    VARIANT v;
    v.vt = VT_ARRAY | VT_EMPTY;  // array_text reads the element type from the array itself
    v.parray = psa;
    return value_text(v);
}

using array_step = std::function<answer(SAFEARRAY*)>;

void add_on(cases& out, const std::string& id, VARTYPE vt, array_step step) {
    out.push_back({id, [vt, step] {
                       oa::unique_safearray psa(filled(vt));
                       return step(psa.get());
                   }});
}

}  // namespace

void add_arrays(cases& out) {
    for (VARTYPE vt : element_types)
        for (LONG lb : {0, -2, 5})
            for (ULONG n : {0u, 3u}) {
                out.push_back({"SafeArrayCreateVector " + vt_name(vt) + " lb=" + std::to_string(lb) + " n=" + std::to_string(n),
                               [vt, lb, n] {
                                   oa::unique_safearray psa(filled(vt, lb, n));
                                   return plain(psa ? S_OK : E_FAIL, described(psa.get()));
                               }});
            }
    for (VARTYPE vt : refused_types)
        out.push_back({"SafeArrayCreateVector " + vt_name(vt), [vt] {
                           oa::unique_safearray psa(SafeArrayCreateVector(vt, 0, 1));
                           return array_answer(S_OK, psa.get());
                       }});
    out.push_back({"SafeArrayCreateVector lb=2147483647 n=2", [] {
                       oa::unique_safearray psa(SafeArrayCreateVector(VT_I4, 0x7FFFFFFF, 2));
                       return array_answer(S_OK, psa.get());
                   }});

    // Several dimensions: bounds in the caller's order, elements by index, the last one's redim.
    const std::vector<std::vector<SAFEARRAYBOUND>> shapes = {{{2, 0}}, {{2, 1}, {3, 0}}, {{2, -1}, {0, 0}}, {{1, 0}, {2, 5}, {3, 0}}};
    for (VARTYPE vt : {VT_I4, VT_BSTR, VT_VARIANT, VT_UNKNOWN, VT_R8})
        for (const auto& shape : shapes) {
            std::string name = "SafeArrayCreate " + vt_name(vt);
            for (const auto& b : shape) name += " [" + std::to_string(b.lLbound) + "+" + std::to_string(b.cElements) + "]";
            out.push_back({name, [vt, shape] {
                               auto bounds = shape;
                               oa::unique_safearray psa(SafeArrayCreate(vt, static_cast<UINT>(bounds.size()), bounds.data()));
                               if (!psa) return plain(E_FAIL, "null");
                               // One element set through its indexes (the last of each dimension).
                               std::vector<LONG> idx;
                               for (const auto& b : shape) idx.push_back(b.lLbound + static_cast<LONG>(b.cElements) - 1);
                               LONGLONG x = 7;  // wide enough for every element type
                               oa::unique_variant v;
                               make(v_int(VT_I4, 7), v);
                               oa::unique_bstr s(SysAllocString(oa::ole(u"s")));
                               void* what = vt == VT_VARIANT ? static_cast<void*>(&v) : vt == VT_BSTR ? static_cast<void*>(s.get())
                                            : vt == VT_UNKNOWN ? nullptr : static_cast<void*>(&x);
                               const HRESULT put = SafeArrayPutElement(psa.get(), idx.data(), what);
                               void* p = nullptr;
                               SafeArrayPtrOfIndex(psa.get(), idx.data(), &p);
                               const auto offset = p ? static_cast<char*>(p) - static_cast<char*>(psa.get()->pvData) : -1;
                               std::string text = described(psa.get()) + " put=" + hex(static_cast<std::uint32_t>(put), 8) +
                                                  " offset=" + std::to_string(offset);
                               SAFEARRAYBOUND grow{4, shape.back().lLbound};
                               const HRESULT redim = SafeArrayRedim(psa.get(), &grow);
                               text += " redim=" + hex(static_cast<std::uint32_t>(redim), 8);
                               text += " " + described(psa.get());
                               return plain(S_OK, text);
                           }});
        }
    for (UINT dims : {0u, 1u}) {
        out.push_back({"SafeArrayCreate dims=" + std::to_string(dims) + " without bounds", [dims] {
                           oa::unique_safearray psa(SafeArrayCreate(VT_I4, dims, nullptr));
                           return array_answer(S_OK, psa.get());
                       }});
    }
    for (VARTYPE vt : refused_types)
        out.push_back({"SafeArrayCreate " + vt_name(vt), [vt] {
                           SAFEARRAYBOUND b{1, 0};
                           oa::unique_safearray psa(SafeArrayCreate(vt, 1, &b));
                           return array_answer(S_OK, psa.get());
                       }});
    out.push_back({"SafeArrayGetElement two dimensions, index out of the second", [] {
                       SAFEARRAYBOUND b[] = {{2, 0}, {2, 0}};
                       oa::unique_safearray psa(SafeArrayCreate(VT_I4, 2, b));
                       LONG idx[] = {1, 2};
                       LONG x = 0;
                       return plain(SafeArrayGetElement(psa.get(), idx, &x), std::to_string(x));
                   }});

    // Queries, also on a null array.
    for (UINT dim : {0u, 1u, 2u}) {
        add_on(out, "SafeArrayGetLBound dim=" + std::to_string(dim), VT_I4, [dim](SAFEARRAY* psa) {
            LONG b = -99;
            const HRESULT hr = SafeArrayGetLBound(psa, dim, &b);
            return plain(hr, std::to_string(b));
        });
        add_on(out, "SafeArrayGetUBound dim=" + std::to_string(dim), VT_I4, [dim](SAFEARRAY* psa) {
            LONG b = -99;
            const HRESULT hr = SafeArrayGetUBound(psa, dim, &b);
            return plain(hr, std::to_string(b));
        });
    }
    out.push_back({"SafeArrayGetLBound(null)", [] {
                       LONG b = -99;
                       return plain(SafeArrayGetLBound(nullptr, 1, &b), std::to_string(b));
                   }});
    out.push_back({"SafeArrayGetDim(null)", [] { return plain(S_OK, std::to_string(SafeArrayGetDim(nullptr))); }});
    out.push_back({"SafeArrayGetElemsize(null)", [] { return plain(S_OK, std::to_string(SafeArrayGetElemsize(nullptr))); }});
    out.push_back({"SafeArrayGetVartype(null)", [] {
                       VARTYPE vt = 0xFFFF;
                       return plain(SafeArrayGetVartype(nullptr, &vt), hex(vt, 4));
                   }});
    out.push_back({"SafeArrayDestroy(null)", [] { return plain(SafeArrayDestroy(nullptr), ""); }});
    out.push_back({"SafeArrayCopy(null)", [] {
                       SAFEARRAY* psa = reinterpret_cast<SAFEARRAY*>(1);
                       const HRESULT hr = SafeArrayCopy(nullptr, &psa);
                       return plain(hr, psa ? "not null" : "null");
                   }});

    // Locks: what a locked array refuses, and the count.
    struct lock_case {
        const char* name;
        int locks;  // taken before the step
        std::function<HRESULT(SAFEARRAY*)> step;
    };
    SAFEARRAYBOUND grow{5, 0};
    const lock_case lock_cases[] = {
        {"SafeArrayUnlock unlocked", 0, [](SAFEARRAY* p) { return SafeArrayUnlock(p); }},
        {"SafeArrayUnlock locked", 1, [](SAFEARRAY* p) { return SafeArrayUnlock(p); }},
        {"SafeArrayLock twice", 1, [](SAFEARRAY* p) { return SafeArrayLock(p); }},
        {"SafeArrayDestroy locked", 1, [](SAFEARRAY* p) { return SafeArrayDestroy(p); }},
        {"SafeArrayRedim locked", 1, [grow](SAFEARRAY* p) {
             SAFEARRAYBOUND b = grow;
             return SafeArrayRedim(p, &b);
         }},
        {"SafeArrayUnaccessData unlocked", 0, [](SAFEARRAY* p) { return SafeArrayUnaccessData(p); }},
        {"SafeArrayAccessData", 0, [](SAFEARRAY* p) {
             void* data = nullptr;
             const HRESULT hr = SafeArrayAccessData(p, &data);
             return SUCCEEDED(hr) && data != p->pvData ? E_FAIL : hr;
         }},
        {"SafeArrayPutElement locked", 1, [](SAFEARRAY* p) {
             LONG i = 0, x = 9;
             return SafeArrayPutElement(p, &i, &x);
         }},
    };
    for (const lock_case& c : lock_cases) {
        out.push_back({c.name, [c] {
                           SAFEARRAY* psa = filled(VT_I4);
                           for (int k = 0; k < c.locks; ++k) SafeArrayLock(psa);
                           const HRESULT hr = c.step(psa);
                           answer a = plain(hr, "");
                           if (hr != S_OK || std::string(c.name) != "SafeArrayDestroy locked") {
                               a.value = described(psa);
                               while (psa->cLocks) SafeArrayUnlock(psa);
                               SafeArrayDestroy(psa);
                           }
                           return a;
                       }});
    }

    // Elements: copies in and out, bad indexes, each element kind.
    for (VARTYPE vt : {VT_I4, VT_BSTR, VT_VARIANT, VT_UNKNOWN, VT_BOOL, VT_R8}) {
        for (LONG i : {-1, 0, 2, 3}) {
            add_on(out, "SafeArrayGetElement " + vt_name(vt) + " [" + std::to_string(i) + "]", vt, [vt, i](SAFEARRAY* psa) {
                oa::unique_variant slot;  // big enough for every element kind
                LONG idx = i;
                const HRESULT hr = SafeArrayGetElement(psa, &idx, vt == VT_VARIANT ? static_cast<void*>(&slot) : &slot.llVal);
                if (SUCCEEDED(hr) && vt != VT_VARIANT) slot.vt = vt;
                answer a = of(hr, slot);
                a.value += " | " + described(psa);
                return a;
            });
            add_on(out, "SafeArrayPtrOfIndex " + vt_name(vt) + " [" + std::to_string(i) + "]", vt, [i](SAFEARRAY* psa) {
                void* p = nullptr;
                LONG idx = i;
                const HRESULT hr = SafeArrayPtrOfIndex(psa, &idx, &p);
                const auto offset = p ? static_cast<char*>(p) - static_cast<char*>(psa->pvData) : -1;
                return plain(hr, std::to_string(offset));
            });
        }
        add_on(out, "SafeArrayPutElement " + vt_name(vt), vt, [vt](SAFEARRAY* psa) {
            oa::unique_variant v;
            make(vt == VT_BSTR ? v_str(u"put") : vt == VT_VARIANT ? v_str(u"put") : vt == VT_UNKNOWN
                 ? v_object(VT_UNKNOWN, object_kind::unknown_only) : v_int(VT_I4, 77), v);
            LONG idx = 1;
            void* what = vt == VT_VARIANT ? static_cast<void*>(&v) : (vt == VT_BSTR || vt == VT_UNKNOWN) ? v.byref : &v.llVal;
            const HRESULT hr = SafeArrayPutElement(psa, &idx, what);
            return plain(hr, described(psa));
        });
        if (vt == VT_BSTR || vt == VT_UNKNOWN)  // a null string or object; for others the standard reads through it
            add_on(out, "SafeArrayPutElement " + vt_name(vt) + " null", vt, [](SAFEARRAY* psa) {
                LONG idx = 0;
                const HRESULT hr = SafeArrayPutElement(psa, &idx, nullptr);
                return plain(hr, described(psa));
            });
        add_on(out, "SafeArrayCopy " + vt_name(vt), vt, [](SAFEARRAY* psa) {
            SAFEARRAY* copy = nullptr;
            const HRESULT hr = SafeArrayCopy(psa, &copy);
            oa::unique_safearray owner(copy);
            return plain(hr, described(copy) + (copy && copy->pvData == psa->pvData ? " shares data" : ""));
        });
        for (ULONG n : {0u, 1u, 5u}) {
            for (LONG lb : {0, 1}) {
                add_on(out, "SafeArrayRedim " + vt_name(vt) + " to n=" + std::to_string(n) + " lb=" + std::to_string(lb), vt,
                       [n, lb](SAFEARRAY* psa) {
                           SAFEARRAYBOUND b{n, lb};
                           const HRESULT hr = SafeArrayRedim(psa, &b);
                           return plain(hr, described(psa));
                       });
            }
        }
    }
    add_on(out, "SafeArrayRedim fixed size", VT_I4, [](SAFEARRAY* psa) {
        psa->fFeatures |= FADF_FIXEDSIZE;
        SAFEARRAYBOUND b{5, 0};
        const HRESULT hr = SafeArrayRedim(psa, &b);
        psa->fFeatures &= static_cast<USHORT>(~FADF_FIXEDSIZE);
        return plain(hr, described(psa));
    });
    add_on(out, "SafeArrayRedim null bound", VT_I4, [](SAFEARRAY* psa) { return plain(SafeArrayRedim(psa, nullptr), ""); });
    add_on(out, "SafeArrayDestroy releases objects", VT_UNKNOWN, [](SAFEARRAY*) { return plain(S_OK, ""); });
}

}  // namespace conf
