// The terminal backend: draws the modal forms on the controlling terminal
// with curses. It opens /dev/tty itself so that the program's standard
// input and output may be redirected or piped.
#include <algorithm>
#include <cerrno>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <fcntl.h>
#include <langinfo.h>
#include <unistd.h>

#if Q2MR_FORMS_WIDE
#define NCURSES_WIDECHAR 1
#endif
#include <curses.h>

#include "backend_impl.h"

namespace forms::detail {

bool terminal_can_address_cursor();  // below, apart from <term.h>'s macros

namespace {

// One terminal cell, in twips: about an average character of a dialog font.
constexpr int kTwipsPerCol = 100;
constexpr int kTwipsPerRow = 240;

int col_of(int twips) { return (twips + kTwipsPerCol / 2) / kTwipsPerCol; }
// A control takes the row that holds its middle.
int row_of(int top, int height) { return (top + height / 2) / kTwipsPerRow; }

bool is_utf8_locale() {
    const char* cs = nl_langinfo(CODESET);
    return cs && (std::string(cs) == "UTF-8" || std::string(cs) == "utf8");
}

std::u32string code_points(std::u16string_view s) {
    std::u32string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        char32_t c = s[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (s[i + 1] - 0xDC00);
            ++i;
        }
        out += c;
    }
    return out;
}

std::u16string utf16_of(char32_t c) {
    if (c < 0x10000) return std::u16string(1, static_cast<char16_t>(c));
    c -= 0x10000;
    return {static_cast<char16_t>(0xD800 + (c >> 10)), static_cast<char16_t>(0xDC00 + (c & 0x3FF))};
}

std::u16string strip_amp(const std::u16string& t, int* key_pos) {
    std::u16string out;
    if (key_pos) *key_pos = -1;
    for (std::size_t i = 0; i < t.size(); ++i) {
        if (t[i] == u'&' && i + 1 < t.size()) {
            ++i;
            if (t[i] != u'&' && key_pos && *key_pos < 0) *key_pos = static_cast<int>(out.size());
        }
        out += t[i];
    }
    return out;
}

// Writes code points at (y, x), clipped to the screen.
void put(int y, int x, const std::u32string& s, attr_t attr = A_NORMAL) {
    if (y < 0 || y >= LINES) return;
    for (std::size_t i = 0; i < s.size(); ++i) {
        int cx = x + static_cast<int>(i);
        if (cx < 0) continue;
        if (cx >= COLS) break;
#if Q2MR_FORMS_WIDE
        wchar_t wc[2] = {static_cast<wchar_t>(s[i] < 0x20 ? U' ' : s[i]), 0};
        cchar_t cc;
        setcchar(&cc, wc, attr, 0, nullptr);
        mvadd_wch(y, cx, &cc);
#else
        char32_t c = s[i];
        mvaddch(y, cx, static_cast<chtype>((c < 0x20 || c > 0x7E) ? '?' : c) | attr);
#endif
    }
}

void fill(int y, int x, int w, attr_t attr = A_NORMAL) { put(y, x, std::u32string(std::max(w, 0), U' '), attr); }

void frame(int y, int x, int h, int w, std::u16string_view title) {
    if (h < 2 || w < 2) return;
    for (int r = 0; r < h; ++r) fill(y + r, x, w);
    auto ch = [](int yy, int xx, chtype c) {
        if (yy >= 0 && yy < LINES && xx >= 0 && xx < COLS) mvaddch(yy, xx, c);
    };
    for (int c = 1; c < w - 1; ++c) {
        ch(y, x + c, ACS_HLINE);
        ch(y + h - 1, x + c, ACS_HLINE);
    }
    for (int r = 1; r < h - 1; ++r) {
        ch(y + r, x, ACS_VLINE);
        ch(y + r, x + w - 1, ACS_VLINE);
    }
    ch(y, x, ACS_ULCORNER);
    ch(y, x + w - 1, ACS_URCORNER);
    ch(y + h - 1, x, ACS_LLCORNER);
    ch(y + h - 1, x + w - 1, ACS_LRCORNER);
    if (!title.empty() && w > 6) {
        std::u32string t = U" ";
        t += code_points(title);
        t += U' ';
        if (static_cast<int>(t.size()) > w - 4) t.resize(w - 4);
        put(y, x + 2, t, A_BOLD);
    }
}

struct Input {
    enum Kind { None, KeyPress, Char, Alt, Close, Resize } kind = None;
    Key key = Key::Tab;
    char32_t ch = 0;
};

struct MessageView {
    const std::u16string* text;
    const std::u16string* title;
};

class TerminalBackend : public BackendImpl {
public:
    void run_modal(Form& form) override {
        if (!enter()) {
            report_no_display(form.caption, why_);
            form.close();  // nothing to draw on: as if the window was closed
            return;
        }
        Leave guard{this};
        while (form.visible()) {
            draw(nullptr);
            Input in = read_input();
            switch (in.kind) {
                case Input::KeyPress: form.key(in.key); break;
                case Input::Char: form.type(utf16_of(in.ch)); break;
                case Input::Alt: form.access_key(static_cast<char16_t>(in.ch)); break;
                case Input::Close: form.close(); break;
                default: break;
            }
        }
    }

    int message_box(const std::u16string& text, int, const std::u16string& title) override {
        if (!enter()) {
            report_no_display(title, why_);
            return vbOK;  // no terminal: dismissed at once
        }
        Leave guard{this};
        MessageView mv{&text, &title};
        for (;;) {
            draw(&mv);
            Input in = read_input();
            if (in.kind == Input::Close) break;
            if (in.kind == Input::KeyPress && (in.key == Key::Enter || in.key == Key::Escape)) break;
            if ((in.kind == Input::Char || in.kind == Input::Alt) && (in.ch == U' ' || in.ch == U'o' || in.ch == U'O'))
                break;
        }
        return vbOK;
    }

private:
    struct Leave {
        TerminalBackend* b;
        ~Leave() { b->leave(); }
    };

    // Opens the terminal on first use; nested shows share it.
    bool enter() {
        if (users_ > 0) {
            ++users_;
            return true;
        }
        const char* term = std::getenv("TERM");
        if (!term || !*term) {
            why_ = "no terminal: TERM is not set";
            return false;
        }
        int fd = ::open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (fd < 0) {
            why_ = std::string("no terminal: /dev/tty: ") + std::strerror(errno);
            return false;
        }
        tty_ = ::fdopen(fd, "r+");
        if (!tty_) {
            why_ = std::string("no terminal: /dev/tty: ") + std::strerror(errno);
            ::close(fd);
            return false;
        }
        const char* old = std::setlocale(LC_CTYPE, nullptr);
        saved_locale_ = old ? old : "C";
        if (!is_utf8_locale() && (!std::setlocale(LC_CTYPE, "") || !is_utf8_locale()))
            if (!std::setlocale(LC_CTYPE, "C.UTF-8")) std::setlocale(LC_CTYPE, saved_locale_.c_str());
        screen_ = newterm(term, tty_, tty_);
        if (screen_) set_term(screen_);
        if (!screen_ || !terminal_can_address_cursor()) {
            why_ = std::string("no terminal: the terminal type \"") + term +
                   (screen_ ? "\" cannot move the cursor" : "\" is unknown");
            if (screen_) {
                endwin();
                delscreen(screen_);
                screen_ = nullptr;
            }
            close_tty();
            return false;
        }
        raw();  // Ctrl-C reaches us as a key: it closes the window
        noecho();
        keypad(stdscr, TRUE);
        set_escdelay(50);
        old_cursor_ = curs_set(0);
        users_ = 1;
        return true;
    }

    void leave() {
        if (--users_ > 0) return;
        if (old_cursor_ != ERR) curs_set(old_cursor_);
        endwin();
        delscreen(screen_);
        screen_ = nullptr;
        close_tty();
    }

    void close_tty() {
        if (tty_) std::fclose(tty_);
        tty_ = nullptr;
        std::setlocale(LC_CTYPE, saved_locale_.c_str());
    }

    Input read_input() {
        Input in;
        for (int tries = 0; tries < 100; ++tries) {
            errno = 0;
#if Q2MR_FORMS_WIDE
            wint_t wc = 0;
            int r = wget_wch(stdscr, &wc);
            bool is_key = r == KEY_CODE_YES;
            long c = static_cast<long>(wc);
#else
            int r = wgetch(stdscr);
            bool is_key = r >= KEY_MIN;
            long c = r;
            if (r != ERR) r = OK;
#endif
            if (r == ERR) {
                if (errno == EINTR) continue;
                in.kind = Input::Close;  // the terminal went away
                return in;
            }
            if (is_key) return map_key(c);
            return map_char(c);
        }
        in.kind = Input::Close;
        return in;
    }

    static Input key(Key k) {
        Input in;
        in.kind = Input::KeyPress;
        in.key = k;
        return in;
    }

    Input map_key(long c) {
        switch (c) {
            case KEY_BTAB: return key(Key::BackTab);
            case KEY_LEFT: return key(Key::Left);
            case KEY_RIGHT: return key(Key::Right);
            case KEY_HOME: return key(Key::Home);
            case KEY_END: return key(Key::End);
            case KEY_SLEFT: return key(Key::ShiftLeft);
            case KEY_SRIGHT: return key(Key::ShiftRight);
            case KEY_SHOME: return key(Key::ShiftHome);
            case KEY_SEND: return key(Key::ShiftEnd);
            case KEY_BACKSPACE: return key(Key::Backspace);
            case KEY_DC: return key(Key::Delete);
            case KEY_ENTER: return key(Key::Enter);
            case KEY_UP: return key(Key::BackTab);
            case KEY_DOWN: return key(Key::Tab);
            case KEY_RESIZE: {
                Input in;
                in.kind = Input::Resize;
                return in;
            }
            default: return {};
        }
    }

    Input map_char(long c) {
        Input in;
        switch (c) {
            case '\t': return key(Key::Tab);
            case '\r':
            case '\n': return key(Key::Enter);
            case 127:
            case 8: return key(Key::Backspace);
            case 3: in.kind = Input::Close; return in;
            case 27: {
                // Escape alone, or Alt+key as Escape followed at once by the key.
                wtimeout(stdscr, 30);
#if Q2MR_FORMS_WIDE
                wint_t next = 0;
                int r = wget_wch(stdscr, &next);
                bool plain = r == OK;
#else
                int next = wgetch(stdscr);
                int r = next == ERR ? ERR : OK;
                bool plain = r == OK && next < KEY_MIN;
#endif
                wtimeout(stdscr, -1);
                if (r == OK && plain && next > 32 && next < 127) {
                    in.kind = Input::Alt;
                    in.ch = static_cast<char32_t>(next);
                    return in;
                }
                return key(Key::Escape);
            }
            default:
                if (c < 32) return in;
                in.kind = Input::Char;
                in.ch = static_cast<char32_t>(c);
                return in;
        }
    }

    struct Cursor {
        int y = -1, x = -1;
    };

    void draw(const MessageView* msg) {
        erase();
        Cursor cursor;
        auto& stack = modal_stack();
        for (std::size_t i = 0; i < stack.size(); ++i) draw_form(*stack[i], i + 1 == stack.size() && !msg ? &cursor : nullptr);
        if (msg) draw_message(*msg);
        if (cursor.y >= 0 && cursor.y < LINES && cursor.x >= 0 && cursor.x < COLS) {
            curs_set(1);
            move(cursor.y, cursor.x);
        } else {
            curs_set(0);
        }
        refresh();
    }

    void draw_form(const Form& f, Cursor* cursor) {
        const int cols = col_of(f.client_width);
        const int rows = (f.client_height + kTwipsPerRow - 1) / kTwipsPerRow;
        const int h = rows + 2, w = cols + 2;
        const int oy = std::max(0, (LINES - h) / 2), ox = std::max(0, (COLS - w) / 2);
        frame(oy, ox, h, w, f.caption);
        // The client area starts inside the border.
        const int cy = oy + 1, cx = ox + 1;
        const Control* active = f.active_control();
        const bool button_focused = active && active->kind() == ControlKind::CommandButton;
        for (const Control* c : f.controls()) {
            if (!c->visible) continue;
            const int y = cy + row_of(c->top, c->height);
            const int x = cx + col_of(c->left);
            const int cw = std::max(1, col_of(c->width));
            switch (c->kind()) {
                case ControlKind::Label: {
                    int key_pos = -1;
                    std::u32string t = code_points(strip_amp(c->text(), &key_pos));
                    if (static_cast<int>(t.size()) > cw) t.resize(cw);
                    put(y, x, t);
                    if (key_pos >= 0 && key_pos < static_cast<int>(t.size()))
                        put(y, x + key_pos, std::u32string(1, t[key_pos]), A_UNDERLINE);
                    break;
                }
                case ControlKind::TextBox: {
                    const auto* tb = static_cast<const TextBox*>(c);
                    const std::u32string shown = code_points(tb->shown_text());
                    const std::u16string& raw = tb->text();
                    auto disp = [&](int pos) { return static_cast<int>(count_chars(std::u16string_view(raw).substr(0, pos))); };
                    const int caret = disp(tb->caret());
                    const Selection sel = tb->selection();
                    const int s0 = disp(sel.start), s1 = disp(sel.start + sel.length);
                    const int scroll = std::max(0, caret - (cw - 1));
                    const bool focused = c == active;
                    fill(y, x, cw, A_UNDERLINE);
                    for (int i = 0; i < cw && scroll + i < static_cast<int>(shown.size()); ++i) {
                        int at = scroll + i;
                        attr_t a = A_UNDERLINE;
                        if (focused && at >= s0 && at < s1) a = A_REVERSE;
                        put(y, x + i, std::u32string(1, shown[at]), a);
                    }
                    if (focused && cursor) *cursor = {y, x + caret - scroll};
                    break;
                }
                case ControlKind::CommandButton: {
                    const auto* b = static_cast<const CommandButton*>(c);
                    int key_pos = -1;
                    std::u32string t = code_points(strip_amp(c->text(), &key_pos));
                    if (static_cast<int>(t.size()) > cw - 2) t.resize(std::max(0, cw - 2));
                    const bool focused = c == active;
                    attr_t a = focused ? A_REVERSE : (b->is_default && !button_focused ? A_BOLD : A_NORMAL);
                    std::u32string face(cw, U' ');
                    face.front() = U'[';
                    face.back() = U']';
                    const int start = (cw - static_cast<int>(t.size())) / 2;
                    face.replace(start, t.size(), t);
                    put(y, x, face, a);
                    if (key_pos >= 0 && key_pos < static_cast<int>(t.size()))
                        put(y, x + start + key_pos, std::u32string(1, t[key_pos]), a | A_UNDERLINE);
                    break;
                }
            }
        }
    }

    void draw_message(const MessageView& mv) {
        std::vector<std::u32string> lines;
        std::u32string all = code_points(*mv.text), line;
        for (std::size_t i = 0; i < all.size(); ++i) {
            if (all[i] == U'\r' && i + 1 < all.size() && all[i + 1] == U'\n') continue;
            if (all[i] == U'\n' || all[i] == U'\r') {
                lines.push_back(line);
                line.clear();
            } else {
                line += all[i];
            }
        }
        lines.push_back(line);
        int inner = static_cast<int>(count_chars(*mv.title)) + 4;
        for (auto& l : lines) inner = std::max(inner, static_cast<int>(l.size()));
        inner = std::max(inner, 10);
        const int w = inner + 4, h = static_cast<int>(lines.size()) + 5;
        const int oy = std::max(0, (LINES - h) / 2), ox = std::max(0, (COLS - w) / 2);
        frame(oy, ox, h, w, *mv.title);
        for (std::size_t i = 0; i < lines.size(); ++i) put(oy + 2 + static_cast<int>(i), ox + 2, lines[i]);
        const std::u32string ok = U"[  OK  ]";
        put(oy + h - 2, ox + (w - static_cast<int>(ok.size())) / 2, ok, A_REVERSE);
    }

    int users_ = 0;
    std::string why_;  // why the terminal could not be opened
    FILE* tty_ = nullptr;
    SCREEN* screen_ = nullptr;
    int old_cursor_ = ERR;
    std::string saved_locale_;
};

}  // namespace

BackendImpl& system_backend() {
    static TerminalBackend b;
    return b;
}

}  // namespace forms::detail

// <term.h> defines many short macros; it comes last so they touch nothing above.
#include <term.h>

bool forms::detail::terminal_can_address_cursor() {
    const char* cup = tigetstr(const_cast<char*>("cup"));
    return cup && cup != reinterpret_cast<const char*>(-1);
}
