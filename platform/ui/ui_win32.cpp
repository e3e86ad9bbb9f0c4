#include <windows.h>

#include <string>

#include "platform/com/module_win32.h"
#include "platform/ui/ui.h"

namespace platform {

namespace {

// Control ids and end codes of the connection dialog.
constexpr int kMessageId = 101;
constexpr int kLinesId = 451;
constexpr int kEndExit = 2;
constexpr int kEndRepeat = 4;
constexpr int kEndSimulate = 6;

struct DialogState {
    const InitFailedRequest* request;
    InitFailedAnswer answer;
};

void FillDialog(HWND dlg, const InitFailedRequest& r) {
    SetDlgItemTextW(dlg, kMessageId, reinterpret_cast<LPCWSTR>(r.message.c_str()));
    if (HWND lines = GetDlgItem(dlg, kLinesId)) {
        constexpr int kMaxLines = static_cast<int>(sizeof r.lines / sizeof r.lines[0]);
        int count = r.lineCount < 0 ? 0 : (r.lineCount > kMaxLines ? kMaxLines : r.lineCount);
        for (int i = 0; i < count; ++i) {
            SendMessageW(lines, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(r.lines[i].c_str()));
        }
        // A selection outside the list selects nothing.
        bool valid = r.selection >= 0 && r.selection < count;
        SendMessageW(lines, CB_SETCURSEL, valid ? static_cast<WPARAM>(r.selection) : WPARAM(-1), 0);
    }
    if (HWND simulate = GetDlgItem(dlg, kEndSimulate)) {
        EnableWindow(simulate, r.allowSimulation ? TRUE : FALSE);
    }
}

INT_PTR CALLBACK InitFailedProc(HWND dlg, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_INITDIALOG) {
        SetWindowLongPtrW(dlg, DWLP_USER, lParam);
        FillDialog(dlg, *reinterpret_cast<DialogState*>(lParam)->request);
        return TRUE;
    }
    auto* state = reinterpret_cast<DialogState*>(GetWindowLongPtrW(dlg, DWLP_USER));
    if (msg != WM_COMMAND || !state || HIWORD(wParam) != BN_CLICKED) {
        return FALSE;
    }
    if (HWND lines = GetDlgItem(dlg, kLinesId)) {
        state->answer.selection = static_cast<int>(SendMessageW(lines, CB_GETCURSEL, 0, 0));
    }
    switch (LOWORD(wParam)) {
    case IDOK: // Enter where no button is the default
    case kEndRepeat:
        EndDialog(dlg, kEndRepeat);
        return TRUE;
    case kEndSimulate:
        // Only an enabled button ends the dialog; a forged click does not.
        if (state->request->allowSimulation) {
            EndDialog(dlg, kEndSimulate);
        }
        return TRUE;
    case IDCANCEL: // "Exit Program", Escape and the close box
        EndDialog(dlg, kEndExit);
        return TRUE;
    default:
        return FALSE;
    }
}

class Win32Ui : public UiHandler {
public:
    int ShowBox(const std::u16string& text, const std::u16string& caption,
                unsigned style) override {
        return MessageBoxW(GetActiveWindow(), reinterpret_cast<LPCWSTR>(text.c_str()),
                           reinterpret_cast<LPCWSTR>(caption.c_str()), style);
    }
    void Beep(unsigned type) override { MessageBeep(type); }
    void WaitCursor(bool on) override {
        if (on) {
            m_hPrev = SetCursor(LoadCursorW(nullptr, MAKEINTRESOURCEW(32514))); // IDC_WAIT
        } else if (m_hPrev) {
            SetCursor(m_hPrev);
        }
    }
    InitFailedAnswer InitFailedDialog(const InitFailedRequest& request) override {
        HMODULE module = platform::ThisModule();
        LPCWSTR name = MAKEINTRESOURCEW(request.templateId);
        if (module && FindResourceW(module, name, MAKEINTRESOURCEW(5))) { // RT_DIALOG
            DialogState state{&request, {kEndExit, request.selection}};
            INT_PTR end = DialogBoxParamW(module, name, GetActiveWindow(), InitFailedProc,
                                          reinterpret_cast<LPARAM>(&state));
            if (end != -1) {
                state.answer.endCode = static_cast<int>(end);
                return state.answer;
            }
        }
        // A module without the dialog (a program that links the code but not
        // the resources): the message alone, and the set-up gives up.
        std::u16string text = request.message + u"\n\n(The connection dialog is not available: "
                                                u"the connection set-up ends.)";
        MessageBoxW(GetActiveWindow(), reinterpret_cast<LPCWSTR>(text.c_str()), L"KobLabVIEW",
                    MB_OK | MB_ICONEXCLAMATION);
        return {kEndExit, request.selection};
    }

private:
    HCURSOR m_hPrev = nullptr;
};

} // namespace

UiHandler& DefaultUi() {
    static Win32Ui* ui = new Win32Ui;
    return *ui;
}

uint16_t UserLanguage() {
    return GetUserDefaultUILanguage();
}

} // namespace platform
