// Which backend draws the forms; chosen once by the host program.
#pragma once

#include "forms/forms.h"

#include <functional>
#include <string>

namespace forms {

enum class Backend {
    Terminal,  // the controlling terminal (/dev/tty); the default
    Headless,  // nothing drawn; driven by forms::headless (tests)
};

FORMS_API void use_backend(Backend b);
FORMS_API Backend current_backend();

// A modal show (form or message box) that found nothing to draw on returns at once: a
// form as if closed, a message box as if dismissed. The program learns of it here, to
// tell the person why nothing appeared.
//
// Whether the last modal show had no display (false after one that was drawn).
FORMS_API bool last_show_had_no_display();
// Called at each show that had no display, with the form's caption (a message box's
// title) and the backend's reason ("no terminal: ..."). One handler; an empty one drops it.
using NoDisplayHandler = std::function<void(const std::u16string& caption, const std::string& reason)>;
FORMS_API void on_no_display(NoDisplayHandler handler);

}  // namespace forms
