// The Windows backend: a form as a window with one child window per control, laid out from
// its twips at the display's DPI. The form stays the one owner of text, selection, focus
// and every rule: keys, characters, access keys and clicks go to it as the terminal's do,
// and after each the windows are brought level with it. Message boxes are the system's.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <algorithm>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "backend_impl.h"

namespace forms::detail {

namespace {

constexpr wchar_t form_class[] = L"Q2mrForm";
constexpr int twips_per_inch = 1440;

const wchar_t* wide(const std::u16string& s) { return reinterpret_cast<const wchar_t*>(s.c_str()); }

std::u16string window_text(HWND w) {
    std::u16string text(static_cast<std::size_t>(GetWindowTextLengthW(w)) + 1, u'\0');
    const int n = GetWindowTextW(w, reinterpret_cast<wchar_t*>(text.data()), static_cast<int>(text.size()));
    text.resize(static_cast<std::size_t>(std::max(n, 0)));
    return text;
}

// Nothing drawn: the program's handler tells the person why, or, in a program that set
// none (the component inside a script host it does not know), a line on standard error.
void no_display(const std::u16string& caption, const std::string& reason) {
    if (report_no_display(caption, reason)) return;
    std::string line = "quellar2mrapi: the dialog \"";
    for (char16_t c : caption) line += c < 0x80 ? static_cast<char>(c) : '?';
    line += "\" could not be shown (" + reason + "); it counts as cancelled.\n";
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_ERROR_HANDLE), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

std::string last_error_text(const char* what) { return std::string(what) + " (error " + std::to_string(GetLastError()) + ")"; }

// Whether this process's window station can show windows to a person at all.
bool station_is_visible() {
    USEROBJECTFLAGS flags{};
    DWORD needed = 0;
    if (!GetUserObjectInformationW(GetProcessWindowStation(), UOI_FLAGS, &flags, sizeof flags, &needed)) return true;
    return (flags.dwFlags & WSF_VISIBLE) != 0;
}

std::optional<Key> key_of(WPARAM vk) {
    const bool shift = GetKeyState(VK_SHIFT) < 0;
    switch (vk) {
    case VK_TAB: return shift ? Key::BackTab : Key::Tab;
    case VK_RETURN: return Key::Enter;
    case VK_ESCAPE: return Key::Escape;
    case VK_LEFT: return shift ? Key::ShiftLeft : Key::Left;
    case VK_RIGHT: return shift ? Key::ShiftRight : Key::Right;
    case VK_HOME: return shift ? Key::ShiftHome : Key::Home;
    case VK_END: return shift ? Key::ShiftEnd : Key::End;
    case VK_BACK: return Key::Backspace;
    case VK_DELETE: return Key::Delete;
    default: return std::nullopt;
    }
}

class FormWindow {
public:
    explicit FormWindow(Form& form) : form_(form) {}
    FormWindow(const FormWindow&) = delete;
    FormWindow& operator=(const FormWindow&) = delete;
    ~FormWindow() {
        if (window_) DestroyWindow(window_);
        if (font_) DeleteObject(font_);
    }

    // The window and its controls; an explanation when there is nothing to draw on.
    std::optional<std::string> create();
    // Runs until the form is hidden or closed.
    void run();
    HWND handle() const { return window_; }

    static LRESULT CALLBACK procedure(HWND w, UINT message, WPARAM wp, LPARAM lp);

private:
    int pixels(int twips) const { return MulDiv(twips, dpi_, twips_per_inch); }
    Control* control_of(HWND w) const {
        for (const auto& [c, h] : controls_)
            if (h == w || IsChild(h, w)) return c;
        return nullptr;
    }
    HWND handle_of(const Control* c) const {
        for (const auto& [control, h] : controls_)
            if (control == c) return h;
        return nullptr;
    }
    // What the form does with one message taken from the queue; false: the system's own.
    bool route(const MSG& msg);
    // Text, selection and focus of the windows as the form has them.
    void level();

    Form& form_;
    HWND window_ = nullptr;
    HFONT font_ = nullptr;
    int dpi_ = 96;
    std::vector<std::pair<Control*, HWND>> controls_;
};

std::optional<std::string> FormWindow::create() {
    if (!station_is_visible()) return "the window station has no display";
    static const ATOM registered = [] {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = &FormWindow::procedure;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
        wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
        wc.lpszClassName = form_class;
        return RegisterClassExW(&wc);
    }();
    if (!registered) return last_error_text("no window class");

    if (HDC screen = GetDC(nullptr)) {
        dpi_ = GetDeviceCaps(screen, LOGPIXELSX);
        ReleaseDC(nullptr, screen);
    }
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0))
        font_ = CreateFontIndirectW(&metrics.lfMessageFont);

    constexpr DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_DLGFRAME;
    constexpr DWORD ex_style = WS_EX_DLGMODALFRAME | WS_EX_APPWINDOW | WS_EX_CONTROLPARENT;
    RECT frame{0, 0, pixels(form_.client_width), pixels(form_.client_height)};
    AdjustWindowRectEx(&frame, style, FALSE, ex_style);
    const int width = frame.right - frame.left, height = frame.bottom - frame.top;
    const int x = (GetSystemMetrics(SM_CXSCREEN) - width) / 2, y = (GetSystemMetrics(SM_CYSCREEN) - height) / 2;
    window_ = CreateWindowExW(ex_style, form_class, wide(form_.caption), style, x, y, width, height, nullptr, nullptr,
                              GetModuleHandleW(nullptr), this);
    if (!window_) return last_error_text("no window could be made; no display");

    // Children in tab order, so that the windows' own order agrees with the form's.
    std::vector<Control*> ordered = form_.controls();
    std::stable_sort(ordered.begin(), ordered.end(),
                     [](const Control* a, const Control* b) { return a->tab_index < b->tab_index; });
    for (Control* c : ordered) {
        const wchar_t* window_class = L"STATIC";
        DWORD child_style = WS_CHILD | (c->visible ? WS_VISIBLE : 0) | (c->enabled ? 0 : WS_DISABLED);
        std::u16string text = c->text();
        switch (c->kind()) {
        case ControlKind::Label: child_style |= SS_LEFT; break;
        case ControlKind::TextBox: {
            window_class = L"EDIT";
            child_style |= WS_TABSTOP | ES_AUTOHSCROLL | WS_BORDER;
            if (static_cast<TextBox*>(c)->password_char) child_style |= ES_PASSWORD;
            break;
        }
        case ControlKind::CommandButton:
            window_class = L"BUTTON";
            child_style |= WS_TABSTOP | (static_cast<CommandButton*>(c)->is_default ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON);
            break;
        }
        HWND child = CreateWindowExW(0, window_class, wide(text), child_style, pixels(c->left), pixels(c->top),
                                     pixels(c->width), pixels(c->height), window_, nullptr,
                                     GetModuleHandleW(nullptr), nullptr);
        if (!child) return last_error_text("no control window could be made");
        if (font_) SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
        if (c->kind() == ControlKind::TextBox)
            if (char16_t mask = static_cast<TextBox*>(c)->password_char)
                SendMessageW(child, EM_SETPASSWORDCHAR, static_cast<WPARAM>(mask), 0);
        controls_.emplace_back(c, child);
    }
    return std::nullopt;
}

LRESULT CALLBACK FormWindow::procedure(HWND w, UINT message, WPARAM wp, LPARAM lp) {
    if (message == WM_NCCREATE) {
        auto* self = static_cast<FormWindow*>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams);
        SetWindowLongPtrW(w, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<FormWindow*>(GetWindowLongPtrW(w, GWLP_USERDATA));
    if (self) {
        switch (message) {
        case WM_ACTIVATE:
        case WM_SETFOCUS:
            // Coming back to the window (after a message box, say) puts the focus where the
            // form has it, not on the window itself.
            if (message == WM_SETFOCUS || LOWORD(wp) != WA_INACTIVE)
                if (HWND focused = self->handle_of(self->form_.active_control())) {
                    SetFocus(focused);
                    return 0;
                }
            break;
        case WM_CLOSE:  // the close box: hidden without pressing any button
            self->form_.close();
            return 0;
        case WM_COMMAND:
            // A button pressed with the mouse (or by assistive software) is the form's click.
            if (HIWORD(wp) == BN_CLICKED)
                if (Control* c = self->control_of(reinterpret_cast<HWND>(lp))) self->form_.click(*c);
            return 0;
        default: break;
        }
    }
    return DefWindowProcW(w, message, wp, lp);
}

bool FormWindow::route(const MSG& msg) {
    const bool ours = msg.hwnd == window_ || IsChild(window_, msg.hwnd);
    if (!ours) return false;
    switch (msg.message) {
    case WM_KEYDOWN:
        if (auto k = key_of(msg.wParam)) {
            form_.key(*k);
            return true;
        }
        TranslateMessage(&msg);  // characters follow as WM_CHAR
        return true;
    case WM_CHAR:
        if (msg.wParam >= 0x20 && msg.wParam != 0x7F) form_.type(std::u16string(1, static_cast<char16_t>(msg.wParam)));
        return true;
    case WM_SYSKEYDOWN:
        TranslateMessage(&msg);
        return false;  // Alt+F4 and the system menu stay the system's
    case WM_SYSCHAR:
        if (msg.wParam > 0x20 && msg.wParam < 0x7F) {
            form_.access_key(static_cast<char16_t>(msg.wParam));
            return true;
        }
        return false;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
    case WM_RBUTTONDOWN:
    case WM_RBUTTONUP:
        // A press in a text box: focus and caret as the form places them.
        if (Control* c = control_of(msg.hwnd); c && c->kind() == ControlKind::TextBox) {
            if (msg.message != WM_RBUTTONUP && msg.message != WM_RBUTTONDOWN) form_.click(*c);
            return true;
        }
        return false;
    default: return false;
    }
}

void FormWindow::level() {
    for (const auto& [c, h] : controls_) {
        if (window_text(h) != c->text()) SetWindowTextW(h, wide(c->text()));
        if (c->kind() != ControlKind::TextBox) continue;
        const auto* box = static_cast<const TextBox*>(c);
        const Selection s = box->selection();
        const int anchor = box->caret() == s.start ? s.start + s.length : s.start;
        DWORD from = 0, to = 0;
        SendMessageW(h, EM_GETSEL, reinterpret_cast<WPARAM>(&from), reinterpret_cast<LPARAM>(&to));
        if (static_cast<int>(from) != s.start || static_cast<int>(to) != s.start + s.length)
            SendMessageW(h, EM_SETSEL, static_cast<WPARAM>(anchor), static_cast<LPARAM>(box->caret()));
    }
    if (HWND focused = handle_of(form_.active_control()); focused && GetFocus() != focused) SetFocus(focused);
}

void FormWindow::run() {
    ShowWindow(window_, SW_SHOWNORMAL);
    SetForegroundWindow(window_);
    level();
    MSG msg;
    while (form_.visible()) {
        const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
        if (got <= 0) {
            if (got == 0) PostQuitMessage(static_cast<int>(msg.wParam));  // for the loop outside
            form_.close();
            break;
        }
        if (!route(msg)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        if (form_.visible()) level();
    }
    ShowWindow(window_, SW_HIDE);
}

class WindowsBackend : public BackendImpl {
public:
    void run_modal(Form& form) override {
        FormWindow window(form);
        if (auto why = window.create()) {
            no_display(form.caption, *why);
            form.close();
            return;
        }
        shown_.push_back(&window);
        struct Pop {
            std::vector<FormWindow*>& shown;
            ~Pop() { shown.pop_back(); }
        } pop{shown_};
        window.run();
    }

    int message_box(const std::u16string& text, int, const std::u16string& title) override {
        // Owned by the form that is up, so that it stays in front of it and disables it.
        HWND owner = shown_.empty() ? nullptr : shown_.back()->handle();
        if (!station_is_visible() ||
            MessageBoxW(owner, wide(text), wide(title), MB_OK | (owner ? 0 : MB_TASKMODAL)) == 0) {
            no_display(title, owner ? last_error_text("no message box could be shown")
                                    : "no message box could be shown; no display");
        }
        return vbOK;
    }

private:
    std::vector<FormWindow*> shown_;
};

}  // namespace

BackendImpl& system_backend() {
    static WindowsBackend b;
    return b;
}

}  // namespace forms::detail
