// --dialog-input: a testing aid that answers the component's login dialog from a file
// instead of a person at the terminal.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace q2mrhost {

// The answers: (user name, password) pairs, from a file of UTF-8 lines, two per pair.
// False with why when the file cannot be read or is not UTF-8 text.
bool read_dialog_answers(const std::string& path, std::vector<std::pair<std::u16string, std::u16string>>& answers,
                         std::string& why);

// Switches the forms layer to its headless backend and, each time the login dialog waits
// for input, types the next pair into it as a person would: the user name box, the
// password box (each selected and replaced), then Enter. A message box the dialog shows is
// noted on standard error and dismissed; when the answers run out, or a form that is not
// the login dialog waits, it is closed (which the component takes as a cancel).
void answer_dialogs_from(std::vector<std::pair<std::u16string, std::u16string>> answers);

}  // namespace q2mrhost
