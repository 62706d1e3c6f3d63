#include <algorithm>
#include <cstdlib>
#include <stdexcept>

#include "backend_impl.h"
#include "forms/backend.h"
#include "forms/forms.h"

#include <oa/ascii.h>

namespace forms {

namespace detail {

std::vector<Form*>& modal_stack() {
    static std::vector<Form*> stack;
    return stack;
}

static bool is_high(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
static bool is_low(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

std::size_t count_chars(std::u16string_view s) {
    std::size_t n = 0;
    for (std::size_t i = 0; i < s.size(); ++i)
        if (!(is_low(s[i]) && i > 0 && is_high(s[i - 1]))) ++n;
    return n;
}

}  // namespace detail

// ---- Control ----

Control::Control(Form& form, ControlKind kind, std::string name, int index)
    : form_(form), kind_(kind), name_(std::move(name)), index_(index) {
    form_.add(this);
}

Control::~Control() { form_.remove(this); }

std::string Control::display_name() const {
    return index_ < 0 ? name_ : name_ + "(" + std::to_string(index_) + ")";
}

void Control::set_text(std::u16string text) { text_ = std::move(text); }

std::u16string Control::shown_text() const { return text_; }

bool Control::can_focus() const {
    return kind_ != ControlKind::Label && visible && enabled;
}

void Control::set_focus() {
    if (!can_focus()) throw std::logic_error("forms: " + display_name() + " cannot take the focus");
    form_.focus(this, false);
}

bool Control::has_focus() const { return form_.active_control() == this; }

// ---- Label ----

Label::Label(Form& form, std::string name, int index)
    : Control(form, ControlKind::Label, std::move(name), index) {}

std::u16string Label::shown_text() const {
    std::u16string out;
    for (std::size_t i = 0; i < text_.size(); ++i) {
        if (text_[i] == u'&' && i + 1 < text_.size()) ++i;  // "&&" keeps one '&'
        out += text_[i];
    }
    return out;
}

int Label::access_key_position() const {
    int shown = 0;
    for (std::size_t i = 0; i < text_.size(); ++i, ++shown) {
        if (text_[i] == u'&' && i + 1 < text_.size()) {
            ++i;
            if (text_[i] != u'&') return shown;
        }
    }
    return -1;
}

char16_t Label::access_key() const {
    int pos = access_key_position();
    return pos < 0 ? 0 : shown_text()[pos];
}

// ---- TextBox ----

TextBox::TextBox(Form& form, std::string name, int index)
    : Control(form, ControlKind::TextBox, std::move(name), index) {}

void TextBox::set_text(std::u16string text) {
    text_ = std::move(text);
    collapse(0);
}

std::u16string TextBox::shown_text() const {
    if (password_char == 0) return text_;
    return std::u16string(detail::count_chars(text_), password_char);
}

void TextBox::clamp() {
    int n = static_cast<int>(text_.size());
    anchor_ = std::clamp(anchor_, 0, n);
    caret_ = std::clamp(caret_, 0, n);
}

void TextBox::collapse(int pos) {
    anchor_ = caret_ = pos;
    clamp();
}

void TextBox::select(int start, int length) {
    int n = static_cast<int>(text_.size());
    anchor_ = std::clamp(start, 0, n);
    caret_ = std::clamp(anchor_ + std::max(length, 0), 0, n);
}

void TextBox::select_all() { select(0, static_cast<int>(text_.size())); }

Selection TextBox::selection() const {
    return {std::min(anchor_, caret_), std::abs(caret_ - anchor_)};
}

std::u16string TextBox::selected_text() const {
    Selection s = selection();
    return text_.substr(s.start, s.length);
}

void TextBox::type(std::u16string_view chars) {
    Selection s = selection();
    text_.replace(s.start, s.length, chars);
    collapse(s.start + static_cast<int>(chars.size()));
}

namespace {
// Caret steps skip over both halves of a surrogate pair.
int step_left(const std::u16string& t, int pos) {
    if (pos <= 0) return 0;
    --pos;
    if (pos > 0 && t[pos] >= 0xDC00 && t[pos] <= 0xDFFF && t[pos - 1] >= 0xD800 && t[pos - 1] <= 0xDBFF) --pos;
    return pos;
}
int step_right(const std::u16string& t, int pos) {
    int n = static_cast<int>(t.size());
    if (pos >= n) return n;
    ++pos;
    if (pos < n && t[pos] >= 0xDC00 && t[pos] <= 0xDFFF && t[pos - 1] >= 0xD800 && t[pos - 1] <= 0xDBFF) ++pos;
    return pos;
}
}  // namespace

void TextBox::edit_key(Key k) {
    clamp();
    const int n = static_cast<int>(text_.size());
    Selection s = selection();
    switch (k) {
        case Key::Left: collapse(s.length ? s.start : step_left(text_, caret_)); break;
        case Key::Right: collapse(s.length ? s.start + s.length : step_right(text_, caret_)); break;
        case Key::Home: collapse(0); break;
        case Key::End: collapse(n); break;
        case Key::ShiftLeft: caret_ = step_left(text_, caret_); break;
        case Key::ShiftRight: caret_ = step_right(text_, caret_); break;
        case Key::ShiftHome: caret_ = 0; break;
        case Key::ShiftEnd: caret_ = n; break;
        case Key::Backspace:
            if (s.length) type(u"");
            else if (caret_ > 0) {
                int from = step_left(text_, caret_);
                text_.erase(from, caret_ - from);
                collapse(from);
            }
            break;
        case Key::Delete:
            if (s.length) type(u"");
            else if (caret_ < n) text_.erase(caret_, step_right(text_, caret_) - caret_);
            break;
        default: break;
    }
}

// ---- CommandButton ----

CommandButton::CommandButton(Form& form, std::string name, int index)
    : Control(form, ControlKind::CommandButton, std::move(name), index) {}

std::u16string CommandButton::shown_text() const {
    std::u16string out;
    for (std::size_t i = 0; i < text_.size(); ++i) {
        if (text_[i] == u'&' && i + 1 < text_.size()) ++i;
        out += text_[i];
    }
    return out;
}

void CommandButton::click() {
    if (on_click) on_click();
}

// ---- Form ----

Form::Form(std::u16string caption_, int client_width_, int client_height_)
    : caption(std::move(caption_)), client_width(client_width_), client_height(client_height_) {}

Form::~Form() {
    auto& stack = detail::modal_stack();
    stack.erase(std::remove(stack.begin(), stack.end(), this), stack.end());
}

void Form::add(Control* c) { controls_.push_back(c); }

void Form::remove(Control* c) {
    controls_.erase(std::remove(controls_.begin(), controls_.end(), c), controls_.end());
    if (active_ == c) active_ = nullptr;
}

Control* Form::find(std::string_view name, int index) const {
    for (Control* c : controls_)
        if (c->name() == name && (c->index() == index || (index < 0 && c->index() <= 0))) return c;
    return nullptr;
}

std::vector<Control*> Form::tab_order() const {
    std::vector<Control*> order;
    for (Control* c : controls_)
        if (c->can_focus() && c->tab_stop) order.push_back(c);
    std::stable_sort(order.begin(), order.end(),
                     [](const Control* a, const Control* b) { return a->tab_index < b->tab_index; });
    return order;
}

void Form::focus(Control* c, bool by_keyboard) {
    active_ = c;
    // Entering a text box from the keyboard selects its whole text.
    if (by_keyboard && c && c->kind() == ControlKind::TextBox) static_cast<TextBox*>(c)->select_all();
}

void Form::move_focus(int step) {
    auto order = tab_order();
    if (order.empty()) return;
    auto it = std::find(order.begin(), order.end(), active_);
    int n = static_cast<int>(order.size());
    int at = it == order.end() ? (step > 0 ? -1 : 0) : static_cast<int>(it - order.begin());
    focus(order[((at + step) % n + n) % n], true);
}

CommandButton* Form::find_button(bool want_default) const {
    for (Control* c : controls_) {
        if (c->kind() != ControlKind::CommandButton || !c->visible || !c->enabled) continue;
        auto* b = static_cast<CommandButton*>(c);
        if (want_default ? b->is_default : b->is_cancel) return b;
    }
    return nullptr;
}

void Form::key(Key k) {
    switch (k) {
        case Key::Tab: move_focus(1); return;
        case Key::BackTab: move_focus(-1); return;
        case Key::Enter: {
            CommandButton* b = active_ && active_->kind() == ControlKind::CommandButton
                                   ? static_cast<CommandButton*>(active_)
                                   : find_button(true);
            if (b) b->click();
            return;
        }
        case Key::Escape:
            if (CommandButton* b = find_button(false)) b->click();
            return;
        default:
            if (active_ && active_->kind() == ControlKind::TextBox) static_cast<TextBox*>(active_)->edit_key(k);
            return;
    }
}

void Form::type(std::u16string_view chars) {
    const bool was_visible = visible_;
    for (std::size_t i = 0; i < chars.size(); ++i) {
        if (was_visible && !visible_) return;  // a button press hid the form
        if (!active_) return;
        if (active_->kind() == ControlKind::TextBox) {
            // Type the rest in one go; it holds no button presses.
            static_cast<TextBox*>(active_)->type(chars.substr(i));
            return;
        }
        if (active_->kind() == ControlKind::CommandButton && chars[i] == u' ')
            static_cast<CommandButton*>(active_)->click();
    }
}

void Form::access_key(char16_t c) {
    for (Control* ctl : controls_) {
        if (!ctl->visible) continue;
        if (ctl->kind() == ControlKind::Label) {
            auto* l = static_cast<Label*>(ctl);
            if (l->access_key() == 0 || oa::ascii_lower(l->access_key()) != oa::ascii_lower(c)) continue;
            // A label hands the focus to the next control in tab order.
            Control* next = nullptr;
            for (Control* cand : tab_order())
                if (cand->tab_index > l->tab_index && (!next || cand->tab_index < next->tab_index)) next = cand;
            if (next) focus(next, true);
            return;
        }
        if (ctl->kind() == ControlKind::CommandButton && ctl->enabled) {
            std::u16string t = ctl->text();
            auto amp = t.find(u'&');
            if (amp != std::u16string::npos && amp + 1 < t.size() && oa::ascii_lower(t[amp + 1]) == oa::ascii_lower(c)) {
                click(*ctl);
                return;
            }
        }
    }
}

void Form::click(Control& c) {
    if (!c.visible || !c.enabled) return;
    if (c.can_focus()) focus(&c, false);
    // Clicking in a text box leaves the caret at the end of its text.
    if (c.kind() == ControlKind::TextBox) {
        auto& t = static_cast<TextBox&>(c);
        t.select(static_cast<int>(t.text().size()), 0);
    }
    if (c.kind() == ControlKind::CommandButton) static_cast<CommandButton&>(c).click();
}

void Form::show_modal() {
    auto& stack = detail::modal_stack();
    if (std::find(stack.begin(), stack.end(), this) != stack.end())
        throw std::logic_error("forms: the form is already shown");
    visible_ = true;
    closed_ = false;
    auto order = tab_order();
    if (!active_ && !order.empty()) focus(order.front(), true);
    stack.push_back(this);
    struct Pop {
        Form* f;
        ~Pop() {
            auto& s = detail::modal_stack();
            s.erase(std::remove(s.begin(), s.end(), f), s.end());
            f->visible_ = false;
        }
    } pop{this};
    detail::begin_show();
    detail::active_backend().run_modal(*this);
}

void Form::hide() { visible_ = false; }

void Form::close() {
    closed_ = true;
    visible_ = false;
}

// ---- message box and backend choice ----

int MsgBox(const std::u16string& prompt, int buttons, const std::u16string& title) {
    detail::begin_show();
    return detail::active_backend().message_box(prompt, buttons, title);
}

namespace {
Backend g_backend = Backend::Terminal;
bool g_no_display = false;
NoDisplayHandler& no_display_handler() {
    static NoDisplayHandler h;
    return h;
}
}  // namespace

void use_backend(Backend b) { g_backend = b; }
Backend current_backend() { return g_backend; }

bool last_show_had_no_display() { return g_no_display; }
void on_no_display(NoDisplayHandler handler) { no_display_handler() = std::move(handler); }

void detail::begin_show() noexcept { g_no_display = false; }
bool detail::report_no_display(const std::u16string& caption, const std::string& reason) {
    g_no_display = true;
    auto& h = no_display_handler();
    if (h) h(caption, reason);
    return static_cast<bool>(h);
}

detail::BackendImpl& detail::active_backend() {
    return g_backend == Backend::Headless ? headless_backend() : system_backend();
}

}  // namespace forms
