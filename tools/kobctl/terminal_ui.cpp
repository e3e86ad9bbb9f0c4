#include "tools/kobctl/terminal_ui.h"

#include <cstdio>
#include <string>
#include <unistd.h>

#include "framework/wstr.h"

int TerminalUi::ShowBox(const std::u16string& text, const std::u16string&, unsigned style) {
    ++m_nMessages;
    std::fprintf(stderr, "! %s\n", Narrow(text).c_str());
    return (style & 0xF) == platform::kMbYesNo ? platform::kIdNo : platform::kIdOk;
}

platform::InitFailedAnswer TerminalUi::InitFailedDialog(const platform::InitFailedRequest& r) {
    std::fprintf(stderr, "! %s\n", Narrow(r.message).c_str());
    if (!isatty(STDIN_FILENO)) {
        return {2, r.selection}; // nobody to ask: "Exit Program"
    }
    for (int i = 0; i < r.lineCount; ++i) {
        std::fprintf(stderr, "  %d) %s\n", i + 1, Narrow(r.lines[i]).c_str());
    }
    std::fprintf(stderr,
                 "Line to try again (1-%d), s = simulation, anything else = exit: ", r.lineCount);
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
