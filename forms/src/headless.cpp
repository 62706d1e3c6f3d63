#include <deque>

#include "backend_impl.h"
#include "forms/headless.h"

namespace forms::headless {

namespace {

struct State {
    std::deque<Step> queue;
    std::vector<MessageRecord> messages;
    std::vector<std::u16string> shown_forms;
    // Message boxes up, innermost last (indices into messages).
    std::vector<std::size_t> message_stack;
};

State& state() {
    static State s;
    return s;
}

// Plays the next queued step; false when the queue is empty.
bool play_next() {
    State& s = state();
    if (s.queue.empty()) return false;
    Step step = std::move(s.queue.front());
    s.queue.pop_front();
    if (step) step(Screen{});
    return true;
}

std::u16string strip_amp(const std::u16string& t) {
    std::u16string out;
    for (std::size_t i = 0; i < t.size(); ++i) {
        if (t[i] == u'&' && i + 1 < t.size()) ++i;
        out += t[i];
    }
    return out;
}

std::string narrow(const std::u16string& t) {
    std::string out;
    for (char16_t c : t) out += c < 0x80 ? static_cast<char>(c) : '?';
    return out;
}

class HeadlessBackend : public detail::BackendImpl {
public:
    void run_modal(Form& form) override {
        state().shown_forms.push_back(form.caption);
        while (form.visible()) {
            if (!play_next()) {
                form.close();
                break;
            }
        }
    }

    int message_box(const std::u16string& text, int buttons, const std::u16string& title) override {
        State& s = state();
        s.messages.push_back({text, title, buttons});
        s.message_stack.push_back(s.messages.size() - 1);
        const std::size_t depth = s.message_stack.size();
        struct Pop {
            std::size_t depth;
            ~Pop() {
                auto& st = state().message_stack;
                if (st.size() >= depth) st.resize(depth - 1);
            }
        } pop{depth};
        // Up until a step dismisses it (the stack shrinks) or the queue runs dry.
        while (s.message_stack.size() >= depth && play_next()) {
        }
        return vbOK;
    }
};

}  // namespace

// ---- Screen ----

bool Screen::has_form() const { return !detail::modal_stack().empty(); }

Form& Screen::form() const {
    auto& stack = detail::modal_stack();
    if (stack.empty()) throw script_error("headless: no form is shown");
    return *stack.back();
}

bool Screen::message_up() const { return !state().message_stack.empty(); }

const MessageRecord& Screen::message() const {
    if (!message_up()) throw script_error("headless: no message box is up");
    return state().messages[state().message_stack.back()];
}

std::u16string Screen::caption() const { return form().caption; }

Control& Screen::control(std::string_view name, int index) const {
    Control* c = form().find(name, index);
    if (!c) throw script_error("headless: no control " + std::string(name) + " on the form");
    return *c;
}

std::u16string Screen::shown_text(std::string_view name, int index) const {
    return control(name, index).shown_text();
}

std::string Screen::focus() const {
    Control* c = form().active_control();
    return c ? c->display_name() : std::string();
}

Selection Screen::selection() const {
    Control* c = form().active_control();
    if (!c || c->kind() != ControlKind::TextBox) throw script_error("headless: the focus is not in a text box");
    return static_cast<TextBox*>(c)->selection();
}

Selection Screen::selection(std::string_view name, int index) const {
    Control& c = control(name, index);
    if (c.kind() != ControlKind::TextBox) throw script_error("headless: " + c.display_name() + " is not a text box");
    return static_cast<TextBox&>(c).selection();
}

Form& Screen::dialog_for_action() const {
    if (message_up())
        throw script_error("headless: a message box is up (\"" + narrow(message().text) + "\"); dismiss it first");
    Form& f = form();
    if (!f.visible()) throw script_error("headless: the form is no longer shown");
    return f;
}

void Screen::type(std::u16string_view chars) const { dialog_for_action().type(chars); }

void Screen::key(Key k) const {
    if (message_up() && (k == Key::Enter || k == Key::Escape)) {
        dismiss();
        return;
    }
    dialog_for_action().key(k);
}

void Screen::press(std::string_view button) const {
    if (message_up() && button == "OK") {
        dismiss();
        return;
    }
    Form& f = dialog_for_action();
    Control* hit = f.find(button);
    if (!hit)
        for (Control* c : f.controls())
            if (c->kind() == ControlKind::CommandButton &&
                (narrow(c->text()) == button || narrow(strip_amp(c->text())) == button)) {
                hit = c;
                break;
            }
    if (!hit || hit->kind() != ControlKind::CommandButton)
        throw script_error("headless: no button " + std::string(button) + " on the form");
    if (!hit->visible || !hit->enabled) throw script_error("headless: button " + std::string(button) + " cannot be pressed");
    f.click(*hit);
}

void Screen::click(std::string_view name, int index) const {
    Form& f = dialog_for_action();
    f.click(control(name, index));
}

void Screen::access_key(char16_t c) const { dialog_for_action().access_key(c); }

void Screen::close() const { dialog_for_action().close(); }

void Screen::dismiss() const {
    auto& st = state().message_stack;
    if (st.empty()) throw script_error("headless: no message box to dismiss");
    st.pop_back();
}

// ---- queue and records ----

void enqueue(Step step) { state().queue.push_back(std::move(step)); }
std::size_t pending() { return state().queue.size(); }

void reset() {
    State& s = state();
    s.queue.clear();
    s.messages.clear();
    s.shown_forms.clear();
}

const std::vector<MessageRecord>& messages() { return state().messages; }
const std::vector<std::u16string>& shown_forms() { return state().shown_forms; }

Step type(std::u16string chars) {
    return [chars = std::move(chars)](const Screen& s) { s.type(chars); };
}
Step key(Key k) {
    return [k](const Screen& s) { s.key(k); };
}
Step tab() { return key(Key::Tab); }
Step back_tab() { return key(Key::BackTab); }
Step enter() { return key(Key::Enter); }
Step escape() { return key(Key::Escape); }
Step press(std::string button) {
    return [button = std::move(button)](const Screen& s) { s.press(button); };
}
Step click(std::string name, int index) {
    return [name = std::move(name), index](const Screen& s) { s.click(name, index); };
}
Step close() {
    return [](const Screen& s) { s.close(); };
}
Step dismiss() {
    return [](const Screen& s) { s.dismiss(); };
}

}  // namespace forms::headless

namespace forms::detail {
BackendImpl& headless_backend() {
    static headless::HeadlessBackend b;
    return b;
}
}  // namespace forms::detail
