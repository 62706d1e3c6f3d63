// The forms layer: modal forms with labels, text boxes and command buttons,
// laid out in twips, drawn by one of two backends (see backend.h).
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#if defined(_WIN32)
#define FORMS_API  // a static library inside the component
#else
#define FORMS_API __attribute__((visibility("default")))
#endif

namespace forms {

class Form;

enum class ControlKind { Label, TextBox, CommandButton };

// What a person does at the keyboard, whichever backend reads it.
enum class Key {
    Tab,
    BackTab,  // Shift+Tab
    Enter,
    Escape,
    Left,
    Right,
    Home,
    End,
    ShiftLeft,
    ShiftRight,
    ShiftHome,
    ShiftEnd,
    Backspace,
    Delete,
};

// A control belongs to one form, registers itself with it, and must not
// outlive it.
class FORMS_API Control {
public:
    // index is the element number in a control array, -1 for a lone control.
    Control(Form& form, ControlKind kind, std::string name, int index = -1);
    virtual ~Control();
    Control(const Control&) = delete;
    Control& operator=(const Control&) = delete;

    ControlKind kind() const { return kind_; }
    const std::string& name() const { return name_; }
    int index() const { return index_; }
    // "name" or "name(index)" for array elements.
    std::string display_name() const;
    Form& form() const { return form_; }

    const std::u16string& text() const { return text_; }
    virtual void set_text(std::u16string text);
    // The text as a person sees it (labels without access-key markers,
    // password boxes masked).
    virtual std::u16string shown_text() const;

    // Position and size in twips, inside the form's client area.
    int left = 0, top = 0, width = 0, height = 0;
    void place(int l, int t, int w, int h) { left = l; top = t; width = w; height = h; }

    int tab_index = 0;
    bool tab_stop = true;
    bool visible = true;
    bool enabled = true;

    bool can_focus() const;
    void set_focus();
    bool has_focus() const;

protected:
    std::u16string text_;

private:
    Form& form_;
    ControlKind kind_;
    std::string name_;
    int index_;
};

class FORMS_API Label : public Control {
public:
    Label(Form& form, std::string name, int index = -1);
    std::u16string shown_text() const override;
    // The character after a single '&' (0 when none); '&&' is a literal '&'.
    char16_t access_key() const;
    // Position of the access key in shown_text(), -1 when none.
    int access_key_position() const;
};

struct Selection {
    int start = 0;
    int length = 0;
    bool operator==(const Selection&) const = default;
};

class FORMS_API TextBox : public Control {
public:
    TextBox(Form& form, std::string name, int index = -1);

    // Setting the text puts the caret at its start with nothing selected.
    void set_text(std::u16string text) override;
    std::u16string shown_text() const override;

    // 0: shown in clear; otherwise each character is shown as this one.
    char16_t password_char = 0;

    // Selection in UTF-16 units, clamped to the text.
    void select(int start, int length);
    void select_all();
    Selection selection() const;
    int caret() const { return caret_; }
    std::u16string selected_text() const;

    // Editing as a person does it: replaces the selection.
    void type(std::u16string_view chars);
    void edit_key(Key k);

private:
    void clamp();
    void collapse(int pos);
    int anchor_ = 0;
    int caret_ = 0;
};

class FORMS_API CommandButton : public Control {
public:
    CommandButton(Form& form, std::string name, int index = -1);
    std::u16string shown_text() const override;
    // Enter presses the default button, Escape the cancel button.
    bool is_default = false;
    bool is_cancel = false;
    std::function<void()> on_click;
    void click();
};

// Elements 0..count-1 of one control name, like a label array.
template <class T>
class ControlArray {
public:
    ControlArray(Form& form, const std::string& name, int count) {
        for (int i = 0; i < count; ++i) items_.push_back(std::make_unique<T>(form, name, i));
    }
    T& operator[](std::size_t i) { return *items_.at(i); }
    const T& operator[](std::size_t i) const { return *items_.at(i); }
    std::size_t size() const { return items_.size(); }

private:
    std::vector<std::unique_ptr<T>> items_;
};

class FORMS_API Form {
public:
    // Client area in twips (1440 to the inch, 15 to a pixel at 96 dpi).
    explicit Form(std::u16string caption = {}, int client_width = 0, int client_height = 0);
    ~Form();
    Form(const Form&) = delete;
    Form& operator=(const Form&) = delete;

    std::u16string caption;
    int client_width;
    int client_height;

    // Shows the form and returns once it is hidden or closed. The focus
    // starts on the first control in tab order.
    void show_modal();
    void hide();
    // The window's close control: hides without pressing any button.
    void close();
    bool visible() const { return visible_; }
    bool closed() const { return closed_; }

    const std::vector<Control*>& controls() const { return controls_; }
    // index -1 matches a lone control or, for an array, its element 0.
    Control* find(std::string_view name, int index = -1) const;
    // Controls that can take the focus, by tab_index, then creation order.
    std::vector<Control*> tab_order() const;
    Control* active_control() const { return active_; }

    // Input as a person gives it; both backends feed these.
    void key(Key k);
    void type(std::u16string_view chars);
    void access_key(char16_t c);
    // A mouse press: focuses the control (a text box with the caret at the
    // end of its text), and presses a button.
    void click(Control& c);

private:
    friend class Control;
    void add(Control* c);
    void remove(Control* c);
    void focus(Control* c, bool by_keyboard);
    void move_focus(int step);
    CommandButton* find_button(bool want_default) const;

    std::vector<Control*> controls_;
    Control* active_ = nullptr;
    bool visible_ = false;
    bool closed_ = false;
};

constexpr int vbOKOnly = 0;
constexpr int vbOK = 1;

// Modal message box with one OK button, over the form that is up (if any).
// An empty title is allowed. Returns vbOK.
FORMS_API int MsgBox(const std::u16string& prompt, int buttons = vbOKOnly,
                     const std::u16string& title = {});

}  // namespace forms
