// The dialogs and message boxes this process shows on Windows, worked as a
// user would: a thread that reads them and presses their buttons.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace owndlg {

// The connection dialog's message, list of lines and buttons.
constexpr int kMessageId = 101, kLinesId = 451, kRepeatId = 4, kSimulateId = 6, kExitId = 2;

inline std::string Utf8(const wchar_t* text) {
    int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    std::string out(n > 0 ? static_cast<size_t>(n) : 1, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), n, nullptr, nullptr);
    return out.substr(0, out.size() - 1);
}

// The text of a window, or of the dialog's control id ("<none>" where the
// dialog lacks it); a message box shows its text in the control 0xFFFF.
inline std::string Text(HWND wnd, int id = 0) {
    HWND item = id ? GetDlgItem(wnd, id) : wnd;
    wchar_t text[1024] = {};
    return item ? (GetWindowTextW(item, text, 1024), Utf8(text)) : "<none>";
}

// The entries of a combo box.
inline std::vector<std::string> Lines(HWND list) {
    std::vector<std::string> lines;
    for (LRESULT i = 0; i < SendMessageW(list, CB_GETCOUNT, 0, 0); ++i) {
        wchar_t text[256] = {};
        SendMessageW(list, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text));
        lines.push_back(Utf8(text));
    }
    return lines;
}

inline BOOL CALLBACK Visit(HWND wnd, LPARAM act) {
    DWORD pid = 0;
    GetWindowThreadProcessId(wnd, &pid);
    wchar_t cls[16] = {};
    GetClassNameW(wnd, cls, 16);
    if (pid == GetCurrentProcessId() && lstrcmpW(cls, L"#32770") == 0 && IsWindowVisible(wnd)) {
        (*reinterpret_cast<const std::function<void(HWND)>*>(act))(wnd);
    }
    return TRUE;
}

// Hands every visible dialog of this process to act, over and over, until
// the user ends.
class User {
public:
    explicit User(std::function<void(HWND)> act)
        : m_act(std::move(act)), m_thread([this](std::stop_token stop) {
              while (!stop.stop_requested()) {
                  EnumWindows(Visit, reinterpret_cast<LPARAM>(&m_act));
                  Sleep(50);
              }
          }) {}

private:
    std::function<void(HWND)> m_act;
    std::jthread m_thread;
};

} // namespace owndlg
