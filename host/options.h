// The host's command line.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace q2mrhost {

struct options {
    std::optional<std::string> server, journal, state_out, dialog_input, record, replay;
    bool trace = false;
    std::vector<std::string> chunks;  // -e CODE, in order
    std::optional<std::string> script;
    std::vector<std::string> args;
};

struct command_line {
    enum class action { run, help, version, usage_error } what = action::usage_error;
    options o;
    std::string error;  // for usage_error
};

command_line parse_command_line(int argc, char** argv);

// The text of --help and of a usage error's hint.
const char* help_text();
const char* usage_line();

}  // namespace q2mrhost
