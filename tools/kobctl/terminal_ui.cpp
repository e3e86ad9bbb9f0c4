#include "tools/kobctl/terminal_ui.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

#include "framework/wstr.h"

int TerminalUi::ShowBox(const std::u16string& text, const std::u16string&, unsigned style) {
    ++m_nMessages;
    std::fprintf(stderr, "! %s\n", Narrow(text).c_str());
    return (style & 0xF) == platform::kMbYesNo ? platform::kIdNo : platform::kIdOk;
}

platform::InitFailedAnswer TerminalUi::InitFailedDialog(const platform::InitFailedRequest& r) {
    m_strDialogMessage = r.message;
    m_bDialogShown = isatty(STDIN_FILENO) != 0;
    if (!m_bDialogShown) {
        return {2, r.selection}; // nobody to ask: "Exit Program"; the command says why
    }
    std::fprintf(stderr, "! %s\n", Narrow(r.message).c_str());
    for (int i = 0; i < r.lineCount; ++i) {
        std::fprintf(stderr, "  %d) %s\n", i + 1, Narrow(r.lines[i]).c_str());
    }
    // Only what the dialog's buttons allow is offered.
    std::fprintf(stderr, "Line to try again (1-%d)%s, anything else = %s: ", r.lineCount,
                 r.allowSimulation ? ", s = simulation" : "",
                 r.withExit ? "exit program" : "close");
    char buf[32] = {};
    if (!std::fgets(buf, sizeof buf, stdin)) {
        return {2, r.selection};
    }
    if (buf[0] == 's' && r.allowSimulation) {
        return {6, r.selection};
    }
    int n = std::atoi(buf);
    if (n >= 1 && n <= r.lineCount) {
        return {4, n - 1};
    }
    return {2, r.selection};
}

TerminalUi& Terminal() {
    static TerminalUi ui;
    return ui;
}
