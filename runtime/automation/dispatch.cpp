#include <oa/ascii.h>
#include <oa/dispatch.h>
#include <oa/text.h>
#include <oa/unique.h>

#include <algorithm>
#include <array>
#include <new>
#include <stdexcept>
#include <utility>

namespace oa::disp {

using namespace std::string_view_literals;

bool same_name(std::u16string_view a, std::u16string_view b) noexcept {
    return a == b || oa::same_ascii_case(a, b);  // callers mostly spell names as declared
}

namespace {

struct type_word {
    std::u16string_view word;
    VARTYPE vt;
    storage store;
};
constexpr type_word type_words[] = {
    {u"String", VT_BSTR, storage::bstr},     {u"Integer", VT_I2, storage::i2},
    {u"Boolean", VT_BOOL, storage::i2},      {u"Long", VT_I4, storage::i4},
    {u"Variant", VT_VARIANT, storage::variant}, {u"Byte", VT_UI1, storage::ui1},
    {u"Byte()", VT_ARRAY | VT_UI1, storage::array}, {u"Variant()", VT_ARRAY | VT_VARIANT, storage::array},
};

std::u16string_view trim(std::u16string_view s) {
    while (!s.empty() && s.front() == u' ') s.remove_prefix(1);
    while (!s.empty() && s.back() == u' ') s.remove_suffix(1);
    return s;
}

// Gives a C++-derived parameter its declared type; objects take any other type word.
void apply_type(param& p, std::u16string_view word, std::u16string_view member_name) {
    p.type_name = std::u16string(word);
    for (const auto& t : type_words) {
        if (t.word == word) {
            if (t.store != p.store)
                throw std::logic_error("declared type does not fit the signature of " + utf16_to_utf8(member_name));
            p.vt = t.vt;
            return;
        }
    }
    if (p.store != storage::object)
        throw std::logic_error("unknown type word in " + utf16_to_utf8(member_name));
    p.vt = VT_DISPATCH;
}

}  // namespace

namespace detail {

member build(member_kind kind, DISPID id, std::u16string_view name, std::u16string_view signature,
             std::u16string_view result, std::vector<param> cxx_params, thunk call) {
    member m;
    m.name = std::u16string(name);
    m.id = id;
    m.kind = kind;
    m.call = call;
    m.has_result = !result.empty();
    std::size_t declared = 0;
    for (std::u16string_view rest = signature; !trim(rest).empty();) {
        std::size_t comma = rest.find(u',');
        std::u16string_view item = trim(rest.substr(0, comma));
        rest = comma == std::u16string_view::npos ? std::u16string_view() : rest.substr(comma + 1);
        if (m.vararg) throw std::logic_error("ParamArray must come last in " + utf16_to_utf8(name));
        bool optional = false;
        for (auto [keyword, flag] : {std::pair{u"Optional "sv, &optional}, std::pair{u"ParamArray "sv, &m.vararg}})
            if (item.substr(0, keyword.size()) == keyword) {
                *flag = true;
                item = trim(item.substr(keyword.size()));
            }
        std::size_t blank = item.find(u' ');
        if (blank == std::u16string_view::npos || declared >= cxx_params.size())
            throw std::logic_error("bad signature of " + utf16_to_utf8(name));
        param p = cxx_params[declared++];
        apply_type(p, item.substr(0, blank), name);
        p.optional = optional;
        if ((optional && p.vt != VT_VARIANT) || (m.vararg && p.vt != (VT_ARRAY | VT_VARIANT)) ||
            (!optional && !m.vararg && !m.params.empty() && m.params.back().optional))
            throw std::logic_error("Optional takes a Variant after the required arguments, ParamArray a Variant(), in " +
                                   utf16_to_utf8(name));
        std::u16string_view arg_name = trim(item.substr(blank + 1));
        if (!arg_name.empty() && arg_name.front() == u'&') {
            p.written = true;
            arg_name.remove_prefix(1);
        }
        p.name = std::u16string(arg_name);
        m.params.push_back(std::move(p));
    }
    if (declared + (m.has_result ? 1 : 0) != cxx_params.size())
        throw std::logic_error("argument count does not fit the signature of " + utf16_to_utf8(name));
    if (m.has_result) {
        m.result = cxx_params.back();
        if (!m.result.byref) throw std::logic_error("result of " + utf16_to_utf8(name) + " must be an out argument");
        apply_type(m.result, result, name);
    }
    return m;
}

}  // namespace detail

namespace {
// The first entry of id in an index sorted by id, or where it would be. Most interfaces
// number their members one by one from their first id, so the walk starts at id's offset
// from it and is a step or two long.
auto first_of_id(const std::vector<std::pair<DISPID, std::uint32_t>>& by_id, DISPID id) noexcept {
    if (by_id.empty()) return by_id.end();
    const std::int64_t offset = std::int64_t{id} - by_id.front().first;
    std::size_t at = offset < 0 ? 0 : static_cast<std::size_t>(std::min<std::int64_t>(offset, std::ssize(by_id) - 1));
    while (at > 0 && by_id[at - 1].first >= id) --at;
    while (at < by_id.size() && by_id[at].first < id) ++at;
    return by_id.begin() + static_cast<std::ptrdiff_t>(at);
}
}  // namespace

const member* interface_desc::find(DISPID id, WORD flags) const noexcept {
    for (auto at = first_of_id(by_id_, id); at != by_id_.end() && at->first == id; ++at) {
        const member& m = members[at->second];
        switch (m.kind) {
        case member_kind::method:
            if (flags & DISPATCH_METHOD) return &m;
            break;
        case member_kind::get:
            if (flags & DISPATCH_PROPERTYGET) return &m;
            break;
        case member_kind::put:
            if ((flags & DISPATCH_PROPERTYPUT) ||
                ((flags & DISPATCH_PROPERTYPUTREF) && m.params.size() == 1 && m.params[0].store == storage::object))
                return &m;
            break;
        case member_kind::putref:
            if (flags & DISPATCH_PROPERTYPUTREF) return &m;
            break;
        }
    }
    return nullptr;
}

namespace {
std::uint32_t name_key(std::u16string_view name) noexcept {
    if (name.empty()) return 0;
    const auto size = static_cast<std::uint32_t>(std::min<std::size_t>(name.size(), 0xFFFF));
    return size << 16 | static_cast<std::uint32_t>(oa::ascii_lower(name.front()) & 0xFF) << 8 |
           static_cast<std::uint32_t>(oa::ascii_lower(name.back()) & 0xFF);
}
}  // namespace

interface_desc::interface_desc(std::u16string name, const IID& iid, WORD type_flags, std::vector<member> members)
    : name(std::move(name)), iid(iid), type_flags(type_flags), members(std::move(members)) {
    name_keys_.reserve(this->members.size());
    by_id_.reserve(this->members.size());
    for (const member& m : this->members) {
        name_keys_.push_back(name_key(m.name));
        by_id_.emplace_back(m.id, static_cast<std::uint32_t>(by_id_.size()));
    }
    std::sort(by_id_.begin(), by_id_.end());
}

const member* interface_desc::member_of_name(std::u16string_view name) const noexcept {
    const std::uint32_t key = name_key(name);
    for (std::size_t i = 0; i < name_keys_.size(); ++i)
        if (name_keys_[i] == key && same_name(members[i].name, name)) return &members[i];
    return nullptr;
}

const member* interface_desc::first_with_id(DISPID id) const noexcept {
    auto at = first_of_id(by_id_, id);
    return at != by_id_.end() && at->first == id ? &members[at->second] : nullptr;
}

HRESULT ids_of_names(const interface_desc& desc, LPOLESTR* names, UINT count, DISPID* ids) noexcept {
    if (count == 0) return S_OK;
    if (!names || !ids) return E_POINTER;
    const member* named = desc.member_of_name(view_z(names[0]));
    ids[0] = named ? named->id : DISPID_UNKNOWN;
    HRESULT hr = named ? S_OK : DISP_E_UNKNOWNNAME;
    // Argument names belong to the first member of that id (the one the type information shows).
    const member* m = named ? desc.first_with_id(named->id) : nullptr;
    // As in the type information, a put's value has no name of its own.
    const bool is_put = m && (m->kind == member_kind::put || m->kind == member_kind::putref);
    const std::size_t nameable = m ? m->params.size() - (is_put ? 1 : 0) : 0;
    // Names after the first are argument names: their ids are their positions.
    for (UINT i = 1; i < count; ++i) {
        ids[i] = DISPID_UNKNOWN;
        if (m) {
            for (std::size_t k = 0; k < nameable; ++k)
                if (same_name(m->params[k].name, view_z(names[i]))) ids[i] = static_cast<DISPID>(k);
        }
        if (ids[i] == DISPID_UNKNOWN) hr = DISP_E_UNKNOWNNAME;
    }
    return hr;
}

namespace {

constexpr std::size_t max_params = 12;

// Where the value of one argument lives while the member runs.
void* storage_of(VARIANT& v, storage s) noexcept {
    switch (s) {
    case storage::bstr: return &v.bstrVal;
    case storage::i2: return &v.iVal;
    case storage::i4: return &v.lVal;
    case storage::ui1: return &v.bVal;
    case storage::array: return &v.parray;
    case storage::object: return &v.byref;
    case storage::variant: return &v;
    }
    return nullptr;
}

// One argument's slot: a temporary when the caller's value had to be converted.
struct slot {
    unique_variant temp;  // what a conversion wrote
    void* object = nullptr;         // objects: the declared interface, owned
    VARIANT* write_back = nullptr;  // the caller's variable that receives the written value
    IDispatch** object_back = nullptr;
    const param* p = nullptr;

    slot() = default;
    slot(const slot&) = delete;
    ~slot() {
        if (object) p->as_unknown(object)->Release();
    }
    static bool needs_clear(VARTYPE vt) noexcept {
        return vt == VT_BSTR || vt == VT_DISPATCH || vt == VT_UNKNOWN || vt == VT_VARIANT || (vt & VT_ARRAY);
    }
    // Hands the converted value to the caller, leaving the slot empty.
    VARIANT release() noexcept { return temp.release(); }
};

// Integer conversions that late-bound callers make on almost every call, without a call
// into the runtime; everything else goes through VariantChangeType.
bool quick_integer(const VARIANT& from, VARTYPE to, VARIANT& out, HRESULT& hr) noexcept {
    if (to == VT_I2 && from.vt == VT_I4) {
        if (from.lVal < -32768 || from.lVal > 32767) {
            hr = DISP_E_OVERFLOW;
            return true;
        }
        out.vt = VT_I2;
        out.iVal = static_cast<SHORT>(from.lVal);
        hr = S_OK;
        return true;
    }
    if (to == VT_I4 && from.vt == VT_I2) {
        out.vt = VT_I4;
        out.lVal = from.iVal;
        hr = S_OK;
        return true;
    }
    return false;
}

HRESULT object_from(const VARIANT& src, const param& p, void*& out) noexcept {
    const VARIANT* v = &src;
    if (v->vt == (VT_BYREF | VT_VARIANT)) {
        if (!v->pvarVal) return E_POINTER;
        v = v->pvarVal;
    }
    IUnknown* unk = nullptr;
    switch (v->vt) {
    case VT_EMPTY: break;
    case VT_DISPATCH: unk = v->pdispVal; break;
    case VT_UNKNOWN: unk = v->punkVal; break;
    case VT_DISPATCH | VT_BYREF:
        if (!v->ppdispVal) return E_POINTER;
        unk = *v->ppdispVal;
        break;
    case VT_UNKNOWN | VT_BYREF:
        if (!v->ppunkVal) return E_POINTER;
        unk = *v->ppunkVal;
        break;
    default: return DISP_E_TYPEMISMATCH;
    }
    out = nullptr;
    if (unk && FAILED(unk->QueryInterface(*p.iid, &out))) {
        out = nullptr;
        return DISP_E_TYPEMISMATCH;
    }
    return S_OK;
}

HRESULT prepare(VARIANT& src, const param& p, slot& s, void*& where, bool& own) noexcept {
    s.p = &p;
    const VARTYPE declared = p.vt;
    if (p.store == storage::object && p.byref && src.vt == (VT_BYREF | VT_DISPATCH) && *p.iid == iid_of<IDispatch>()) {
        // The caller's own object variable, of the declared type: passed straight through.
        if (!src.ppdispVal) return E_POINTER;
        where = src.ppdispVal;
        own = true;
        return S_OK;
    }
    if (p.store == storage::object && !p.byref && src.vt == VT_DISPATCH && *p.iid == iid_of<IDispatch>()) {
        // Already what the member takes, and the caller holds it for the call: no query.
        where = &src.pdispVal;
        return S_OK;
    }
    if (p.store == storage::object) {
        HRESULT hr = object_from(src, p, s.object);
        if (FAILED(hr)) return hr;
        where = &s.object;
        if (p.written) {
            if (src.vt == (VT_BYREF | VT_DISPATCH)) s.object_back = src.ppdispVal;
            else if (src.vt == (VT_BYREF | VT_VARIANT)) s.write_back = src.pvarVal;
        }
        return S_OK;
    }
    if ((src.vt & VT_BYREF) && !src.byref) return E_POINTER;  // a reference to nothing, of any type
    VARIANT* value = &src;
    if (src.vt == (declared | VT_BYREF) && declared != VT_VARIANT) {
        // The caller's own variable of the declared type: the member works on it directly.
        if (!src.byref) return E_POINTER;
        where = src.byref;
        return S_OK;
    }
    if (src.vt == (VT_BYREF | VT_VARIANT)) {
        if (!src.pvarVal) return E_POINTER;
        value = src.pvarVal;
        if (declared == VT_VARIANT || value->vt == declared) {
            where = storage_of(*value, p.store);
            return S_OK;
        }
        if (p.written) s.write_back = value;
    } else if (!p.written && (declared == VT_VARIANT || src.vt == declared)) {
        // Read-only use of a value passed by value: no copy is needed.
        where = storage_of(src, p.store);
        return S_OK;
    }
    if (declared == VT_VARIANT) {
        HRESULT hr = VariantCopyInd(&s.temp, value);
        if (FAILED(hr)) return hr;
    } else if (value->vt == declared) {
        HRESULT hr = VariantCopy(&s.temp, value);
        if (FAILED(hr)) return hr;
    } else {
        if ((value->vt & VT_ARRAY) || declared == (VT_ARRAY | VT_UI1)) {
            if (value->vt != VT_EMPTY || declared != (VT_ARRAY | VT_UI1)) return DISP_E_TYPEMISMATCH;
            s.temp.vt = declared;
            s.temp.parray = nullptr;
        } else {
            HRESULT hr = S_OK;
            if (!quick_integer(*value, declared, s.temp, hr)) hr = VariantChangeType(&s.temp, value, 0, declared);
            // Nothing has no value to convert (DISP_E_BADVARTYPE): for the caller a wrong argument.
            if (hr == DISP_E_BADVARTYPE && (value->vt & VT_TYPEMASK) == VT_DISPATCH) return DISP_E_TYPEMISMATCH;
            if (FAILED(hr)) return hr;
        }
    }
    where = storage_of(s.temp, p.store);
    return S_OK;
}

// The slots of one call's arguments: only the ones in use are made and dropped, so a
// call without arguments touches none of them.
class slot_block {
public:
    explicit slot_block(UINT count) noexcept : count_(count) {
        for (UINT i = 0; i < count_; ++i) new (&cells_[i].s) slot;
    }
    ~slot_block() {
        for (UINT i = count_; i-- > 0;) cells_[i].s.~slot();
    }
    slot_block(const slot_block&) = delete;
    slot_block& operator=(const slot_block&) = delete;
    slot& operator[](UINT i) noexcept { return cells_[i].s; }

private:
    union cell {
        cell() noexcept {}
        ~cell() {}
        slot s;
    };
    UINT count_;
    std::array<cell, max_params> cells_;
};

// An optional argument the caller left out: what a caller passes for a missing one.
void left_out(const param& p, slot& s, void*& where) noexcept {
    s.p = &p;
    s.temp.vt = VT_ERROR;
    s.temp.scode = DISP_E_PARAMNOTFOUND;
    where = &s.temp;
}

// The arguments from position first on, as an array of values in the caller's order.
HRESULT collect(const DISPPARAMS& params, UINT first, const param& p, slot& s, void*& where) noexcept {
    s.p = &p;
    const UINT n = params.cArgs > first ? params.cArgs - first : 0;
    unique_safearray array(SafeArrayCreateVector(VT_VARIANT, 0, n));
    if (!array) return E_OUTOFMEMORY;
    for (UINT j = 0; j < n; ++j) {
        VARIANT* element = nullptr;
        LONG index = static_cast<LONG>(j);
        if (HRESULT hr = SafeArrayPtrOfIndex(array.get(), &index, reinterpret_cast<void**>(&element)); FAILED(hr))
            return hr;
        if (HRESULT hr = VariantCopyInd(element, &params.rgvarg[params.cArgs - 1 - first - j]); FAILED(hr)) return hr;
    }
    s.temp.vt = VT_ARRAY | VT_VARIANT;
    s.temp.parray = array.release();
    where = &s.temp.parray;
    return S_OK;
}

void finish(slot& s) noexcept {
    if (!s.p) return;
    if (s.p->store == storage::object) {
        if (s.object_back) {
            IDispatch* now = s.object ? s.p->as_dispatch(s.object) : nullptr;
            if (now) now->AddRef();
            if (*s.object_back) (*s.object_back)->Release();
            *s.object_back = now;
        } else if (s.write_back) {
            const unique_variant old = take(*s.write_back);
            IDispatch* now = s.object ? s.p->as_dispatch(s.object) : nullptr;
            if (now) now->AddRef();
            s.write_back->vt = VT_DISPATCH;
            s.write_back->pdispVal = now;
        }
        return;
    }
    if (s.write_back) {
        const unique_variant old = take(*s.write_back);
        *s.write_back = s.release();
    }
}

void fill_exception(HRESULT hr, EXCEPINFO* info) noexcept {
    *info = EXCEPINFO{};
    info->scode = hr;
    com_ptr<IErrorInfo> error;
    if (GetErrorInfo(0, error.put()) == S_OK && error) {
        error->GetSource(&info->bstrSource);
        error->GetDescription(&info->bstrDescription);
    }
}

}  // namespace

HRESULT invoke(const interface_desc& desc, void* self, DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result,
               EXCEPINFO* excepinfo, UINT* arg_err) noexcept {
    if (!params) return E_INVALIDARG;
    if (params->cNamedArgs > params->cArgs) return E_INVALIDARG;
    if (params->cArgs && !params->rgvarg) return E_INVALIDARG;
    const member* m = desc.find(id, flags);
    if (!m) return DISP_E_MEMBERNOTFOUND;
    const bool is_put = m->kind == member_kind::put || m->kind == member_kind::putref;
    if (is_put && (params->cNamedArgs != 1 || !params->rgdispidNamedArgs ||
                   params->rgdispidNamedArgs[0] != DISPID_PROPERTYPUT))
        return DISP_E_PARAMNOTFOUND;
    if (params->cNamedArgs && !params->rgdispidNamedArgs) return E_INVALIDARG;
    const UINT count = params->cArgs;
    if (m->indexes_default && count > 0 && params->cNamedArgs == 0) {
        unique_variant object;
        DISPPARAMS none{nullptr, nullptr, 0, 0};
        if (HRESULT hr = invoke(desc, self, id, DISPATCH_PROPERTYGET, &none, &object, excepinfo, arg_err); hr != S_OK)
            return hr;
        if (object.vt != VT_DISPATCH || !object.pdispVal) return DISP_E_BADPARAMCOUNT;
        return object.pdispVal->Invoke(DISPID_VALUE, IID_NULL, LOCALE_USER_DEFAULT,
                                       flags & (DISPATCH_METHOD | DISPATCH_PROPERTYGET), params, result, excepinfo,
                                       arg_err);
    }
    const UINT declared = static_cast<UINT>(m->params.size());
    const UINT fixed = m->vararg ? declared - 1 : declared;
    if (declared + 2 > max_params) return DISP_E_BADPARAMCOUNT;  // the result and the own-argument marks follow

    // Where each fixed argument sits in rgvarg: positional ones last first, named ones (the
    // first cNamedArgs entries) at the argument their id names, a put's value first. Each
    // argument is given once at most; one not given must be optional.
    constexpr UINT absent = ~0u;
    std::array<UINT, max_params> at;
    const UINT positional = count - params->cNamedArgs;
    if (is_put) {
        if (count != declared) return DISP_E_BADPARAMCOUNT;
        for (UINT i = 0; i + 1 < count; ++i) at[i] = count - 1 - i;
        if (count) at[count - 1] = 0;
    } else {
        if (positional > fixed && !m->vararg) return DISP_E_BADPARAMCOUNT;
        if (m->vararg && params->cNamedArgs) return DISP_E_NONAMEDARGS;
        for (UINT i = 0; i < fixed; ++i) at[i] = i < positional ? count - 1 - i : absent;
        std::uint32_t given = 0;
        for (UINT j = 0; j < params->cNamedArgs; ++j) {
            const DISPID named = params->rgdispidNamedArgs[j];
            if (named < static_cast<DISPID>(positional) || named >= static_cast<DISPID>(fixed) || (given >> named & 1))
                return DISP_E_BADPARAMCOUNT;
            given |= 1u << named;
            at[named] = j;
        }
        for (UINT i = 0; i < fixed; ++i)
            if (at[i] == absent && !m->params[i].optional) return DISP_E_BADPARAMCOUNT;
    }

    slot_block slots(declared);
    std::uint32_t own_arguments = 0;
    std::array<void*, max_params> where;  // set place by place: zeroing all of it showed in profiles
    where[declared] = nullptr;
    for (UINT i = 0; i < fixed; ++i) {
        const UINT k = at[i];
        if (k == absent) {
            left_out(m->params[i], slots[i], where[i]);
            continue;
        }
        bool own = false;
        HRESULT hr = prepare(params->rgvarg[k], m->params[i], slots[i], where[i], own);
        if (own) own_arguments |= 1u << i;
        if (FAILED(hr)) {
            if (arg_err && (hr == DISP_E_TYPEMISMATCH || hr == DISP_E_OVERFLOW)) *arg_err = k;
            return hr;
        }
    }
    if (m->vararg)
        if (HRESULT hr = collect(*params, fixed, m->params[fixed], slots[fixed], where[fixed]); FAILED(hr)) return hr;
    slot value;  // the result, owned until it reaches the caller
    VARIANT& result_value = value.temp;
    void* returned_object = nullptr;
    if (m->has_result) {
        result_value.vt = m->result.vt;
        result_value.pvRecord = nullptr;
        result_value.pRecInfo = nullptr;
        if (m->result.store == storage::object) where[declared] = &returned_object;
        else if (m->result.store == storage::variant) {
            result_value.vt = VT_EMPTY;
            where[declared] = &result_value;
        } else where[declared] = storage_of(result_value, m->result.store);
    }
    where[declared + 1] = &own_arguments;
    HRESULT hr = m->call(self, where.data());
    for (UINT i = 0; i < fixed; ++i) finish(slots[i]);
    if (m->has_result && m->result.store == storage::object) {
        result_value.vt = VT_DISPATCH;
        result_value.pdispVal = returned_object ? m->result.as_dispatch(returned_object) : nullptr;
    }
    if (FAILED(hr)) {
        if (!excepinfo) return hr;
        fill_exception(hr, excepinfo);
        return DISP_E_EXCEPTION;
    }
    if (result) {
        if (slot::needs_clear(result->vt) || (result->vt & VT_BYREF)) {
            const unique_variant old = take(*result);
        }
        result->vt = VT_EMPTY;
        if (m->has_result) *result = value.release();
    }
    return S_OK;
}

}  // namespace oa::disp
