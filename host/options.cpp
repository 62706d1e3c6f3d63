#include <host/options.h>

namespace q2mrhost {

const char* usage_line() {
    return "usage: q2mrhost [--server FIXTURE.json | --replay CASSETTE] [--record CASSETTE] [--journal FILE]\n"
           "                [--state-out FILE] SCRIPT.lua [ARG...]\n"
           "       q2mrhost [OPTION...] -e CODE [SCRIPT.lua [ARG...]]\n";
}

const char* help_text() {
    return R"(Runs a Lua 5.4 script against the quellar2mrapi component and the emulated change server.

usage: q2mrhost [OPTION...] SCRIPT.lua [ARG...]
       q2mrhost [OPTION...] -e CODE [SCRIPT.lua [ARG...]]

Options:
  --server FIXTURE.json  load the emulated servers from a fixture (a regular file of at
                         most 16 MiB); without it the built-in default server answers
  --journal FILE         append every library call to FILE, one JSON object per line
  --state-out FILE       at the end, write the servers' state to FILE (replaced whole,
                         mode 0600: it holds passwords); its folder is checked first
  --trace                write every library call on standard error as it is made, in
                         the journal's form, passwords masked
  --record CASSETTE      write every call the component makes into the library (the
                         emulated one with --server, else the one the registry names:
                         mrlib.api, mrlib.User) to CASSETTE: JSON Lines, mode 0600,
                         passwords and login tokens masked
  --replay CASSETTE      the emulated library answers every call from CASSETTE instead of
                         its servers; a call other than the recorded one fails, and the
                         host exits 1 with that line on standard error, as it does when
                         recorded calls are left unplayed; not with --server
  -e CODE                run CODE before the script (may be repeated; the script is
                         optional then)
  --dialog-input FILE    testing aid for unattended runs: answer the "Admin" login dialog
                         from FILE, user name and password one per line (a further pair
                         for each further time the dialog waits), typed as a person would
  --help, --version      this text; the component's version
  --                     the next argument is the script

Exit codes:
  0  the script ran to its end (or os.exit(0)); os.exit(N) gives N
  1  the script failed: "SCRIPT:LINE: NUMBER: DESCRIPTION" on standard error; also when
     the journal, the state file or the cassette could not be written, when the library
     answered calls and none was recorded, and when a replay diverged or left calls
     unplayed
  2  usage, fixture, cassette, script or output-path error, found before the script runs
  3  objects left alive after the script (the host names them)

In the script:
  CreateObject(progid)   a new object, e.g. CreateObject("quellar2mrapi.t2mrapp")
  obj.Name, obj.Name = v read / write a property (objects are written by reference)
  obj:Name(args...)      call a method (names in any case)
  ByRef(v)               a box whose field value the call may change
  Null, Nothing          the Null value and the empty object; nil stands for Empty
  failures               errors with fields number and description ("NUMBER: DESCRIPTION");
                         catch them with pcall
  arg                    arg[0] the script, arg[1..] its arguments
  require                also finds modules in the script's own folder
Only text chunks are loaded (no precompiled ones). os.exit ends the script and still
writes the journal and the state and checks for objects left alive.
The "Admin" login dialog is drawn on the terminal (/dev/tty); without one the host says so
and the login answers "Login Cancelled.".
Environment: OLEAUTO_REGISTRY names the registry (default: the one beside q2mrhost).
)";
}

command_line parse_command_line(int argc, char** argv) {
    command_line c;
    options& o = c.o;
    auto fail = [&c](std::string why) {
        c.what = command_line::action::usage_error;
        c.error = std::move(why);
        return c;
    };
    int i = 1;
    for (; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&](std::optional<std::string>& slot) {
            if (i + 1 >= argc) return false;
            slot = argv[++i];
            return true;
        };
        std::optional<std::string>* slot = a == "--server"         ? &o.server
                                           : a == "--journal"      ? &o.journal
                                           : a == "--state-out"    ? &o.state_out
                                           : a == "--dialog-input" ? &o.dialog_input
                                           : a == "--record"       ? &o.record
                                           : a == "--replay"       ? &o.replay
                                                                   : nullptr;
        if (slot) {
            if (*slot) return fail(a + " is given twice");
            if (!value(*slot)) return fail(a + " needs a value");
        } else if (a == "-e") {
            std::optional<std::string> code;
            if (!value(code)) return fail("-e needs a chunk of Lua");
            o.chunks.push_back(*code);
        } else if (a == "--trace") {
            o.trace = true;
        } else if (a == "--help" || a == "-h") {
            c.what = command_line::action::help;
            return c;
        } else if (a == "--version") {
            c.what = command_line::action::version;
            return c;
        } else if (a == "--") {
            ++i;
            break;
        } else if (a.size() > 1 && a[0] == '-') {
            return fail("unknown option " + a);
        } else {
            break;
        }
    }
    if (i < argc) o.script = argv[i++];
    for (; i < argc; ++i) o.args.emplace_back(argv[i]);
    if (!o.script && o.chunks.empty()) return fail("no script given");
    if (o.replay && o.server) return fail("--server and --replay exclude each other");
    if (o.replay && o.record) return fail("--record and --replay exclude each other");
    c.what = command_line::action::run;
    return c;
}

}  // namespace q2mrhost
