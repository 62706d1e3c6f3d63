// IDispatch rules on the probe: names in any case, the riid rule, invoke flags per member
// kind, argument counts, named arguments, coercion of each argument kind, by-reference
// arguments, puArgErr and EXCEPINFO.
#include "probe.h"

#include <deque>

namespace conf {

std::string& probe_calls() {
    static std::string calls;
    return calls;
}

namespace {

enum class mode { value, byref, byref_variant, byref_null };
struct arg {
    mode how = mode::value;
    val v;
};
arg by_value(val v) { return {mode::value, std::move(v)}; }
arg by_ref(val v) { return {mode::byref, std::move(v)}; }
arg by_ref_variant(val v) { return {mode::byref_variant, std::move(v)}; }
arg by_ref_null(VARTYPE vt) { return {mode::byref_null, v_int(vt, 0)}; }

std::string arg_label(const arg& a) {
    switch (a.how) {
    case mode::value: return label(a.v);
    case mode::byref: return "BYREF|" + label(a.v);
    case mode::byref_variant: return "BYREF|VARIANT(" + label(a.v) + ")";
    case mode::byref_null: return "BYREF|" + vt_name(a.v.vt) + "(null pointer)";
    }
    return "?";
}

enum class iid_kind { null, dispatch, other };

struct call {
    DISPID id = 0;
    WORD flags = DISPATCH_METHOD;
    std::vector<arg> args;                          // positional, first argument first
    std::vector<std::pair<DISPID, arg>> named;      // rgvarg[0], rgvarg[1], ...
    iid_kind riid = iid_kind::null;
    bool result = true, info = true, argerr = true, null_params = false, more_named = false;
};

// The arguments of one call and the variables that references point to.
class arguments {
public:
    explicit arguments(const call& c) {
        for (const auto& [id, a] : c.named) add(a), ids_.push_back(id);
        for (auto it = c.args.rbegin(); it != c.args.rend(); ++it) add(*it);
    }
    ~arguments() {
        for (VARIANT& v : slots_) VariantClear(&v);
    }
    arguments(const arguments&) = delete;
    arguments& operator=(const arguments&) = delete;

    DISPPARAMS params() {
        return {slots_.data(), ids_.data(), static_cast<UINT>(slots_.size()), static_cast<UINT>(ids_.size())};
    }
    // What the caller's variables hold after the call, last argument first.
    std::string after() const {
        std::string s;
        for (std::size_t k = 0; k < slots_.size(); ++k) {
            const VARIANT& v = slots_[k];
            s += " [" + std::to_string(k) + "] " + vt_name(v.vt) + " " + value_text(v);
        }
        return s;
    }

private:
    void add(const arg& a) {
        VARIANT v;
        VariantInit(&v);
        if (a.how == mode::value) {
            make(a.v, v);
        } else {
            VARIANT& target = targets_.emplace_back();
            VariantInit(&target);
            make(a.v, target);
            v.vt = VT_BYREF | (a.how == mode::byref_variant ? VARTYPE(VT_VARIANT) : a.v.vt);
            v.byref = a.how == mode::byref_null ? nullptr : a.how == mode::byref ? static_cast<void*>(&target.llVal) : &target;
        }
        slots_.push_back(v);
    }

    struct owned : VARIANT {
        ~owned() { VariantClear(this); }
    };
    std::vector<VARIANT> slots_;
    std::vector<DISPID> ids_;
    std::deque<owned> targets_;
};

const IID& iid_for(iid_kind k) {
    return k == iid_kind::null ? IID_NULL : k == iid_kind::dispatch ? IID_IDispatch : iid_of<IProbe>();
}

// Runs steps before the call (their codes are noted), then the call itself.
answer invoke(const std::vector<call>& steps) {
    oa::com_ptr<IDispatch> probe = oa::adopt(new_probe());
    probe_calls().clear();
    std::string before;
    answer a;
    for (const call& c : steps) {
        arguments args(c);
        DISPPARAMS params = args.params();
        if (c.more_named) params.cNamedArgs = params.cArgs + 1;
        oa::unique_variant result;
        oa::unique_excepinfo info;
        UINT arg_err = 12345;
        const HRESULT hr = probe->Invoke(c.id, iid_for(c.riid), 0x0409, c.flags, c.null_params ? nullptr : &params,
                                         c.result ? &result : nullptr, c.info ? &info : nullptr,
                                         c.argerr ? &arg_err : nullptr);
        if (&c != &steps.back()) {
            before += hex(static_cast<std::uint32_t>(hr), 8) + " ";
            continue;
        }
        a = of(hr, result);
        if (arg_err != 12345) a.value += " | argerr=" + std::to_string(arg_err);
        if (hr == DISP_E_EXCEPTION)
            a.value += " | excepinfo code=" + std::to_string(info.wCode) + " scode=" +
                       hex(static_cast<std::uint32_t>(info.scode), 8) + " " + text_of(info.bstrSource) + " " +
                       text_of(info.bstrDescription) + " " + text_of(info.bstrHelpFile) +
                       " context=" + std::to_string(info.dwHelpContext);
        a.value += " | args" + args.after();
    }
    a.value += " | " + before + "calls: " + probe_calls();
    return a;
}

std::string flags_text(WORD f) {
    std::string s;
    const std::pair<WORD, const char*> names[] = {{DISPATCH_METHOD, "METHOD"}, {DISPATCH_PROPERTYGET, "GET"},
                                                  {DISPATCH_PROPERTYPUT, "PUT"}, {DISPATCH_PROPERTYPUTREF, "PUTREF"}};
    for (const auto& [bit, name] : names)
        if (f & bit) s += (s.empty() ? "" : "|") + std::string(name);
    return s.empty() ? "0" : s;
}

std::string call_text(const call& c) {
    std::string s = "id=" + std::to_string(c.id) + " " + flags_text(c.flags) + " (";
    for (std::size_t k = 0; k < c.args.size(); ++k) s += (k ? ", " : "") + arg_label(c.args[k]);
    for (const auto& [id, a] : c.named) s += "; " + std::to_string(id) + ":=" + arg_label(a);
    s += ")";
    if (c.riid != iid_kind::null) s += c.riid == iid_kind::dispatch ? " riid=IDispatch" : " riid=other";
    if (!c.result) s += " no result";
    if (!c.info) s += " no excepinfo";
    if (!c.argerr) s += " no argerr";
    if (c.null_params) s += " null params";
    if (c.more_named) s += " more named than args";
    return s;
}

void add_invoke(cases& out, const std::vector<call>& steps, const std::string& prefix = "") {
    std::string id = "Invoke " + prefix;
    for (std::size_t k = 0; k + 1 < steps.size(); ++k) id += call_text(steps[k]) + " then ";
    out.push_back({id + call_text(steps.back()), [steps] { return invoke(steps); }});
}

call method(DISPID id, std::vector<arg> args) {
    call c;
    c.id = id;
    c.args = std::move(args);
    return c;
}
call get(DISPID id) {
    call c;
    c.id = id;
    c.flags = DISPATCH_PROPERTYGET;
    return c;
}
call put(DISPID id, arg value, WORD flags = DISPATCH_PROPERTYPUT) {
    call c;
    c.id = id;
    c.flags = flags;
    c.named.push_back({DISPID_PROPERTYPUT, std::move(value)});
    return c;
}

val object_with(std::int64_t n) {
    const val inner = v_int(VT_I4, n);
    return v_object(VT_DISPATCH, object_kind::dispatch, &inner);
}

std::vector<arg> values() {
    return {by_value(v_int(VT_I2, 5)),  by_value(v_int(VT_I4, 7)),    by_value(v_int(VT_I4, 70000)),
            by_value(v_real(VT_R8, 2.5)), by_value(v_real(VT_R8, 3.5)), by_value(v_str(u"12")),
            by_value(v_str(u"x")),      by_value(v_str(u"&H10")),     by_value(v_bool(-1)),
            by_value(v_empty()),        by_value(v_null()),           by_value(v_error(DISP_E_PARAMNOTFOUND)),
            by_value(object_with(3)),   by_value(v_object(VT_UNKNOWN, object_kind::unknown_only)),
            by_value(v_object(VT_DISPATCH, object_kind::none)),
            by_value(v_int(VT_UI1, 200)), by_value(v_int(VT_I8, 5)),  by_ref(v_int(VT_I4, 8)),
            by_ref(v_int(VT_I2, 9)),    by_ref(v_str(u"11")),         by_ref(v_int(VT_UI1, 6)),
            by_ref_variant(v_int(VT_I4, 10)), by_ref_variant(v_str(u"11")), by_ref_variant(v_int(VT_I2, 4)),
            by_ref_null(VT_I4),         by_ref_null(VT_VARIANT)};
}

// The natural arguments of each member, for the flag and count cases.
std::vector<arg> natural_args(DISPID id) {
    switch (id) {
    case 1: return {by_value(v_int(VT_I4, 2)), by_value(v_int(VT_I2, 3))};
    case 2: return {by_value(v_str(u"a")), by_value(v_str(u"b"))};
    case 3: return {by_ref(v_int(VT_I2, 1)), by_ref(v_str(u"s"))};
    case 4: return {by_ref_variant(v_int(VT_I4, 5))};
    case 5: return {by_value(v_int(VT_I4, 5))};
    case 11: return {by_ref(v_int(VT_UI1, 1)), by_ref(v_int(VT_I4, 1))};
    default: return {};
    }
}
arg natural_put(DISPID id) {
    if (id == 7 || id == 8) return by_value(object_with(1));
    if (id == 9) return by_value(v_bool(-1));
    return by_value(v_int(VT_I4, 4));
}

std::string names_text(const std::vector<std::u16string>& names) {
    std::string s;
    for (const auto& n : names) s += (s.empty() ? "" : ",") + quoted(n);
    return s;
}

}  // namespace

void add_dispatch(cases& out) {
    // Names in any case; argument names after the member's; the riid rule.
    const std::vector<std::vector<std::u16string>> name_sets = {
        {u"Add"}, {u"add"}, {u"ADD"}, {u"aDd"}, {u"Count"}, {u"COUNT"}, {u"Value"}, {u"Nope"}, {u""}, {u"Ad"},
        {u"Add", u"a", u"b"}, {u"Add", u"B", u"A"}, {u"Add", u"c"}, {u"Add", u"a", u"result"}, {u"Nope", u"a"},
        {u"Swap", u"A", u"b"}, {u"Count", u"value"}, {u"Peer", u"value"}, {u"Describe", u"v"}};
    for (const auto& names : name_sets) {
        for (iid_kind k : {iid_kind::null, iid_kind::dispatch, iid_kind::other}) {
            if (k != iid_kind::null && names.size() > 1) continue;
            out.push_back({"GetIDsOfNames " + names_text(names) + (k == iid_kind::null ? "" : k == iid_kind::dispatch
                                                                                              ? " riid=IDispatch"
                                                                                              : " riid=other"),
                           [names, k] {
                               oa::com_ptr<IDispatch> probe = oa::adopt(new_probe());
                               std::vector<LPOLESTR> ptrs;
                               for (const auto& n : names) ptrs.push_back(const_cast<LPOLESTR>(oa::ole(n.c_str())));
                               std::vector<DISPID> ids(names.size(), 777);
                               const HRESULT hr = probe->GetIDsOfNames(iid_for(k), ptrs.data(),
                                                                       static_cast<UINT>(ptrs.size()), 0x0409, ids.data());
                               std::string s;
                               for (DISPID id : ids) s += (s.empty() ? "" : ",") + std::to_string(id);
                               return plain(hr, s);
                           }});
        }
    }
    out.push_back({"GetIDsOfNames no names", [] {
                       oa::com_ptr<IDispatch> probe = oa::adopt(new_probe());
                       DISPID id = 777;
                       LPOLESTR name = const_cast<LPOLESTR>(oa::ole(u"Add"));
                       return plain(probe->GetIDsOfNames(IID_NULL, &name, 0, 0x0409, &id), std::to_string(id));
                   }});
    out.push_back({"GetTypeInfoCount", [] {
                       oa::com_ptr<IDispatch> probe = oa::adopt(new_probe());
                       UINT n = 77;
                       return plain(probe->GetTypeInfoCount(&n), std::to_string(n));
                   }});
    for (UINT index : {0u, 1u}) {
        out.push_back({"GetTypeInfo " + std::to_string(index), [index] {
                           oa::com_ptr<IDispatch> probe = oa::adopt(new_probe());
                           oa::com_ptr<ITypeInfo> info;
                           const HRESULT hr = probe->GetTypeInfo(index, 0x0409, info.put());
                           return plain(hr, info ? "type info" : "null");
                       }});
    }

    // Every member with every kind of call.
    for (DISPID id : {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, -1})
        for (WORD flags : {WORD(DISPATCH_METHOD), WORD(DISPATCH_PROPERTYGET), WORD(DISPATCH_METHOD | DISPATCH_PROPERTYGET),
                           WORD(DISPATCH_PROPERTYPUT), WORD(DISPATCH_PROPERTYPUTREF),
                           WORD(DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF), WORD(0)}) {
            const bool putting = flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF);
            call c = putting ? put(id, natural_put(id), flags) : method(id, natural_args(id));
            c.flags = flags;
            add_invoke(out, {c});
        }

    // The riid rule, missing pointers, counts and named arguments.
    for (iid_kind k : {iid_kind::dispatch, iid_kind::other}) {
        call c = method(1, natural_args(1));
        c.riid = k;
        add_invoke(out, {c});
    }
    {
        call c = method(1, natural_args(1));
        c.result = false;
        add_invoke(out, {c});
        c = get(0);
        c.result = false;
        add_invoke(out, {c});
        c = method(1, {by_value(v_str(u"x")), by_value(v_int(VT_I2, 1))});
        c.argerr = false;
        add_invoke(out, {c});
        c = method(1, natural_args(1));
        c.more_named = true;
        add_invoke(out, {c});
    }
    for (std::size_t n : {0u, 1u, 3u}) {
        std::vector<arg> args;
        for (std::size_t k = 0; k < n; ++k) args.push_back(by_value(v_int(VT_I4, static_cast<std::int64_t>(k + 1))));
        add_invoke(out, {method(1, args)});
        if (n) add_invoke(out, {method(10, args)});
    }
    {
        call c = get(6);
        c.args.push_back(by_value(v_int(VT_I4, 1)));
        add_invoke(out, {c});
        c = put(6, by_value(v_int(VT_I4, 1)));
        c.args.push_back(by_value(v_int(VT_I4, 2)));
        add_invoke(out, {c});
        c = method(6, {by_value(v_int(VT_I4, 1))});  // no named argument
        c.flags = DISPATCH_PROPERTYPUT;
        add_invoke(out, {c});
        c = method(6, {});
        c.flags = DISPATCH_PROPERTYPUT;
        c.named.push_back({0, by_value(v_int(VT_I4, 1))});  // named, but not as the value
        add_invoke(out, {c});
        c = put(6, by_value(v_int(VT_I4, 1)));
        c.named.push_back({0, by_value(v_int(VT_I4, 2))});
        add_invoke(out, {c});
    }
    const std::vector<std::vector<std::pair<DISPID, arg>>> named_sets = {
        {{1, by_value(v_int(VT_I2, 3))}, {0, by_value(v_int(VT_I4, 2))}},
        {{0, by_value(v_int(VT_I4, 2))}, {1, by_value(v_int(VT_I2, 3))}},
        {{1, by_value(v_int(VT_I2, 3))}},
        {{0, by_value(v_int(VT_I4, 2))}},
        {{7, by_value(v_int(VT_I2, 3))}},
        {{DISPID_PROPERTYPUT, by_value(v_int(VT_I2, 3))}},
        {{1, by_value(v_int(VT_I2, 3))}, {1, by_value(v_int(VT_I2, 4))}},
        {{1, by_value(v_int(VT_I2, 3))}, {7, by_value(v_int(VT_I4, 2))}},
        {{0, by_value(v_str(u"x"))}, {1, by_value(v_int(VT_I2, 3))}},
        {{1, by_value(v_str(u"x"))}, {0, by_value(v_int(VT_I4, 2))}},
    };
    for (const auto& named : named_sets) {
        call c = method(1, {});
        c.named = named;
        if (named.size() == 1 && named[0].first == 1) c.args.push_back(by_value(v_int(VT_I4, 2)));
        add_invoke(out, {c});
    }

    // Each kind of argument in each parameter.
    for (const arg& a : values()) {
        add_invoke(out, {method(1, {a, by_value(v_int(VT_I2, 1))})});
        add_invoke(out, {method(1, {by_value(v_int(VT_I4, 1)), a})});
        add_invoke(out, {method(2, {a, by_value(v_str(u"-"))})});
        add_invoke(out, {method(3, {a, by_ref(v_str(u"s"))})});
        add_invoke(out, {method(3, {by_ref(v_int(VT_I2, 1)), a})});
        add_invoke(out, {method(4, {a})});
        add_invoke(out, {method(11, {a, by_ref(v_int(VT_I4, 1))})});
        add_invoke(out, {method(11, {by_ref(v_int(VT_UI1, 1)), a})});
        add_invoke(out, {put(6, a), get(6)});
        add_invoke(out, {put(9, a), get(9)});
    }
    for (const arg& a : {by_value(object_with(1)), by_value(v_object(VT_DISPATCH, object_kind::none)),
                         by_value(v_object(VT_UNKNOWN, object_kind::unknown_disp, nullptr)),
                         by_value(v_object(VT_UNKNOWN, object_kind::unknown_only)), by_value(v_empty()),
                         by_value(v_null()), by_value(v_int(VT_I4, 1)), by_ref(object_with(2)),
                         by_ref_variant(object_with(3)), by_ref_null(VT_DISPATCH)}) {
        for (WORD flags : {WORD(DISPATCH_PROPERTYPUT), WORD(DISPATCH_PROPERTYPUTREF)}) {
            add_invoke(out, {put(7, a, flags), get(7)});
            add_invoke(out, {put(8, a, flags), get(8)});
        }
    }

    // DispGetParam: an argument by its position, named ones by their id, converted.
    const std::vector<std::pair<std::string, std::vector<std::pair<DISPID, arg>>>> param_sets = {
        {"positional", {}}, {"named 1", {{1, by_value(v_str(u"7"))}}}, {"named 5", {{5, by_value(v_int(VT_I4, 3))}}}};
    for (const auto& [what, named] : param_sets)
        for (UINT position : {0u, 1u, 2u, 5u})
            for (VARTYPE vt : {VT_I4, VT_BSTR, VT_I2, VT_DISPATCH}) {
                out.push_back({"DispGetParam " + what + " position=" + std::to_string(position) + " as " + vt_name(vt),
                               [named = named, position, vt] {
                                   call c = method(0, {by_value(v_int(VT_I4, 70000)), by_value(v_str(u"x"))});
                                   c.named = named;
                                   arguments args(c);
                                   DISPPARAMS params = args.params();
                                   oa::unique_variant result;
                                   UINT arg_err = 12345;
                                   const HRESULT hr = DispGetParam(&params, position, vt, &result, &arg_err);
                                   answer a = of(hr, result);
                                   if (arg_err != 12345) a.value += " | argerr=" + std::to_string(arg_err);
                                   return a;
                               }});
            }

    // Failures of the member itself.
    for (std::int64_t code : {5, 0}) {
        call c = method(5, {by_value(v_int(VT_I4, code))});
        if (code == 0) add_invoke(out, {c});  // code 5 is among the flag cases
        c.info = false;
        add_invoke(out, {c});
    }
}

}  // namespace conf
