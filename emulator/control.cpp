// Emulator: the control class. Its calls are not journaled and take no faults.
#include <emulator/objects.h>
#include <emulator/operation.h>
#include <emulator/replay.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <mutex>

namespace mremu {

namespace {
std::string path_of(BSTR path) { return oa::utf16_to_utf8(view(path)); }

std::mutex served_guard;
std::array<oa::com_ptr<IClassFactory>, 2> served;
}  // namespace

oa::com_ptr<IClassFactory> served_class(int which) {
    const std::lock_guard<std::mutex> lock(served_guard);
    return served[static_cast<std::size_t>(which)];
}

HRESULT emulator_object::ServeClass(BSTR progid, VARIANT* classObject) {
    return call([&] {
        const std::u16string name = str(progid);
        const int which = name == u"mrlib.api" ? 0 : name == u"mrlib.User" ? 1 : -1;
        if (which < 0) oa::raise(errors::bad_argument, u"ServeClass: the library has no class \"" + name + u"\"");
        const VARIANT* v = classObject;
        if (v && v->vt == (VT_BYREF | VT_VARIANT) && v->pvarVal) v = v->pvarVal;
        IUnknown* given = nullptr;
        if (v && (v->vt == VT_UNKNOWN || v->vt == VT_DISPATCH)) given = v->punkVal;
        else if (v && v->vt != VT_EMPTY)
            oa::raise(errors::bad_argument, u"ServeClass: the class object must be an object, Empty or Nothing");
        oa::com_ptr<IClassFactory> factory;
        if (given && FAILED(given->QueryInterface(iid_of<IClassFactory>(), factory.put_void())))
            oa::raise(errors::bad_argument, u"ServeClass: the object is no class object");
        const std::lock_guard<std::mutex> lock(served_guard);
        served[static_cast<std::size_t>(which)] = std::move(factory);
    });
}

HRESULT emulator_object::CallCount(LONG* count) {
    return call(
        [&] {
            auto& st = state();
            auto lock = st.lock();
            *count = static_cast<LONG>(st.calls() & 0x7FFFFFFF);
        },
        count);
}

HRESULT emulator_object::LoadFixture(BSTR path) {
    return call([&] {
        auto& st = state();
        auto lock = st.lock();
        fixture_error error{};
        std::optional<server_set> servers = load_fixture(path_of(path), error);
        if (!servers) oa::raise(error.code, error.description);
        st.servers = std::move(*servers);
        st.injected.clear();
    });
}

HRESULT emulator_object::SaveState(BSTR path) {
    return call([&] {
        auto& st = state();
        auto lock = st.lock();
        fixture_error error{};
        if (!save_state(st.servers, path_of(path), error)) oa::raise(error.code, error.description);
    });
}

HRESULT emulator_object::InjectFault(BSTR name, LONG hresult, BSTR description, LONG times) {
    return call([&] {
        auto& st = state();
        auto lock = st.lock();
        const std::optional<target> aimed = target::named(path_of(name));
        if (!aimed) oa::raise(errors::bad_argument, u"InjectFault: unknown operation \"" + str(name) + u"\"");
        if (hresult >= 0) oa::raise(errors::bad_argument, u"InjectFault: the HRESULT must be a failure code");
        if (times < 0) oa::raise(errors::bad_argument, u"InjectFault: times must be 0 or more");
        if (times == 0) {
            std::erase_if(st.injected, [&](const fault& f) { return f.target == *aimed; });
            return;
        }
        st.injected.push_back({*aimed, hresult, str(description), times});
    });
}

HRESULT emulator_object::inject_fault_late(BSTR name, const VARIANT& hresult, BSTR description, LONG times) {
    const VARIANT* v = &hresult;
    if (v->vt == (VT_BYREF | VT_VARIANT) && v->pvarVal) v = v->pvarVal;
    // A whole number from -2^31 to 2^32-1: scripts write HRESULTs as 0x8004xxxx, which
    // does not fit a Long; the low 32 bits are the code.
    oa::unique_variant wide;
    bool whole = SUCCEEDED(oa::change_type(&wide, v, 0, VT_R8)) && std::trunc(wide.dblVal) == wide.dblVal &&
                 wide.dblVal >= -2147483648.0 && wide.dblVal <= 4294967295.0;
    if (!whole)
        return call([] {
            oa::raise(errors::bad_argument, u"InjectFault: the HRESULT must be a whole number from -2^31 to 2^32-1");
        });
    const auto code = static_cast<std::uint32_t>(static_cast<std::int64_t>(wide.dblVal));
    return InjectFault(name, static_cast<LONG>(code), description, times);
}

HRESULT emulator_object::StartJournal(BSTR path) {
    return call([&] {
        auto& st = state();
        auto lock = st.lock();
        try {
            st.start_journal(path_of(path));
        } catch (const platform::file_error& e) {
            oa::raise(errors::write_failed,
                      u"Cannot open the journal file \"" + str(path) + u"\": " + platform::decode_system_text(e.detail()));
        }
    });
}

HRESULT emulator_object::StopJournal() {
    return call([&] {
        auto& st = state();
        auto lock = st.lock();
        std::string why;
        if (!st.stop_journal(why)) oa::raise(errors::write_failed, platform::decode_system_text(why));
    });
}

HRESULT emulator_object::TraceCalls(VARIANT_BOOL on) {
    return call([&] {
        auto& st = state();
        auto lock = st.lock();
        st.trace_calls(on != VARIANT_FALSE);
    });
}

HRESULT emulator_object::ReplayCassette(BSTR path) {
    return call([&] { replay::start(path_of(path)); });
}

HRESULT emulator_object::ReplayOutcome(BSTR* outcome) {
    return call([&] { *outcome = oa::make_bstr(replay::outcome()).release(); }, outcome);
}

HRESULT emulator_object::LiveObjects(BSTR className, LONG* count) {
    return call(
        [&] {
            const std::string name = path_of(className);
            if (name.empty()) {
                long all = 0;
                for (kind k : {kind::api, kind::user, kind::object_list, kind::object_data, kind::attribute})
                    all += live_counter::count(k);
                *count = static_cast<LONG>(all);
                return;
            }
            for (std::size_t i = 0; i < static_cast<std::size_t>(kind::count_); ++i)
                if (kind_name(static_cast<kind>(i)) == name) {
                    *count = static_cast<LONG>(live_counter::count(static_cast<kind>(i)));
                    return;
                }
            oa::raise(errors::bad_argument, u"LiveObjects: unknown class \"" + str(className) + u"\"");
        },
        count);
}

HRESULT emulator_object::Reset() {
    return call([&] {
        auto& st = state();
        auto lock = st.lock();
        st.servers = default_servers();
        st.injected.clear();
        replay::stop();
    });
}

}  // namespace mremu
