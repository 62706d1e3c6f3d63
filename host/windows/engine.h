// The script's run on the system's script engines, through the standard interfaces: an
// engine by its ProgID, the text parsed and run with WScript as a visible named item,
// failures reported by the host's own site.
#pragma once

#include <host/run.h>
#include <host/windows/wscript.h>

#include <oa/com_ptr.h>
#include <oleauto.h>

#include <activscp.h>

#include <string>

OLEAUTO_DECLARE_IID(IActiveScript, 0xBB1A2AE1, 0xA4F9, 0x11CF, 0x8F, 0x20, 0x00, 0x80, 0x5F, 0x2C, 0xD0, 0x64);
OLEAUTO_DECLARE_IID(IActiveScriptParse64, 0xC7EF7658, 0xE1EE, 0x480E, 0x97, 0xEA, 0xD5, 0x2C, 0xB4, 0xD7, 0x6D, 0x17);
OLEAUTO_DECLARE_IID(IActiveScriptSite, 0xDB01A1E3, 0xA42B, 0x11CF, 0x8F, 0x20, 0x00, 0x80, 0x5F, 0x2C, 0xD0, 0x64);

namespace q2mrhost::windows {

// The engine's ProgID for a script file by its extension (.vbs, .js, in any case), or
// nullptr for another one.
const char16_t* language_of(std::string_view script_path) noexcept;

// A new engine of the language, or nullptr with why (the engine is not installed, ...).
oa::com_ptr<IActiveScript> make_engine(const char16_t* language, std::string& why);

using q2mrhost::script_result;

// Runs the script's text on the engine and closes the engine, which releases every object
// the script still held. A failure goes to standard error as "SCRIPT:LINE: NUMBER:
// DESCRIPTION" (script_path as given), NUMBER as the script sees it.
script_result run_script(oa::com_ptr<IActiveScript> engine, const std::string& script_path, const std::u16string& text,
                         script_facts facts);

}  // namespace q2mrhost::windows
