// q2mrhost.exe: runs a VBScript (.vbs) or JScript (.js) file on the system's script
// engines against the component and the emulated change server, with the Lua host's
// command line, steps around the script and exit codes.
#include <host/options.h>
#include <host/run.h>
#include <host/windows/activation.h>
#include <host/windows/console.h>
#include <host/windows/engine.h>

#include <component/interfaces.h>
#include <component/version.h>
#include <oa/com_ptr.h>
#include <oa/text.h>
#include <platform/files.h>

#include <shellapi.h>

#include <optional>
#include <string>
#include <vector>

namespace {

using q2mrhost::options;
using q2mrhost::exit_usage;
using namespace q2mrhost::windows;

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

void say(const std::string& text) { write_bytes(standard::error, "q2mrhost: " + text + "\n"); }

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
    const std::wstring name = oa::utf8_to_wide(path);
    const DWORD attributes = GetFileAttributesW(name.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        why = path + ": not a regular file";
        return false;
    }
    const auto slash = path.find_last_of("/\\");
    const std::wstring folder = slash == std::string::npos ? L"." : oa::utf8_to_wide(path.substr(0, slash + 1));
    wchar_t probe[MAX_PATH + 16] = {};
    if (folder.size() > MAX_PATH - 14 || !GetTempFileNameW(folder.c_str(), L"q2m", 0, probe)) {
        why = path.substr(0, slash == std::string::npos ? 0 : slash + 1) + ": no new file can be made there";
        return false;
    }
    DeleteFileW(probe);
    return true;
}

std::u16string full_path_of(const std::string& path) {
    const std::wstring name = oa::utf8_to_wide(path);
    std::wstring full(MAX_PATH, L'\0');
    DWORD n = GetFullPathNameW(name.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (n > full.size()) {
        full.resize(n);
        n = GetFullPathNameW(name.c_str(), n, full.data(), nullptr);
    }
    full.resize(n);
    return std::u16string(full.begin(), full.end());
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

// The Windows host's parts of the run: scripts on the system's engines, the classes beside
// the host through an activation context.
class windows_host final : public q2mrhost::host_parts {
public:
    bool read_script(const options& o) override {
        if (!o.chunks.empty() || o.dialog_input) {
            say(std::string(o.chunks.empty() ? "--dialog-input" : "-e") + " is offered by the Lua host only");
            return false;
        }
        if (!o.script) {
            say("no script given");
            return false;
        }
        language_ = language_of(*o.script);
        if (!language_) {
            say("cannot tell the language of " + *o.script + ": the host runs .vbs (VBScript) and .js (JScript) files");
            return false;
        }
        try {
            text_ = decode_script(platform::read_regular_file(*o.script, q2mrhost::script_size_limit));
        } catch (const platform::file_error& e) {
            say("cannot read the script " + e.detail());
            return false;
        }
        return true;
    }

    bool output_path_usable(const std::string& path, std::string& why) override { return ::output_path_usable(path, why); }

    bool prepare(const options& o) override {
        std::string why;
        // The whole run, the engine's creation included, sees the classes beside the host.
        auto context = activation::beside_host(emulated(o) ? L"q2mrhost-server.manifest" : L"q2mrhost-component.manifest", why);
        if (context) {
            beside_.emplace(std::move(*context));
            engine_ = make_engine(language_, why);
        }
        if (!engine_) say(why);
        return static_cast<bool>(engine_);
    }

    // The emulated server's control class: beside the host with --server; else whatever
    // the machine has registered, which a real library does not offer.
    bool without_emulator(const options& o, HRESULT hr) override {
        if (!emulated(o) && !o.journal && !o.state_out && !o.trace) return true;
        say(std::string(emulated(o) ? "cannot load the emulated change server beside the host: "
                                    : "--journal, --state-out and --trace need the emulated change server (--server): ") +
            q2mrhost::describe(hr));
        return false;
    }

    script_result run_script(const options& o) override {
        script_facts facts;
        facts.full_name = full_path_of(*o.script);
        facts.name = facts.full_name.substr(facts.full_name.find_last_of(u"\\/") + 1);
        for (const std::string& a : o.args) facts.arguments.push_back(oa::utf8_to_utf16(a).value_or(u""));
        return q2mrhost::windows::run_script(std::move(engine_), *o.script, text_, std::move(facts));
    }

    bool component_unloadable() override { return ::component_unloadable(); }

    void error_line(const std::string& text) override { write_bytes(standard::error, text + "\n"); }

private:
    static bool emulated(const options& o) { return o.server || o.replay; }

    const char16_t* language_ = nullptr;
    std::u16string text_;
    std::optional<activation> beside_;
    oa::com_ptr<IActiveScript> engine_;
};

}  // namespace

int wmain(int argc, wchar_t** argv) {
    std::vector<std::string> utf8;
    for (int i = 0; i < argc; ++i)
        utf8.push_back(oa::wide_to_utf8(argv[i]));
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
    int status;
    {
        windows_host host;  // its activation context lasts the whole run
        status = q2mrhost::run(c.o, host);
    }
    CoUninitialize();
    return status;
}
