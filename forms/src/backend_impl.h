// What a backend does for the forms layer. Internal to q2mr_forms.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "forms/forms.h"

namespace forms::detail {

class BackendImpl {
public:
    virtual ~BackendImpl() = default;
    // Returns once the form is no longer visible.
    virtual void run_modal(Form& form) = 0;
    virtual int message_box(const std::u16string& text, int buttons, const std::u16string& title) = 0;
};

BackendImpl& headless_backend();
// The system's own display: the terminal on Linux, windows on Windows.
BackendImpl& system_backend();
BackendImpl& active_backend();

// Every modal show starts here, and a backend that has nothing to draw on reports it.
void begin_show() noexcept;
// False when no handler heard of it.
bool report_no_display(const std::u16string& caption, const std::string& reason);

// Forms shown modally, innermost last; backends draw and drive the top one.
std::vector<Form*>& modal_stack();

// One character per code point for masks; surrogate pairs count once.
std::size_t count_chars(std::u16string_view s);

}  // namespace forms::detail
