#include <windows.h>

#include "platform/ui/ui.h"

namespace platform {

namespace {

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
        // The real dialog comes with the server's resources; until then the
        // message is shown and the user's only way out is to give up.
        MessageBoxW(GetActiveWindow(), reinterpret_cast<LPCWSTR>(request.message.c_str()),
                    L"KobLabVIEW", MB_OK | MB_ICONEXCLAMATION);
        return {2, request.selection};
    }

private:
    HCURSOR m_hPrev = nullptr;
};

} // namespace

UiHandler& DefaultUi() {
    static Win32Ui* ui = new Win32Ui;
    return *ui;
}

uint16_t UserLanguage() { return GetUserDefaultUILanguage(); }

} // namespace platform
