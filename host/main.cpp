// q2mrhost: runs a Lua automation script against the component and the emulated change
// server. q2mrhost --help (options.cpp) tells the command line and the exit codes.
#include <cassette/recorder.h>
#include <host/dialog_input.h>
#include <host/options.h>
#include <host/script.h>

#include <component/interfaces.h>
#include <component/version.h>
#include <emulator/emulator.h>
#include <forms/backend.h>
#include <oa/com_ptr.h>
#include <oa/error.h>
#include <oa/text.h>
#include <platform/files.h>

#include <lua.hpp>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

using q2mrhost::options;

constexpr int exit_script_failed = 1;
constexpr int exit_usage = 2;
constexpr int exit_left_alive = 3;
// Scripts are read whole before they run; none comes near this.
constexpr std::size_t script_size_limit = std::size_t{64} << 20;

// The registry that the build wrote beside the host, unless one is named already (an
// empty OLEAUTO_REGISTRY names none).
void choose_registry() {
    if (const char* named = std::getenv("OLEAUTO_REGISTRY"); named && *named) return;
    std::error_code ec;
    auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) return;
    auto beside = exe.parent_path() / "registry";
    if (std::filesystem::exists(beside, ec)) OaSetRegistryPath(beside.c_str());
}

std::string describe(HRESULT hr) {
    std::string text = oa::utf16_to_utf8(oa::take_error_description(hr));
    if (text.empty()) {
        char code[16];
        std::snprintf(code, sizeof code, "0x%08X", static_cast<unsigned>(hr));
        text = std::string("failure ") + code;
    }
    return text;
}

oa::unique_bstr bstr_of(const std::string& utf8) { return oa::make_bstr(oa::utf8_to_utf16(utf8).value_or(u"")); }

// Whether the host can write the state file: its folder exists and takes new files, and
// the path is no folder, FIFO or device (the file is replaced through a temporary beside it).
bool output_path_usable(const std::string& path, std::string& why) {
    if (!platform::folder_of_path_exists(path, why)) return false;
    const auto slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    if (::access(folder.c_str(), W_OK | X_OK) != 0) {
        why = folder + ": " + std::strerror(errno);
        return false;
    }
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode)) {
        why = path + ": not a regular file";
        return false;
    }
    return true;
}

LONG live_objects(mremu::IEmulator* emulator, const char16_t* class_name) {
    oa::unique_bstr name = oa::make_bstr(class_name);
    LONG count = 0;
    if (FAILED(emulator->LiveObjects(name.get(), &count))) return -1;
    return count;
}

void note_no_display(const std::u16string& caption, const std::string& reason) {
    std::fflush(stdout);  // after what the script printed so far
    std::cerr << "q2mrhost: the dialog \"" << oa::utf16_to_utf8(caption) << "\" could not be shown (" << reason
              << "); it counts as cancelled. Unattended runs can answer it with --dialog-input FILE.\n";
}

int run(const options& o) {
    // Everything the run needs is checked before the script starts.
    std::string script_text;
    if (o.script) {
        try {
            script_text = platform::read_regular_file(*o.script, script_size_limit);
        } catch (const platform::file_error& e) {
            std::cerr << "q2mrhost: cannot read the script " << e.detail() << "\n";
            return exit_usage;
        }
    }
    std::string why;
    if (o.state_out && !output_path_usable(*o.state_out, why)) {
        std::cerr << "q2mrhost: cannot write the state file there: " << why << "\n";
        return exit_usage;
    }
    if (o.record && !output_path_usable(*o.record, why)) {
        std::cerr << "q2mrhost: cannot write the cassette there: " << why << "\n";
        return exit_usage;
    }
    std::vector<std::pair<std::u16string, std::u16string>> answers;
    if (o.dialog_input && !q2mrhost::read_dialog_answers(*o.dialog_input, answers, why)) {
        std::cerr << "q2mrhost: cannot read the dialog input " << why << "\n";
        return exit_usage;
    }

    CLSID emulator_class{};
    oa::com_ptr<mremu::IEmulator> emulator;
    HRESULT hr = CLSIDFromProgID(u"mrlib.Emulator", &emulator_class);
    if (SUCCEEDED(hr))
        hr = CoCreateInstance(emulator_class, nullptr, CLSCTX_INPROC_SERVER, iid_of<mremu::IEmulator>(),
                              emulator.put_void());
    if (FAILED(hr)) {
        std::cerr << "q2mrhost: cannot load the emulated change server (registry " << OaGetRegistryPath()
                  << "): " << describe(hr) << "\n";
        return exit_usage;
    }
    if (o.server)
        if (HRESULT f = emulator->LoadFixture(bstr_of(*o.server).get()); FAILED(f)) {
            std::cerr << "q2mrhost: " << describe(f) << "\n";
            return exit_usage;
        }
    if (o.replay)
        if (HRESULT f = emulator->ReplayCassette(bstr_of(*o.replay).get()); FAILED(f)) {
            std::cerr << "q2mrhost: " << describe(f) << "\n";
            return exit_usage;
        }
    std::optional<cassette::recorder> recording;
    LONG calls_before = 0;
    if (o.record) try {
            // With --server the library is the emulated one, which serves the recorder's class
            // objects itself: the Windows host's activation context needs that, and both hosts
            // record alike.
            emulator->CallCount(&calls_before);
            recording.emplace(*o.record, std::initializer_list<std::u16string_view>{u"mrlib.api", u"mrlib.User"},
                              o.server ? cassette::served_by(emulator.get()) : cassette::recorder::placement{});
        } catch (const platform::file_error& e) {
            std::cerr << "q2mrhost: cannot write the cassette " << e.detail() << "\n";
            return exit_usage;
        } catch (const oa::com_error& e) {
            std::cerr << "q2mrhost: cannot record: " << oa::utf16_to_utf8(e.description()) << "\n";
            return exit_usage;
        }
    if (o.journal)
        if (HRESULT f = emulator->StartJournal(bstr_of(*o.journal).get()); FAILED(f)) {
            std::cerr << "q2mrhost: " << describe(f) << "\n";
            return exit_usage;
        }
    if (o.trace) {
        // Each traced call shows up among the script's own lines, in order.
        std::setvbuf(stdout, nullptr, _IOLBF, BUFSIZ);
        emulator->TraceCalls(VARIANT_TRUE);
    }
    if (o.dialog_input) {
        q2mrhost::answer_dialogs_from(std::move(answers));
    } else {
        forms::use_backend(forms::Backend::Terminal);
        forms::on_no_display(note_no_display);
    }

    const q2mrhost::script_result ran = q2mrhost::run_script(o, script_text);
    int status = ran.how == q2mrhost::script_result::end::completed ? 0
                 : ran.how == q2mrhost::script_result::end::exited  ? ran.exit_code
                                                                     : exit_script_failed;

    // The end of the run, also after a failure or os.exit: journal, state, leak check.
    // Their failures decide the exit code only of a run that would otherwise succeed.
    if (HRESULT f = emulator->StopJournal(); FAILED(f)) {
        std::cerr << "q2mrhost: " << describe(f) << "\n";
        if (status == 0) status = exit_script_failed;
    }
    if (o.state_out)
        if (HRESULT f = emulator->SaveState(bstr_of(*o.state_out).get()); FAILED(f)) {
            std::cerr << "q2mrhost: " << describe(f) << "\n";
            if (status == 0) status = exit_script_failed;
        }
    if (recording) try {
            recording->finish();
            LONG calls_after = 0;
            if (SUCCEEDED(emulator->CallCount(&calls_after)))
                if (const std::string lost = recording->unrecorded(calls_after - calls_before); !lost.empty()) {
                    std::cerr << "q2mrhost: " << lost << "\n";
                    status = exit_script_failed;
                }
        } catch (const platform::file_error& e) {
            std::cerr << "q2mrhost: cannot write the cassette " << e.detail() << "\n";
            status = exit_script_failed;
        }
    recording.reset();
    if (o.replay) {
        oa::unique_bstr outcome;
        if (SUCCEEDED(emulator->ReplayOutcome(outcome.put())) && !oa::view(outcome.get()).empty()) {
            std::cerr << oa::utf16_to_utf8(oa::view(outcome.get())) << "\n";
            status = exit_script_failed;
        }
    }
    forms::on_no_display(nullptr);

    CoFreeUnusedLibraries();
    const LONG alive = live_objects(emulator.get(), u"");
    const bool component_unloadable = OaClassLibraryCanUnloadNow(quellar2mrapi::CLSID_t2mrapp) != S_FALSE;
    if (alive != 0 || !component_unloadable) {
        std::cerr << "q2mrhost: objects are still alive after the script:";
        for (const char16_t* c : {u"api", u"User", u"ObjectList", u"ObjectData", u"Attribute"})
            if (LONG n = live_objects(emulator.get(), c); n > 0) std::cerr << " " << n << " " << oa::utf16_to_utf8(c);
        if (alive < 0) std::cerr << " (the emulator did not answer)";
        if (!component_unloadable) std::cerr << " component objects (the component cannot unload)";
        std::cerr << "\n";
        if (status == 0) status = exit_left_alive;
    }
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    using action = q2mrhost::command_line::action;
    const q2mrhost::command_line c = q2mrhost::parse_command_line(argc, argv);
    switch (c.what) {
    case action::help: std::cout << q2mrhost::help_text(); return 0;
    case action::version:
        std::cout << "q2mrhost " << quellar2mrapi::version_text << " (quellar2mrapi " << quellar2mrapi::version_text
                  << ", Lua " LUA_VERSION_MAJOR "." LUA_VERSION_MINOR ")\n";
        return 0;
    case action::usage_error:
        std::cerr << "q2mrhost: " << c.error << "\n" << q2mrhost::usage_line() << "(q2mrhost --help tells more)\n";
        return exit_usage;
    case action::run: break;
    }
    choose_registry();
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    int status = run(c.o);
    CoUninitialize();
    return status;
}
