#include <emulator/replay.h>

#include <emulator/emulator.h>
#include <emulator/state.h>

#include <cassette/cassette.h>
#include <mrlib/operations.h>
#include <oa/error.h>
#include <oa/implements.h>
#include <oa/text.h>

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>

namespace mremu::replay {

namespace {

using cassette::json;

class replaying_object;

struct player {
    std::vector<json> calls;
    std::size_t next = 0;
    std::string divergence;
    std::map<std::string, replaying_object*, std::less<>> live;  // by handle
};

std::recursive_mutex guard;
std::unique_ptr<player> playing;

std::optional<kind> kind_of(std::string_view handle) {
    const std::string_view name = handle.substr(0, handle.find('#'));
    for (std::size_t k = 0; k < static_cast<std::size_t>(kind::count_); ++k)
        if (kind_name(static_cast<kind>(k)) == name) return static_cast<kind>(k);
    return std::nullopt;
}

// Member ids while replaying: one per entry of the operation table.
DISPID id_of(std::u16string_view name) noexcept {
    const mrlib::operation* o = mrlib::operation_named(name);
    return o ? static_cast<DISPID>(o - mrlib::operations.data() + 1) : DISPID_UNKNOWN;
}

std::string name_of(DISPID id) {
    if (id < 1 || static_cast<std::size_t>(id) > mrlib::op_count) return "#" + std::to_string(id);
    return oa::utf16_to_utf8(mrlib::operations[static_cast<std::size_t>(id - 1)].name);
}

oa::unique_safearray bytes_of(const json& hex) {
    const std::string text = hex.is_string() ? hex.get<std::string>() : std::string();
    oa::unique_safearray a(SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(text.size() / 2)));
    if (!a) oa::raise(E_OUTOFMEMORY, u"Out of memory");
    auto* bytes = static_cast<BYTE*>(a.get()->pvData);
    for (std::size_t i = 0; i + 1 < text.size(); i += 2) bytes[i / 2] = static_cast<BYTE>(std::stoi(text.substr(i, 2), nullptr, 16));
    return a;
}

[[noreturn]] void diverged(player& p, std::string message) {
    if (p.divergence.empty()) p.divergence = message;
    oa::raise(errors::replay_diverged, oa::utf8_to_utf16(p.divergence).value_or(u"replay: diverged"));
}

// The recorded call at this position, checked against the call made; the caller holds
// the guard.
const json& expect(player& p, const std::string& on, const std::string& op, bool put, const json& args) {
    if (!p.divergence.empty()) diverged(p, p.divergence);
    const std::string at = "replay: call " + std::to_string(p.next + 1) + " " + op;
    if (p.next >= p.calls.size())
        diverged(p, at + " was not recorded (the cassette holds " + std::to_string(p.calls.size()) + " calls)");
    const json& r = p.calls[p.next];
    const std::string recorded_op = r["op"].get<std::string>();
    if (recorded_op != op || (r.value("kind", "") == "put") != put)
        diverged(p, "replay: call " + std::to_string(p.next + 1) + " is " + op + (put ? " (put)" : "") +
                        ", recorded " + recorded_op + (r.value("kind", "") == "put" ? " (put)" : ""));
    if (r["on"] != on) diverged(p, at + " on " + on + ", recorded on " + r["on"].get<std::string>());
    const json& want = r["args"];
    if (want.size() != args.size())
        diverged(p, at + " has " + std::to_string(args.size()) + " arguments, recorded " + std::to_string(want.size()));
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (cassette::is_password(op, i) && want[i] == json::array({"BSTR", cassette::mask})) continue;
        if (args[i] != want[i])
            diverged(p, at + " argument " + std::to_string(i + 1) + " is " + cassette::shown(args[i]) + ", recorded " +
                            cassette::shown(want[i]));
    }
    ++p.next;
    return r;
}

class replaying_object final : public oa::implements<replaying_object, IDispatch> {
public:
    static constexpr std::u16string_view class_name = u"Replay";
    explicit replaying_object(std::string handle) : handle_(std::move(handle)) {
        if (const auto k = kind_of(handle_)) live_.emplace(*k);
        playing->live[handle_] = this;
    }
    ~replaying_object() override {
        const std::lock_guard<std::recursive_mutex> lock(guard);
        if (playing) playing->live.erase(handle_);
    }
    const std::string& handle() const noexcept { return handle_; }

    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* n) override {
        if (!n) return E_POINTER;
        *n = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
        if (info) *info = nullptr;
        return DISP_E_BADINDEX;
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
        if (!names || !ids || count == 0) return E_INVALIDARG;
        ids[0] = id_of(oa::view_z(names[0]));
        for (UINT i = 1; i < count; ++i) ids[i] = DISPID_UNKNOWN;
        return ids[0] == DISPID_UNKNOWN || count > 1 ? DISP_E_UNKNOWNNAME : S_OK;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                                     EXCEPINFO* exception, UINT*) override;

private:
    std::string handle_;
    std::optional<live_counter> live_;
};

json named(IDispatch* object) {
    if (!object) return nullptr;
    for (const auto& [handle, live] : playing->live)
        if (static_cast<IDispatch*>(live) == object) return handle;
    return "object";
}

// The object a recorded result names: the live one of that handle, else a new one.
oa::com_ptr<IDispatch> object_named(const std::string& handle) {
    if (auto it = playing->live.find(handle); it != playing->live.end()) return oa::com_ptr<IDispatch>(it->second);
    return oa::com_ptr<IDispatch>(oa::make_self<replaying_object>(handle));
}

void deliver(const json& v, VARIANT* out) {
    if (!out) return;
    const oa::unique_variant replaced = oa::take(*out);
    const std::string type = v[0].get<std::string>();
    if (type == "BSTR") {
        out->vt = VT_BSTR;
        out->bstrVal = oa::make_bstr(oa::utf8_to_utf16(v[1].get<std::string>()).value_or(u"")).release();
    } else if (type == "I2") {
        out->vt = VT_I2;
        out->iVal = v[1].get<SHORT>();
    } else if (type == "I4") {
        out->vt = VT_I4;
        out->lVal = v[1].get<LONG>();
    } else if (type == "UI1") {
        out->vt = VT_UI1;
        out->bVal = v[1].get<BYTE>();
    } else if (type == "BOOL") {
        out->vt = VT_BOOL;
        out->boolVal = v[1].get<bool>() ? VARIANT_TRUE : VARIANT_FALSE;
    } else if (type == "DISPATCH") {
        out->vt = VT_DISPATCH;
        out->pdispVal = v[1].is_string() ? object_named(v[1].get<std::string>()).detach() : nullptr;
    } else if (type == "ARRAY") {
        out->vt = VT_ARRAY | VT_UI1;
        out->parray = v[1].is_null() ? nullptr : bytes_of(v[1]).release();
    }
}

// The recorded by-reference values, written where the caller's arguments point.
void leave_behind(const json& after, DISPPARAMS& p) {
    for (const auto& [number, v] : after.items()) {
        const std::size_t n = std::stoul(number);
        if (n < 1 || n > p.cArgs || v[1].is_null()) continue;
        VARIANT& arg = p.rgvarg[p.cArgs - n];
        const std::string type = v[0].get<std::string>();
        if (type == "I2&" && arg.vt == (VT_BYREF | VT_I2) && arg.piVal) *arg.piVal = v[1].get<SHORT>();
        if (type == "I4&" && arg.vt == (VT_BYREF | VT_I4) && arg.plVal) *arg.plVal = v[1].get<LONG>();
        if (type == "ARRAY&" && arg.vt == (VT_BYREF | VT_ARRAY | VT_UI1) && arg.pparray) {
            oa::unique_safearray old(*arg.pparray);  // replaced, as the library does
            *arg.pparray = bytes_of(v[1]).release();
        }
    }
}

HRESULT failure(const json& f, EXCEPINFO* exception) {
    const HRESULT invoke = f.value("invoke", static_cast<HRESULT>(f.value("number", 0)));
    const std::u16string description = oa::utf8_to_utf16(f.value("description", "")).value_or(u"");
    if (invoke == DISP_E_EXCEPTION) {
        if (exception) {
            *exception = EXCEPINFO{};
            exception->scode = f.value("number", E_FAIL);
            exception->bstrSource = oa::make_bstr(u"mrlib").release();
            exception->bstrDescription = oa::make_bstr(description).release();
        }
        return DISP_E_EXCEPTION;
    }
    oa::set_error_info(invoke, u"mrlib", description);
    return invoke;
}

HRESULT replaying_object::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                                 EXCEPINFO* exception, UINT*) {
    static DISPPARAMS none{};
    DISPPARAMS& given = params ? *params : none;
    try {
        const std::lock_guard<std::recursive_mutex> lock(guard);
        if (!playing) oa::raise(errors::replay_diverged, u"replay: the cassette was put away");
        const std::string op = name_of(id);
        const bool put = (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0;
        const json& r = expect(*playing, handle_, op, put, cassette::arguments(op, given, named));
        if (r.contains("failure")) return failure(r["failure"], exception);
        if (r.contains("after")) leave_behind(r["after"], given);
        deliver(r["result"], result);
        return S_OK;
    } catch (const oa::com_error& e) {
        if (exception) {
            *exception = EXCEPINFO{};
            exception->scode = e.code();
            exception->bstrSource = oa::make_bstr(u"mrlib").release();
            exception->bstrDescription = oa::make_bstr(e.description()).release();
        }
        return DISP_E_EXCEPTION;
    } catch (const std::exception&) {
        return E_FAIL;
    }
}

class replaying_class final : public oa::implements<replaying_class, IClassFactory> {
public:
    static constexpr std::u16string_view class_name = u"ReplayClass";
    explicit replaying_class(std::string progid) : progid_(std::move(progid)) {}
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** object) override {
        if (!object) return E_POINTER;
        *object = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        try {
            oa::com_ptr<IDispatch> made;
            {
                const std::lock_guard<std::recursive_mutex> lock(guard);
                if (!playing) oa::raise(errors::replay_diverged, u"replay: the cassette was put away");
                const json& r = expect(*playing, progid_, "new", false, json::array());
                if (r.contains("failure")) return failure(r["failure"], nullptr);
                made = object_named(r["result"][1].get<std::string>());
            }
            return made->QueryInterface(iid, object);
        } catch (const oa::com_error& e) {
            oa::set_error_info(e.code(), u"mrlib", e.description());
            return e.code();
        } catch (const std::exception&) {
            return E_FAIL;
        }
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
        lock ? ++oa::module_count : --oa::module_count;
        return S_OK;
    }

private:
    std::string progid_;
};

}  // namespace

void start(const std::string& path) {
    cassette::recorded read;
    try {
        read = cassette::read(path);
    } catch (const std::exception& e) {
        oa::raise(errors::bad_cassette, oa::utf8_to_utf16(e.what()).value_or(u"The cassette cannot be read"));
    }
    auto fresh = std::make_unique<player>();
    fresh->calls = std::move(read.calls);
    const std::lock_guard<std::recursive_mutex> lock(guard);
    playing = std::move(fresh);
}

void stop() noexcept {
    std::unique_ptr<player> ended;
    const std::lock_guard<std::recursive_mutex> lock(guard);
    ended = std::move(playing);
}

bool active() noexcept {
    const std::lock_guard<std::recursive_mutex> lock(guard);
    return playing != nullptr;
}

HRESULT class_object(std::string_view progid, REFIID iid, void** ppv) {
    return oa::make_self<replaying_class>(std::string(progid))->QueryInterface(iid, ppv);
}

std::u16string outcome() {
    const std::lock_guard<std::recursive_mutex> lock(guard);
    if (!playing) return {};
    std::string text = playing->divergence;
    if (text.empty() && playing->next < playing->calls.size())
        text = "replay: " + std::to_string(playing->calls.size() - playing->next) +
               " recorded calls were not made, from call " + std::to_string(playing->next + 1) + " " +
               playing->calls[playing->next]["op"].get<std::string>();
    return oa::utf8_to_utf16(text).value_or(u"replay: diverged");
}

}  // namespace mremu::replay
