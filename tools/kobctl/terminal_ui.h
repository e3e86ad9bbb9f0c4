// The user interface of kobctl: message boxes become lines on stderr; the
// connection dialog asks on the terminal when there is one.
#pragma once

#include <string>

#include "platform/ui/ui.h"

class TerminalUi : public platform::UiHandler {
public:
    int ShowBox(const std::u16string& text, const std::u16string& caption, unsigned style) override;
    void Beep(unsigned) override {}
    void WaitCursor(bool) override {}
    platform::InitFailedAnswer InitFailedDialog(const platform::InitFailedRequest& r) override;

    int MessageCount() const { return m_nMessages; }
    // The last connection dialog: whether a person saw it, and its message.
    bool DialogShown() const { return m_bDialogShown; }
    const std::u16string& DialogMessage() const { return m_strDialogMessage; }

private:
    int m_nMessages = 0;
    bool m_bDialogShown = false;
    std::u16string m_strDialogMessage;
};

// The one terminal handler of the process, installed by main.
TerminalUi& Terminal();
