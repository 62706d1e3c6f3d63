// Which backend draws the forms; chosen once by the host program.
#pragma once

#include "forms/forms.h"

namespace forms {

enum class Backend {
    Terminal,  // the controlling terminal (/dev/tty); the default
    Headless,  // nothing drawn; driven by forms::headless (tests)
};

FORMS_API void use_backend(Backend b);
FORMS_API Backend current_backend();

}  // namespace forms
