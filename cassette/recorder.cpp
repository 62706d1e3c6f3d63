#include <cassette/recorder.h>

#include <emulator/emulator.h>
#include <oa/error.h>
#include <oa/implements.h>
#include <oa/text.h>
#include <oa/unique.h>
#include <platform/files.h>

#include <map>
#include <vector>

namespace cassette {

namespace {

// How the recorder finds the library's object behind one of its own.
struct IRecorded : IUnknown {
    virtual IDispatch* STDMETHODCALLTYPE library_object() = 0;
    virtual const std::string& handle() const = 0;
};

}  // namespace
}  // namespace cassette

OLEAUTO_DECLARE_IID(cassette::IRecorded, 0x6B1D47E2, 0x90A3, 0x4C7F, 0x85, 0x2E, 0x3A, 0x61, 0xF0, 0x9C, 0x4D, 0x17);

namespace cassette {

class recorded_object;

struct recorder_state : std::enable_shared_from_this<recorder_state> {
    explicit recorder_state(const std::string& path) : out(path) {}
    writer out;
    long handles = 0;
    // The recorder's object for each live library object (by identity), so that one
    // object keeps one handle.
    std::map<IUnknown*, recorded_object*> by_library_object;
    // The member names of each class, learned from GetIDsOfNames: a caller may look a
    // name up on one object and call the id on another of its class.
    std::map<std::string, std::map<DISPID, std::string>, std::less<>> names;

    oa::com_ptr<IDispatch> wrap(oa::com_ptr<IDispatch> object, std::string_view kind);
    json name_of(IDispatch* object);
};

namespace {

std::string failure_text(HRESULT hr, const EXCEPINFO* e) {
    if (hr == DISP_E_EXCEPTION && e && e->bstrDescription) return oa::utf16_to_utf8(oa::view(e->bstrDescription));
    if (hr == DISP_E_EXCEPTION) return {};
    // Read and put back: the caller still finds the error info.
    oa::com_ptr<IErrorInfo> info;
    std::string text;
    if (GetErrorInfo(0, info.put()) == S_OK && info) {
        oa::unique_bstr description;
        if (SUCCEEDED(info->GetDescription(description.put()))) text = oa::utf16_to_utf8(oa::view(description.get()));
        SetErrorInfo(0, info.get());
    }
    return text;
}

json failure_of(HRESULT hr, const EXCEPINFO* e) {
    json f;
    const LONG number = hr == DISP_E_EXCEPTION && e ? (e->scode ? e->scode : e->wCode) : hr;
    f["number"] = number;
    f["description"] = failure_text(hr, e);
    f["invoke"] = hr;
    return f;
}

}  // namespace

class recorded_object final : public oa::implements<recorded_object, IDispatch, IRecorded> {
public:
    static constexpr std::u16string_view class_name = u"Recorded";
    recorded_object(oa::com_ptr<IDispatch> object, std::string handle, std::string kind,
                    std::shared_ptr<recorder_state> state)
        : object_(std::move(object)), handle_(std::move(handle)), kind_(std::move(kind)), state_(std::move(state)) {
        state_->by_library_object[identity()] = this;
    }
    ~recorded_object() override { state_->by_library_object.erase(identity()); }

    IDispatch* STDMETHODCALLTYPE library_object() override { return object_.get(); }
    const std::string& handle() const override { return handle_; }

    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* n) override { return object_->GetTypeInfoCount(n); }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT i, LCID lcid, ITypeInfo** info) override {
        return object_->GetTypeInfo(i, lcid, info);
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) override {
        const HRESULT hr = object_->GetIDsOfNames(riid, names, count, lcid, ids);
        if (SUCCEEDED(hr) && count > 0 && names && ids)
            state_->names[kind_][ids[0]] = oa::utf16_to_utf8(oa::view_z(names[0]));
        return hr;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                                     EXCEPINFO* exception, UINT* bad_argument) override {
        static DISPPARAMS none{};
        const DISPPARAMS& given = params ? *params : none;
        const std::string op = member_name(id);
        const auto namer = [this](IDispatch* o) { return state_->name_of(o); };
        json line;
        line["on"] = handle_;
        line["op"] = op;
        if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) line["kind"] = "put";
        line["args"] = arguments(op, given, namer);

        // The library is handed its own objects, rows included.
        std::vector<VARIANT> args(given.rgvarg, given.rgvarg + given.cArgs);
        std::vector<std::vector<IDispatch*>> row_blocks;
        std::vector<std::vector<VARIANT>> variant_blocks;
        for (std::size_t k = 0; k < args.size(); ++k) {
            VARIANT& v = args[k];
            const long rows = block_length(op, given, args.size() - 1 - k);
            if (v.vt == VT_DISPATCH) {
                v.pdispVal = unwrapped(v.pdispVal);
            } else if (v.vt == (VT_BYREF | VT_DISPATCH) && v.ppdispVal && rows > 0) {
                auto& block = row_blocks.emplace_back(v.ppdispVal, v.ppdispVal + rows);
                for (IDispatch*& row : block) row = unwrapped(row);
                v.ppdispVal = block.data();
            } else if (v.vt == (VT_BYREF | VT_VARIANT) && v.pvarVal && rows > 0) {
                auto& block = variant_blocks.emplace_back(v.pvarVal, v.pvarVal + rows);
                for (VARIANT& row : block)
                    if (row.vt == VT_DISPATCH) row.pdispVal = unwrapped(row.pdispVal);
                v.pvarVal = block.data();
            }
        }
        DISPPARAMS forwarded{args.data(), given.rgdispidNamedArgs, given.cArgs, given.cNamedArgs};
        oa::unique_excepinfo own;
        EXCEPINFO* e = exception ? exception : &own;
        const HRESULT hr = object_->Invoke(id, riid, lcid, flags, &forwarded, result, e, bad_argument);
        if (FAILED(hr)) {
            line["failure"] = failure_of(hr, e);
        } else {
            if (result && result->vt == VT_DISPATCH && result->pdispVal) {
                oa::com_ptr<IDispatch> delivered = oa::adopt(result->pdispVal);
                result->pdispVal = state_->wrap(std::move(delivered), class_delivered_by(op)).detach();
            }
            if (json behind = after(given, namer); !behind.empty()) line["after"] = std::move(behind);
            line["result"] = result ? cassette::result(op, *result, namer) : json::array({"EMPTY", nullptr});
        }
        state_->out.call(std::move(line));
        return hr;
    }

private:
    IUnknown* identity() const noexcept { return object_.get(); }
    IDispatch* unwrapped(IDispatch* object) {
        oa::com_ptr<IRecorded> ours;
        if (object && SUCCEEDED(object->QueryInterface(iid_of<IRecorded>(), ours.put_void())))
            return ours->library_object();
        return object;
    }
    std::string member_name(DISPID id) {
        auto& known = state_->names[kind_];
        if (auto it = known.find(id); it != known.end()) return it->second;
        // An id the caller did not look up here: the library's own type information.
        oa::com_ptr<ITypeInfo> info;
        oa::unique_bstr name;
        UINT found = 0;
        if (SUCCEEDED(object_->GetTypeInfo(0, 0, info.put())) && info &&
            SUCCEEDED(info->GetNames(id, name.put(), 1, &found)) && found == 1)
            return known[id] = oa::utf16_to_utf8(oa::view(name.get()));
        return "#" + std::to_string(id);
    }

    oa::com_ptr<IDispatch> object_;
    std::string handle_, kind_;
    std::shared_ptr<recorder_state> state_;
};

oa::com_ptr<IDispatch> recorder_state::wrap(oa::com_ptr<IDispatch> object, std::string_view kind) {
    if (auto it = by_library_object.find(object.get()); it != by_library_object.end())
        return oa::com_ptr<IDispatch>(it->second);
    const std::string handle = std::string(kind) + "#" + std::to_string(++handles);
    // The state lives as long as any object of the run: the objects share it.
    return oa::com_ptr<IDispatch>(
        oa::make_self<recorded_object>(std::move(object), handle, std::string(kind), shared_from_this()));
}

json recorder_state::name_of(IDispatch* object) {
    if (!object) return nullptr;
    oa::com_ptr<IRecorded> ours;
    if (SUCCEEDED(object->QueryInterface(iid_of<IRecorded>(), ours.put_void()))) return ours->handle();
    return "object";
}

namespace {

// A class of the library, served through the recorder: each object it makes is recorded
// as the result of "new" on the ProgID.
class recording_class final : public oa::implements<recording_class, IClassFactory> {
public:
    static constexpr std::u16string_view class_name = u"RecordingClass";
    recording_class(oa::com_ptr<IClassFactory> library, std::string progid, std::shared_ptr<recorder_state> state)
        : library_(std::move(library)), progid_(std::move(progid)), state_(std::move(state)) {}

    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** object) override {
        if (!object) return E_POINTER;
        *object = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        json line;
        line["on"] = progid_;
        line["op"] = "new";
        line["args"] = json::array();
        oa::com_ptr<IDispatch> made;
        const HRESULT hr = library_->CreateInstance(nullptr, iid_of<IDispatch>(), made.put_void());
        if (FAILED(hr)) {
            line["failure"] = failure_of(hr, nullptr);
            state_->out.call(std::move(line));
            return hr;
        }
        const std::string kind = progid_.substr(progid_.find('.') + 1);
        oa::com_ptr<IDispatch> ours = state_->wrap(std::move(made), kind.substr(0, kind.find('.')));
        line["result"] = json::array({"DISPATCH", state_->name_of(ours.get())});
        state_->out.call(std::move(line));
        return ours->QueryInterface(iid, object);
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override { return library_->LockServer(lock); }

private:
    oa::com_ptr<IClassFactory> library_;
    std::string progid_;
    std::shared_ptr<recorder_state> state_;
};

}  // namespace

recorder::recorder(const std::string& path, std::initializer_list<std::u16string_view> progids, placement place)
    : state_(std::make_shared<recorder_state>(path)), place_(std::move(place)) {
    try {
        for (std::u16string_view progid : progids) serve(progid);
    } catch (...) {
        revoke();
        throw;
    }
}

void recorder::serve(std::u16string_view progid) {
    const std::u16string name(progid);
    CLSID clsid{};
    if (FAILED(OaClassFromProgID(oa::ole(name.c_str()), &clsid)))
        oa::raise(REGDB_E_CLASSNOTREG, name + u" names no class on this machine");
    oa::com_ptr<IClassFactory> library;
    oa::check(CoGetClassObject(clsid, CLSCTX_INPROC_SERVER, nullptr, iid_of<IClassFactory>(), library.put_void()));
    auto ours = oa::make_self<recording_class>(std::move(library), oa::utf16_to_utf8(progid), state_);
    auto* factory = static_cast<IClassFactory*>(ours.get());
    if (place_) {
        oa::check(place_(progid, factory));
        placed_.push_back(name);
    } else {
        DWORD cookie = 0;
        oa::check(CoRegisterClassObject(clsid, factory, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &cookie));
        cookies_.push_back(cookie);
    }
    // A caller must meet the recorder's class object, or its calls would go unrecorded.
    oa::com_ptr<IUnknown> found, own;
    factory->QueryInterface(iid_of<IUnknown>(), own.put_void());
    if (FAILED(CoGetClassObject(clsid, CLSCTX_INPROC_SERVER, nullptr, iid_of<IUnknown>(), found.put_void())) ||
        found.get() != own.get())
        oa::raise(E_UNEXPECTED, u"the system hands out the class object of " + name +
                                    u" past the recorder's, so its calls could not be recorded");
}

recorder::~recorder() { revoke(); }

void recorder::revoke() noexcept {
    for (DWORD cookie : cookies_) CoRevokeClassObject(cookie);
    cookies_.clear();
    for (const std::u16string& progid : placed_) place_(progid, nullptr);
    placed_.clear();
}

void recorder::finish() {
    revoke();
    state_->out.finish();
}

long recorder::calls() const noexcept { return state_->out.next() - 1; }

std::string recorder::unrecorded(long library_calls) const {
    if (library_calls <= 0 || calls() > 0) return {};
    return "the library answered " + std::to_string(library_calls) +
           " calls and none was recorded: the cassette holds no call to replay";
}

recorder::placement served_by(mremu::IEmulator* emulator) {
    return [library = oa::com_ptr<mremu::IEmulator>(emulator)](std::u16string_view progid, IClassFactory* ours) {
        const oa::unique_bstr name = oa::make_bstr(progid);
        VARIANT given;  // borrowed: ServeClass takes its own reference
        VariantInit(&given);
        if (ours) {
            given.vt = VT_UNKNOWN;
            given.punkVal = ours;
        }
        return library->ServeClass(name.get(), &given);
    };
}

}  // namespace cassette
