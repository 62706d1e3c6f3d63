// Reports what a person would see of a window: the control that has the focus, its
// selection, and the texts of a message box. Run beside the program that shows it.
//   window_probe focus TITLE    -> "password|text|button|none SELSTART SELEND"
//   window_probe texts TITLE    -> each child window's text, one per line
//   window_probe layout TITLE   -> "client W H", then "TEXT LEFT TOP WIDTH HEIGHT" per child
//   window_probe close TITLE    -> the window's close box pressed (WM_CLOSE)
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

HWND find(const wchar_t* title) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        if (HWND w = FindWindowW(nullptr, title)) return w;
        Sleep(100);
    }
    return nullptr;
}

std::string utf8(const wchar_t* text) {
    char buffer[1024];
    const int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, buffer, sizeof buffer, nullptr, nullptr);
    return n > 0 ? std::string(buffer, static_cast<std::size_t>(n - 1)) : std::string();
}

// A control's text as the control itself answers it (another process's edit boxes keep
// theirs to themselves under GetWindowText).
void text_of(HWND w, wchar_t (&text)[512]) {
    DWORD_PTR ignored = 0;
    SendMessageTimeoutW(w, WM_GETTEXT, 512, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 2000, &ignored);
}

BOOL CALLBACK print_text(HWND child, LPARAM) {
    wchar_t text[512] = {};
    text_of(child, text);
    std::printf("%s\n", utf8(text).c_str());
    return TRUE;
}

BOOL CALLBACK print_place(HWND child, LPARAM parent) {
    wchar_t text[512] = {};
    text_of(child, text);
    RECT r{};
    GetWindowRect(child, &r);
    MapWindowPoints(nullptr, reinterpret_cast<HWND>(parent), reinterpret_cast<POINT*>(&r), 2);
    std::printf("%s %ld %ld %ld %ld\n", utf8(text).c_str(), r.left, r.top, r.right - r.left, r.bottom - r.top);
    return TRUE;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 3) return 2;
    HWND window = find(argv[2]);
    if (!window) {
        std::printf("no window\n");
        return 1;
    }
    const std::wstring what = argv[1];
    if (what == L"texts") {
        EnumChildWindows(window, print_text, 0);
        return 0;
    }
    if (what == L"close") {
        PostMessageW(window, WM_CLOSE, 0, 0);
        return 0;
    }
    if (what == L"layout") {
        RECT client{};
        GetClientRect(window, &client);
        std::printf("client %ld %ld\n", client.right, client.bottom);
        EnumChildWindows(window, print_place, reinterpret_cast<LPARAM>(window));
        return 0;
    }
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    if (!GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info) || !info.hwndFocus) {
        std::printf("none 0 0\n");
        return 0;
    }
    wchar_t kind[64] = {};
    GetClassNameW(info.hwndFocus, kind, 64);
    const LONG style = GetWindowLongW(info.hwndFocus, GWL_STYLE);
    const char* name = lstrcmpiW(kind, L"Edit") == 0 ? ((style & ES_PASSWORD) ? "password" : "text")
                       : lstrcmpiW(kind, L"Button") == 0 ? "button"
                                                          : "other";
    DWORD from = 0, to = 0;
    SendMessageW(info.hwndFocus, EM_GETSEL, reinterpret_cast<WPARAM>(&from), reinterpret_cast<LPARAM>(&to));
    std::printf("%s %lu %lu\n", name, from, to);
    return 0;
}
