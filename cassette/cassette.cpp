#include <cassette/cassette.h>

#include <mrlib/operations.h>
#include <oa/text.h>
#include <oa/unique.h>
#include <platform/files.h>

#include <set>
#include <sstream>
#include <stdexcept>

namespace cassette {

namespace {

json tagged(std::string_view tag, json v) { return json::array({std::string(tag), std::move(v)}); }

std::string hex(const BYTE* bytes, std::size_t n) {
    static constexpr char digits[] = "0123456789abcdef";
    std::string out;
    out.reserve(2 * n);
    for (std::size_t i = 0; i < n; ++i) {
        out += digits[bytes[i] >> 4];
        out += digits[bytes[i] & 15];
    }
    return out;
}

json array_bytes(const SAFEARRAY* a) {
    if (!a) return nullptr;
    if (a->cDims != 1 || !a->pvData) return "";
    return hex(static_cast<const BYTE*>(a->pvData), a->rgsabound[0].cElements);
}

std::string utf8(BSTR b) { return oa::utf16_to_utf8(oa::view(b)); }

bool is_handle(const json& v) { return v.is_string() && v.get<std::string>().find('#') != std::string::npos; }

bool whole_within(const json& v, long long low, long long high) {
    if (v.is_number_unsigned()) return v.get<unsigned long long>() <= static_cast<unsigned long long>(high);
    return v.is_number_integer() && v.get<long long>() >= low && v.get<long long>() <= high;
}

// Why a recorded value [TYPE, VALUE] cannot be played back, or nullptr: a number of an
// integer type must fit it (by-reference ones may be null).
const char* bad_value(const json& v) {
    if (!v.is_array() || v.size() != 2 || !v[0].is_string()) return "is not [TYPE, VALUE]";
    const std::string type = v[0].get<std::string>();
    const json& x = v[1];
    const bool ref = !type.empty() && type.back() == '&';
    if (ref && x.is_null()) return nullptr;
    if ((type == "I2" || type == "I2&") && !whole_within(x, -32768, 32767)) return "holds no Integer";
    if ((type == "I4" || type == "I4&") && !whole_within(x, -2147483648LL, 2147483647LL)) return "holds no Long";
    if (type == "UI1" && !whole_within(x, 0, 255)) return "holds no Byte";
    if (type == "BOOL" && !x.is_boolean()) return "holds no Boolean";
    if ((type == "BSTR" || type == "DISPATCH" || type == "ARRAY" || type == "ARRAY&") && !x.is_string() && !x.is_null())
        return "holds no text";
    if ((type == "ARRAY" || type == "ARRAY&") && x.is_string() &&
        (x.get<std::string>().size() % 2 || x.get<std::string>().find_first_not_of("0123456789abcdef") != std::string::npos))
        return "holds no bytes in hexadecimal";
    return nullptr;
}

// The operation table's entry of a member name as the caller spelled it.
const mrlib::operation* entry_of(std::string_view op) noexcept {
    char16_t name[64];
    if (op.size() >= std::size(name)) return nullptr;
    for (std::size_t i = 0; i < op.size(); ++i) name[i] = static_cast<unsigned char>(op[i]);
    return mrlib::operation_named(std::u16string_view(name, op.size()));
}

}  // namespace

long block_length(std::string_view op, const DISPPARAMS& p, std::size_t i) noexcept {
    const mrlib::operation* o = entry_of(op);
    if (!o || o->block < 0 || static_cast<std::size_t>(o->block) != i) return 0;
    const auto at = static_cast<std::size_t>(o->block_length);
    if (at >= p.cArgs) return 0;
    const VARIANT& next = p.rgvarg[p.cArgs - 1 - at];
    const long n = next.vt == VT_I2 ? next.iVal : next.vt == VT_I4 ? next.lVal
                 : next.vt == (VT_BYREF | VT_I2) && next.piVal ? *next.piVal
                 : next.vt == (VT_BYREF | VT_I4) && next.plVal ? *next.plVal : 0;
    return n < 0 ? 0 : n;
}

std::string_view class_delivered_by(std::string_view op) noexcept {
    const mrlib::operation* o = entry_of(op);
    return o && o->delivers != mrlib::object_class::none ? mrlib::class_name(o->delivers) : "object";
}

bool is_password(std::string_view op, std::size_t index) noexcept {
    const mrlib::operation* o = entry_of(op);
    return o && index < 8 && (o->passwords & mrlib::password_at(index));
}

bool is_secret_result(std::string_view op) noexcept {
    const mrlib::operation* o = entry_of(op);
    return o && o->secret_result;
}

json value(const VARIANT& v, const object_namer& name) {
    switch (v.vt) {
    case VT_EMPTY: return tagged("EMPTY", nullptr);
    case VT_NULL: return tagged("NULL", nullptr);
    case VT_BSTR: return tagged("BSTR", utf8(v.bstrVal));
    case VT_I2: return tagged("I2", v.iVal);
    case VT_I4: return tagged("I4", v.lVal);
    case VT_UI1: return tagged("UI1", v.bVal);
    case VT_BOOL: return tagged("BOOL", v.boolVal != VARIANT_FALSE);
    case VT_DISPATCH: return tagged("DISPATCH", name(v.pdispVal));
    case VT_ARRAY | VT_UI1: return tagged("ARRAY", array_bytes(v.parray));
    case VT_BYREF | VT_I2: return tagged("I2&", v.piVal ? json(*v.piVal) : json());
    case VT_BYREF | VT_I4: return tagged("I4&", v.plVal ? json(*v.plVal) : json());
    case VT_BYREF | VT_ARRAY | VT_UI1: return tagged("ARRAY&", v.pparray ? array_bytes(*v.pparray) : json());
    case VT_BYREF | VT_VARIANT: return tagged("VARIANT&", v.pvarVal ? value(*v.pvarVal, name) : json());
    default: return tagged("VT", static_cast<int>(v.vt));
    }
}

json arguments(std::string_view op, const DISPPARAMS& p, const object_namer& name) {
    json out = json::array();
    for (std::size_t i = 0; i < p.cArgs; ++i) {
        const VARIANT& v = p.rgvarg[p.cArgs - 1 - i];
        const long length = block_length(op, p, i);
        if (v.vt == VT_BSTR && is_password(op, i)) {
            out.push_back(tagged("BSTR", mask));
        } else if (v.vt == (VT_BYREF | VT_DISPATCH)) {
            json rows = json::array();
            for (long r = 0; v.ppdispVal && r < length; ++r) rows.push_back(name(v.ppdispVal[r]));
            out.push_back(tagged("ROWS&", std::move(rows)));
        } else if (v.vt == (VT_BYREF | VT_VARIANT)) {
            json rows = json::array();
            for (long r = 0; v.pvarVal && r < length; ++r) rows.push_back(value(v.pvarVal[r], name));
            out.push_back(tagged("ROWS&", std::move(rows)));
        } else if (v.vt == (VT_BYREF | VT_UI1)) {
            out.push_back(tagged("BYTES&", v.pbVal ? json(hex(v.pbVal, static_cast<std::size_t>(length))) : json()));
        } else {
            out.push_back(value(v, name));
        }
    }
    return out;
}

json result(std::string_view op, const VARIANT& v, const object_namer& name) {
    // An empty secret stays empty: a replay still tells a refused login from an accepted one.
    if (v.vt == VT_BSTR && is_secret_result(op) && SysStringLen(v.bstrVal) > 0) return tagged("BSTR", mask);
    return value(v, name);
}

json after(const DISPPARAMS& p, const object_namer& name) {
    json out = json::object();
    for (std::size_t i = 0; i < p.cArgs; ++i) {
        const VARIANT& v = p.rgvarg[p.cArgs - 1 - i];
        if (v.vt == (VT_BYREF | VT_I2) || v.vt == (VT_BYREF | VT_I4) || v.vt == (VT_BYREF | VT_ARRAY | VT_UI1))
            out[std::to_string(i + 1)] = value(v, name);
    }
    return out;
}

std::string shown(const json& v) {
    const json& inner = v.is_array() && v.size() == 2 ? v[1] : v;
    return inner.dump(-1, ' ', false, json::error_handler_t::replace);
}

writer::writer(const std::string& path)
    : file_(std::make_unique<platform::file_writer>(path, platform::file_writer::mode::replace_private)) {
    json first;
    first["cassette"] = format_name;
    first["version"] = format_version;
    file_->write(first.dump() + "\n");
}

writer::~writer() = default;

void writer::call(json line) {
    json out;
    out["call"] = ++calls_;
    for (auto& [key, v] : line.items()) out[key] = std::move(v);
    file_->write(out.dump(-1, ' ', false, json::error_handler_t::replace) + "\n");
}

void writer::finish() { file_->finish(); }

recorded read(const std::string& path) {
    std::string text;
    try {
        text = platform::read_regular_file(path, std::size_t{256} << 20);
    } catch (const platform::file_error& e) {
        throw std::runtime_error("cannot read the cassette " + e.detail());
    }
    recorded out;
    std::set<std::string> made;
    std::istringstream lines(text);
    std::string line;
    long number = 0;
    const auto refuse = [&](const std::string& why) {
        throw std::runtime_error(path + ":" + std::to_string(number) + ": " + why);
    };
    const auto known = [&](const json& handle, const char* where) {
        if (is_handle(handle) && !made.count(handle.get<std::string>()))
            refuse(std::string("the handle ") + handle.get<std::string>() + " is used " + where + " before it was made");
    };
    while (std::getline(lines, line)) {
        ++number;
        try {
            json v;
            try {
                v = json::parse(line);
            } catch (const json::exception&) {
                refuse("not a line of JSON");
            }
            if (number == 1) {
                if (!v.is_object() || v.value("cassette", "") != format_name) refuse("not a cassette");
                if (v.value("version", 0) != format_version)
                    refuse("unknown version " + (v.contains("version") ? v["version"].dump() : std::string("(none)")) +
                           " (this host reads version " + std::to_string(format_version) + ")");
                continue;
            }
            if (!v.is_object() || !v.contains("call") || v["call"] != static_cast<long>(out.calls.size() + 1) ||
                !v.contains("on") || !v["on"].is_string() || !v.contains("op") || !v["op"].is_string() ||
                !v.contains("args") || !v["args"].is_array() || (v.contains("result") == v.contains("failure")))
                refuse("not call " + std::to_string(out.calls.size() + 1) + " of the cassette");
            known(v["on"], "as the object called");
            if (v.contains("kind") && !v["kind"].is_string()) refuse("the kind is not a text");
            for (const json& a : v["args"]) {
                if (!a.is_array() || a.size() != 2) refuse("an argument is not [TYPE, VALUE]");
                if (a[0] == "DISPATCH") known(a[1], "as an argument");
                if (a[0] == "ROWS&")
                    for (const json& r : a[1]) known(r.is_array() && r.size() == 2 ? r[1] : r, "as a row");
            }
            if (v.contains("result")) {
                const json& r = v["result"];
                if (const char* why = bad_value(r)) refuse(std::string("the result ") + why);
                if (r[0] == "DISPATCH" && is_handle(r[1])) made.insert(r[1].get<std::string>());
            } else {
                const json& f = v["failure"];
                if (!f.is_object() || !whole_within(f.value("number", json(0)), -2147483648LL, 4294967295LL) ||
                    !whole_within(f.value("invoke", json(0)), -2147483648LL, 4294967295LL) ||
                    !f.value("description", json("")).is_string())
                    refuse("the failure is not {\"number\": N, \"description\": TEXT}");
            }
            if (v.contains("after")) {
                if (!v["after"].is_object()) refuse("\"after\" is not an object");
                for (const auto& [number, a] : v["after"].items()) {
                    if (number.empty() || number.size() > 2 || number.find_first_not_of("0123456789") != std::string::npos)
                        refuse("\"after\" names no argument: " + number);
                    if (const char* why = bad_value(a)) refuse("a value after the call " + std::string(why));
                }
            }
            out.calls.push_back(std::move(v));
        } catch (const json::exception& e) {
            refuse(std::string("a value of the wrong kind: ") + e.what());
        }
    }
    if (number == 0) refuse("empty: no format line");
    return out;
}

}  // namespace cassette
