// q2mrhost.exe: runs a VBScript (.vbs) or JScript (.js) file on the system's script
// engines against the component and the emulated change server, with the Lua host's
// command line, steps around the script and exit codes.
#include <cassette/recorder.h>
#include <host/options.h>
#include <host/windows/activation.h>
#include <host/windows/console.h>
#include <host/windows/engine.h>

#include <component/interfaces.h>
#include <component/version.h>
#include <emulator/emulator.h>
#include <oa/com_ptr.h>
#include <oa/error.h>
#include <oa/text.h>
#include <platform/files.h>

#include <shellapi.h>

#include <string>
#include <vector>

namespace {

using q2mrhost::options;
using namespace q2mrhost::windows;

constexpr int exit_script_failed = 1;
constexpr int exit_usage = 2;
constexpr int exit_left_alive = 3;
constexpr std::size_t script_size_limit = std::size_t{64} << 20;

constexpr const char* usage_line =
    "usage: q2mrhost [--server FIXTURE.json | --replay CASSETTE] [--record CASSETTE] [--journal FILE] [--state-out FILE]\n"
    "                [--trace] SCRIPT.vbs|SCRIPT.js [ARG...]\n";

constexpr const char* help_text = R"(Runs a VBScript (.vbs) or JScript (.js) file on the system's script engines against
the quellar2mrapi component beside the host and a change-server library.

usage: q2mrhost [OPTION...] SCRIPT.vbs|SCRIPT.js [ARG...]

The component always comes from beside the host, registration-free (the manifest
q2mrhost-component.manifest). The change-server library is the one the machine has
registered (mrlib.api), unless --server runs the emulated one beside the host.

Options:
  --server FIXTURE.json  run the emulated change server beside the host, registration-free
                         (q2mrhost-server.manifest), its servers loaded from a fixture (a
                         regular file of at most 16 MiB)
  --journal FILE         append every library call to FILE, one JSON object per line
  --state-out FILE       at the end, write the servers' state to FILE (replaced whole,
                         readable by its owner only: it holds passwords); its folder is
                         checked first
  --trace                write every library call on standard error as it is made, in
                         the journal's form, passwords masked
                         (--journal, --state-out and --trace need the emulated server:
                         --server, or the emulated library registered on the machine)
  --record CASSETTE      write every call the component makes into the library (the
                         emulated one with --server, else the one the machine has
                         registered: mrlib.api, mrlib.User) to CASSETTE: JSON Lines,
                         readable by its owner only, passwords and login tokens masked
  --replay CASSETTE      the emulated library beside the host answers every call from
                         CASSETTE instead of its servers; a call other than the recorded one
                         fails, and the host exits 1 with that line on standard error, as
                         it does when recorded calls are left unplayed; not with --server
  --help, --version      this text; the component's version
  --                     the next argument is the script

Exit codes:
  0  the script ran to its end (or WScript.Quit 0); WScript.Quit N gives N
  1  the script failed: "SCRIPT:LINE: NUMBER: DESCRIPTION" on standard error; also when
     the journal, the state file or the cassette could not be written, when the library
     answered calls and none was recorded, and when a replay diverged or left calls
     unplayed
  2  usage, fixture, cassette, script or output-path error, found before the script runs
  3  objects left alive after the script (the host names them)

In the script, the object WScript: Echo, Arguments (Count, length, Item, the default
member), Quit, ScriptName, ScriptFullName, StdOut and StdErr (Write, WriteLine),
CreateObject, Sleep. NUMBER is the failure's number as VBScript shows it (n for
0x800A0000 + n, otherwise the HRESULT). Output is UTF-8 with LF line ends. Scripts are
read as UTF-8 or UTF-16 with a byte-order mark, else UTF-8 when they are valid UTF-8,
else in the ANSI code page.
)";

oa::unique_bstr bstr_of(const std::string& utf8) { return oa::make_bstr(oa::utf8_to_utf16(utf8).value_or(u"")); }

void say(const std::string& text) { write_bytes(standard::error, "q2mrhost: " + text + "\n"); }

std::wstring wide(const std::string& utf8) {
    const std::u16string text = oa::utf8_to_utf16(utf8).value_or(u"");
    return std::wstring(text.begin(), text.end());
}

// The script's text: UTF-8 or UTF-16 after a byte-order mark, else UTF-8 when it is valid
// UTF-8, else the ANSI code page (as the stock host reads it).
std::u16string decode_script(std::string_view bytes) {
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
    else if (bytes.substr(0, 2) == "\xFF\xFE") {
        bytes.remove_prefix(2);
        std::u16string text(bytes.size() / 2, u'\0');
        for (std::size_t i = 0; i < text.size(); ++i)
            text[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                            static_cast<unsigned char>(bytes[2 * i + 1]) << 8);
        return text;
    }
    if (auto text = oa::utf8_to_utf16(bytes)) return *text;
    return platform::decode_system_text(bytes);
}

// Whether the host can write the state file: its folder exists and takes new files, and
// the path is no folder (the file is replaced through a temporary beside it).
bool output_path_usable(const std::string& path, std::string& why) {
    if (!platform::folder_of_path_exists(path, why)) return false;
    const std::wstring name = wide(path);
    const DWORD attributes = GetFileAttributesW(name.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        why = path + ": not a regular file";
        return false;
    }
    const auto slash = path.find_last_of("/\\");
    const std::wstring folder = slash == std::string::npos ? L"." : wide(path.substr(0, slash + 1));
    wchar_t probe[MAX_PATH + 16] = {};
    if (folder.size() > MAX_PATH - 14 || !GetTempFileNameW(folder.c_str(), L"q2m", 0, probe)) {
        why = path.substr(0, slash == std::string::npos ? 0 : slash + 1) + ": no new file can be made there";
        return false;
    }
    DeleteFileW(probe);
    return true;
}

std::u16string full_path_of(const std::string& path) {
    const std::wstring name = wide(path);
    std::wstring full(MAX_PATH, L'\0');
    DWORD n = GetFullPathNameW(name.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (n > full.size()) {
        full.resize(n);
        n = GetFullPathNameW(name.c_str(), n, full.data(), nullptr);
    }
    full.resize(n);
    return std::u16string(full.begin(), full.end());
}

LONG live_objects(mremu::IEmulator* emulator, const char16_t* class_name) {
    oa::unique_bstr name = oa::make_bstr(class_name);
    LONG count = 0;
    if (FAILED(emulator->LiveObjects(name.get(), &count))) return -1;
    return count;
}

// Whether the component still has objects (or locks) that the script made: it answers for
// itself. The class objects the engine keeps (it keeps the one behind each creation, under
// whatever class id it was given: inside the activation context an alias) are no leak.
bool component_unloadable() {
    const HMODULE component = GetModuleHandleW(L"quellar2mrapi.dll");
    if (!component) return true;
    using live_objects = LONG(STDAPICALLTYPE*)();
    auto* live = reinterpret_cast<live_objects>(reinterpret_cast<void*>(GetProcAddress(component, "DllLiveObjects")));
    if (live) return live() == 0;
    using can_unload = HRESULT(STDAPICALLTYPE*)();
    auto* answer = reinterpret_cast<can_unload>(reinterpret_cast<void*>(GetProcAddress(component, "DllCanUnloadNow")));
    return !answer || answer() != S_FALSE;
}

int run(const options& o) {
    // Everything the run needs is checked before the script starts.
    if (!o.chunks.empty() || o.dialog_input) {
        say(std::string(o.chunks.empty() ? "--dialog-input" : "-e") + " is offered by the Lua host only");
        return exit_usage;
    }
    if (!o.script) {
        say("no script given");
        return exit_usage;
    }
    const char16_t* language = language_of(*o.script);
    if (!language) {
        say("cannot tell the language of " + *o.script + ": the host runs .vbs (VBScript) and .js (JScript) files");
        return exit_usage;
    }
    std::u16string text;
    try {
        text = decode_script(platform::read_regular_file(*o.script, script_size_limit));
    } catch (const platform::file_error& e) {
        say("cannot read the script " + e.detail());
        return exit_usage;
    }
    std::string why;
    if (o.state_out && !output_path_usable(*o.state_out, why)) {
        say("cannot write the state file there: " + why);
        return exit_usage;
    }
    if (o.record && !output_path_usable(*o.record, why)) {
        say("cannot write the cassette there: " + why);
        return exit_usage;
    }
    const bool emulated = o.server || o.replay;
    // The whole run, the engine's creation included, sees the classes beside the host.
    const std::optional<activation> beside =
        activation::beside_host(emulated ? L"q2mrhost-server.manifest" : L"q2mrhost-component.manifest", why);
    if (!beside) {
        say(why);
        return exit_usage;
    }
    oa::com_ptr<IActiveScript> engine = make_engine(language, why);
    if (!engine) {
        say(why);
        return exit_usage;
    }

    // The emulated server's control class: beside the host with --server; else whatever
    // the machine has registered, which a real library does not offer.
    CLSID emulator_class{};
    oa::com_ptr<mremu::IEmulator> emulator;
    HRESULT hr = CLSIDFromProgID(L"mrlib.Emulator", &emulator_class);
    if (SUCCEEDED(hr))
        hr = CoCreateInstance(emulator_class, nullptr, CLSCTX_INPROC_SERVER, iid_of<mremu::IEmulator>(),
                              emulator.put_void());
    if (FAILED(hr) && (emulated || o.journal || o.state_out || o.trace)) {
        say(std::string(emulated ? "cannot load the emulated change server beside the host: "
                                 : "--journal, --state-out and --trace need the emulated change server (--server): ") +
            describe(hr));
        return exit_usage;
    }
    if (o.server)
        if (HRESULT f = emulator->LoadFixture(bstr_of(*o.server).get()); FAILED(f)) {
            say(describe(f));
            return exit_usage;
        }
    if (o.journal)
        if (HRESULT f = emulator->StartJournal(bstr_of(*o.journal).get()); FAILED(f)) {
            say(describe(f));
            return exit_usage;
        }
    if (o.trace) emulator->TraceCalls(VARIANT_TRUE);
    if (o.replay)
        if (HRESULT f = emulator->ReplayCassette(bstr_of(*o.replay).get()); FAILED(f)) {
            say(describe(f));
            return exit_usage;
        }
    std::optional<cassette::recorder> recording;
    LONG calls_before = 0;
    if (o.record) try {
            // The activation context finds the emulated library's classes before any class
            // object the host could register: with --server the library serves the
            // recorder's class objects itself.
            if (emulator) emulator->CallCount(&calls_before);
            recording.emplace(*o.record, std::initializer_list<std::u16string_view>{u"mrlib.api", u"mrlib.User"},
                              o.server ? cassette::served_by(emulator.get()) : cassette::recorder::placement{});
        } catch (const platform::file_error& e) {
            say("cannot write the cassette " + e.detail());
            return exit_usage;
        } catch (const oa::com_error& e) {
            say("cannot record: " + oa::utf16_to_utf8(e.description()));
            return exit_usage;
        }

    script_facts facts;
    facts.full_name = full_path_of(*o.script);
    facts.name = facts.full_name.substr(facts.full_name.find_last_of(u"\\/") + 1);
    for (const std::string& a : o.args) facts.arguments.push_back(oa::utf8_to_utf16(a).value_or(u""));
    script_result ran;
    ran = run_script(std::move(engine), *o.script, text, std::move(facts));
    int status = ran.how == script_result::end::completed ? 0
                 : ran.how == script_result::end::exited  ? ran.exit_code
                                                           : exit_script_failed;

    // The end of the run, also after a failure or WScript.Quit: journal, state, leak check.
    // Their failures decide the exit code only of a run that would otherwise succeed.
    if (HRESULT f = emulator ? emulator->StopJournal() : S_OK; FAILED(f)) {
        say(describe(f));
        if (status == 0) status = exit_script_failed;
    }
    if (o.state_out)
        if (HRESULT f = emulator->SaveState(bstr_of(*o.state_out).get()); FAILED(f)) {
            say(describe(f));
            if (status == 0) status = exit_script_failed;
        }
    if (recording) try {
            recording->finish();
            LONG calls_after = 0;
            if (emulator && SUCCEEDED(emulator->CallCount(&calls_after)))
                if (const std::string lost = recording->unrecorded(calls_after - calls_before); !lost.empty()) {
                    say(lost);
                    status = exit_script_failed;
                }
        } catch (const platform::file_error& e) {
            say("cannot write the cassette " + e.detail());
            status = exit_script_failed;
        }
    recording.reset();
    if (o.replay) {
        oa::unique_bstr outcome;
        if (SUCCEEDED(emulator->ReplayOutcome(outcome.put())) && !oa::view(outcome.get()).empty()) {
            write_bytes(standard::error, oa::utf16_to_utf8(oa::view(outcome.get())) + "\n");
            status = exit_script_failed;
        }
    }

    CoFreeUnusedLibraries();
    const LONG alive = emulator ? live_objects(emulator.get(), u"") : 0;
    const bool component_done = component_unloadable();
    if (alive != 0 || !component_done) {
        std::string names;
        for (const char16_t* c : {u"api", u"User", u"ObjectList", u"ObjectData", u"Attribute"})
            if (LONG n = emulator ? live_objects(emulator.get(), c) : 0; n > 0) names += " " + std::to_string(n) + " " + oa::utf16_to_utf8(c);
        if (alive < 0) names += " (the emulator did not answer)";
        if (!component_done) names += " component objects (the component cannot unload)";
        say("objects are still alive after the script:" + names);
        if (status == 0) status = exit_left_alive;
    }
    return status;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    std::vector<std::string> utf8;
    for (int i = 0; i < argc; ++i)
        utf8.push_back(oa::utf16_to_utf8(std::u16string_view(reinterpret_cast<const char16_t*>(argv[i]))));
    std::vector<char*> pointers;
    for (std::string& a : utf8) pointers.push_back(a.data());
    pointers.push_back(nullptr);

    using action = q2mrhost::command_line::action;
    const q2mrhost::command_line c = q2mrhost::parse_command_line(argc, pointers.data());
    switch (c.what) {
    case action::help: write_bytes(standard::output, help_text); return 0;
    case action::version:
        write_bytes(standard::output, std::string("q2mrhost ") + quellar2mrapi::version_text + " (quellar2mrapi " +
                                          quellar2mrapi::version_text + ", the system's VBScript and JScript engines)\n");
        return 0;
    case action::usage_error:
        say(c.error);
        write_bytes(standard::error, std::string(usage_line) + "(q2mrhost --help tells more)\n");
        return exit_usage;
    case action::run: break;
    }
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {
        say("cannot start the component runtime");
        return exit_usage;
    }
    const int status = run(c.o);
    CoUninitialize();
    return status;
}
