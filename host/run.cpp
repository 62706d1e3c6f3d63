#include <host/run.h>

#include <cassette/recorder.h>
#include <emulator/emulator.h>
#include <oa/com_ptr.h>
#include <oa/error.h>
#include <oa/text.h>
#include <platform/files.h>

#include <cstdio>
#include <optional>

namespace q2mrhost {

namespace {

oa::unique_bstr bstr_of(const std::string& utf8) { return oa::make_bstr(oa::utf8_to_utf16(utf8).value_or(u"")); }

LONG live_objects(mremu::IEmulator* emulator, const char16_t* class_name) {
    if (!emulator) return 0;
    oa::unique_bstr name = oa::make_bstr(class_name);
    LONG count = 0;
    if (FAILED(emulator->LiveObjects(name.get(), &count))) return -1;
    return count;
}

}  // namespace

std::string describe(HRESULT hr) {
    std::string text = oa::utf16_to_utf8(oa::take_error_description(hr));
    if (text.empty()) {
        char code[32];
        std::snprintf(code, sizeof code, "failure 0x%08lX", static_cast<unsigned long>(hr));
        text = code;
    }
    return text;
}

int run(const options& o, host_parts& host) {
    // Everything the run needs is checked before the script starts.
    if (!host.read_script(o)) return exit_usage;
    std::string why;
    if (o.state_out && !host.output_path_usable(*o.state_out, why)) {
        host.say("cannot write the state file there: " + why);
        return exit_usage;
    }
    if (o.record && !host.output_path_usable(*o.record, why)) {
        host.say("cannot write the cassette there: " + why);
        return exit_usage;
    }
    if (!host.prepare(o)) return exit_usage;

    CLSID emulator_class{};
    oa::com_ptr<mremu::IEmulator> emulator;
    HRESULT hr = CLSIDFromProgID(oa::ole(u"mrlib.Emulator"), &emulator_class);
    if (SUCCEEDED(hr))
        hr = CoCreateInstance(emulator_class, nullptr, CLSCTX_INPROC_SERVER, iid_of<mremu::IEmulator>(),
                              emulator.put_void());
    if (FAILED(hr) && !host.without_emulator(o, hr)) return exit_usage;
    const auto started = [&](HRESULT f) {
        if (SUCCEEDED(f)) return true;
        host.say(describe(f));
        return false;
    };
    if (o.server && !started(emulator->LoadFixture(bstr_of(*o.server).get()))) return exit_usage;
    if (o.replay && !started(emulator->ReplayCassette(bstr_of(*o.replay).get()))) return exit_usage;
    std::optional<cassette::recorder> recording;
    LONG calls_before = 0;
    if (o.record) try {
            // With --server the library is the emulated one, which serves the recorder's class
            // objects itself: the Windows host's activation context finds the library's
            // classes before any class object the host could register, and both hosts
            // record alike.
            if (emulator) emulator->CallCount(&calls_before);
            recording.emplace(*o.record, std::initializer_list<std::u16string_view>{u"mrlib.api", u"mrlib.User"},
                              o.server ? cassette::served_by(emulator.get()) : cassette::recorder::placement{});
        } catch (const platform::file_error& e) {
            host.say("cannot write the cassette " + e.detail());
            return exit_usage;
        } catch (const oa::com_error& e) {
            host.say("cannot record: " + oa::utf16_to_utf8(e.description()));
            return exit_usage;
        }
    if (o.journal && !started(emulator->StartJournal(bstr_of(*o.journal).get()))) return exit_usage;
    host.before_script(o);
    if (o.trace) emulator->TraceCalls(VARIANT_TRUE);

    const script_result ran = host.run_script(o);
    int status = ran.how == script_result::end::completed ? 0
                 : ran.how == script_result::end::exited  ? ran.exit_code
                                                           : exit_script_failed;

    // The end of the run, also after a failure or an exit: journal, state, cassette, leak
    // check. Their failures decide the exit code only of a run that would otherwise succeed.
    const auto ended = [&](HRESULT f) {
        if (SUCCEEDED(f)) return;
        host.say(describe(f));
        if (status == 0) status = exit_script_failed;
    };
    if (emulator) ended(emulator->StopJournal());
    if (o.state_out) ended(emulator->SaveState(bstr_of(*o.state_out).get()));
    if (recording) try {
            recording->finish();
            LONG calls_after = 0;
            if (emulator && SUCCEEDED(emulator->CallCount(&calls_after)))
                if (const std::string lost = recording->unrecorded(calls_after - calls_before); !lost.empty()) {
                    host.say(lost);
                    status = exit_script_failed;
                }
        } catch (const platform::file_error& e) {
            host.say("cannot write the cassette " + e.detail());
            status = exit_script_failed;
        }
    recording.reset();
    if (o.replay) {
        oa::unique_bstr outcome;
        if (SUCCEEDED(emulator->ReplayOutcome(outcome.put())) && !oa::view(outcome.get()).empty()) {
            host.error_line(oa::utf16_to_utf8(oa::view(outcome.get())));
            status = exit_script_failed;
        }
    }
    host.after_script();

    CoFreeUnusedLibraries();
    const LONG alive = live_objects(emulator.get(), u"");
    const bool component_done = host.component_unloadable();
    if (alive != 0 || !component_done) {
        std::string names;
        for (const char16_t* c : {u"api", u"User", u"ObjectList", u"ObjectData", u"Attribute"})
            if (LONG n = live_objects(emulator.get(), c); n > 0)
                names += " " + std::to_string(n) + " " + oa::utf16_to_utf8(c);
        if (alive < 0) names += " (the emulator did not answer)";
        if (!component_done) names += " component objects (the component cannot unload)";
        host.say("objects are still alive after the script:" + names);
        if (status == 0) status = exit_left_alive;
    }
    return status;
}

}  // namespace q2mrhost
