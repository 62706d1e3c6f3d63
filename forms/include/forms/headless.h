// The headless backend: a person's actions are queued before the code that
// shows a form runs, and are played back while a modal form or message box
// waits for input. An empty queue closes the form (and dismisses a message
// box), so a test never hangs.
//
//   namespace hl = forms::headless;
//   forms::use_backend(forms::Backend::Headless);
//   hl::reset();
//   hl::enqueue(hl::type(u"pw"), hl::press("cmdOK"));
//   dialog.Show();   // plays the steps, returns once the dialog is hidden
//   // hl::messages() lists every message box shown meanwhile.
#pragma once

#include <cstddef>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "forms/backend.h"
#include "forms/forms.h"

namespace forms::headless {

struct MessageRecord {
    std::u16string text;
    std::u16string title;
    int buttons = vbOKOnly;
};

// An action that a person could not do at that moment (typing while a
// message box is up, pressing a button that is not there, ...).
class FORMS_API script_error : public std::logic_error {
public:
    using std::logic_error::logic_error;
};

// What is up while a step runs: the top modal form and, over it, possibly
// a message box. Dialog actions throw script_error while a message box is up.
class FORMS_API Screen {
public:
    bool has_form() const;
    Form& form() const;
    bool message_up() const;
    const MessageRecord& message() const;

    std::u16string caption() const;
    std::u16string shown_text(std::string_view name, int index = -1) const;
    // display_name() of the control with the focus, "" when none.
    std::string focus() const;
    // Of the focused text box.
    Selection selection() const;
    Selection selection(std::string_view name, int index = -1) const;

    void type(std::u16string_view chars) const;
    // Enter and Escape also dismiss a message box.
    void key(Key k) const;
    void tab() const { key(Key::Tab); }
    void back_tab() const { key(Key::BackTab); }
    void enter() const { key(Key::Enter); }
    void escape() const { key(Key::Escape); }
    // A button by name, or by its caption ("OK", "&Cancel" or "Cancel").
    // "OK" dismisses a message box.
    void press(std::string_view button) const;
    void click(std::string_view name, int index = -1) const;
    void access_key(char16_t c) const;
    void close() const;
    void dismiss() const;

private:
    Control& control(std::string_view name, int index) const;
    Form& dialog_for_action() const;
};

using Step = std::function<void(const Screen&)>;

FORMS_API void enqueue(Step step);
template <class... Steps>
void enqueue(Step first, Step second, Steps... rest) {
    enqueue(std::move(first));
    enqueue(std::move(second), std::move(rest)...);
}
// Steps not yet played.
FORMS_API std::size_t pending();
// Drops queued steps and the records below.
FORMS_API void reset();
// Every message box shown since reset(), in order.
FORMS_API const std::vector<MessageRecord>& messages();
// Caption of every form shown modally since reset(), in order.
FORMS_API const std::vector<std::u16string>& shown_forms();

// Ready-made steps.
FORMS_API Step type(std::u16string chars);
FORMS_API Step key(Key k);
FORMS_API Step tab();
FORMS_API Step back_tab();
FORMS_API Step enter();
FORMS_API Step escape();
FORMS_API Step press(std::string button);
FORMS_API Step click(std::string name, int index = -1);
FORMS_API Step close();
FORMS_API Step dismiss();

}  // namespace forms::headless
