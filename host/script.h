// The script's run: a Lua state with the standard libraries (text chunks only, os.exit
// that returns to the host, the debug library without its members that could break the
// host's invariants), the automation bridge, arg, and the script's folder on package.path.
#pragma once

#include <host/options.h>
#include <host/run.h>

namespace q2mrhost {

// Runs the -e chunks, then the script (already read: text holds its bytes), and closes
// the Lua state, which releases every object the script still held. Failures go to
// standard error as "SCRIPT:LINE: MESSAGE".
script_result run_script(const options& o, const std::string& text);

}  // namespace q2mrhost
