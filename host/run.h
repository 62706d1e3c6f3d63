// The run around a script, one sequence for both hosts. Before the script: the emulated
// server, its fixture, the replay, the recording, the journal, the trace (inputs are read
// and checked before any output file is opened). After it, also after a failure or an exit
// the script asked for: the journal closed, the state written, the cassette finished, the
// replay's outcome, the leak check. Each host supplies its platform's parts.
#pragma once

#include <host/options.h>

#include <oleauto.h>

#include <cstddef>
#include <string>

namespace q2mrhost {

constexpr int exit_script_failed = 1;
constexpr int exit_usage = 2;
constexpr int exit_left_alive = 3;
// Scripts are read whole before they run; none comes near this.
constexpr std::size_t script_size_limit = std::size_t{64} << 20;

struct script_result {
    enum class end { completed, failed, exited } how = end::failed;
    int exit_code = 0;  // the code the script exited with, for end::exited
};

// The description of the failure a call just returned (its error information), else its code.
std::string describe(HRESULT hr);

// What differs between the hosts. A part that returns false has said why; the run then
// ends with exit 2 before the script starts.
class host_parts {
public:
    // The script read and checked.
    virtual bool read_script(const options& o) = 0;
    // Whether the host can write the file (state, cassette) there; checked before the run.
    virtual bool output_path_usable(const std::string& path, std::string& why) = 0;
    // The rest the script needs, after the output paths.
    virtual bool prepare(const options& o) = 0;
    // The emulated server's control class could not be made (hr): true runs without it.
    virtual bool without_emulator(const options& o, HRESULT hr) = 0;
    // Just before the script: its output and its dialogs.
    virtual void before_script(const options&) {}
    virtual script_result run_script(const options& o) = 0;
    // After the end of the run's files, before the leak check.
    virtual void after_script() {}
    // Whether the component holds no object the script made.
    virtual bool component_unloadable() = 0;
    // One line on standard error, as it is.
    virtual void error_line(const std::string& text) = 0;

    // One line of the host's own on standard error.
    void say(const std::string& text) { error_line("q2mrhost: " + text); }

protected:
    ~host_parts() = default;
};

// The run of a parsed command line: the script's exit code, or the host's own.
int run(const options& o, host_parts& host);

}  // namespace q2mrhost
