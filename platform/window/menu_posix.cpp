// The host's menu on Linux: numbered entries on the terminal, read between
// the windows' messages, since Xlib has no menus of its own.
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "framework/wstr.h"
#include "platform/window/text_menu.h"
#include "platform/window/window.h"

namespace platform {

namespace {

// How long the loop waits for a key before it looks at the windows again.
constexpr int kPollMs = 10;

std::string Trim(const std::string& s) {
    const size_t first = s.find_first_not_of(" \t\r");
    if (first == std::string::npos) {
        return {};
    }
    return s.substr(first, s.find_last_not_of(" \t\r") - first + 1);
}

} // namespace

TextMenu::TextMenu(std::u16string title, std::vector<MenuWindowType> types, MenuHandler& handler,
                   std::FILE* out)
    : m_strTitle(std::move(title)), m_types(std::move(types)), m_handler(handler), m_out(out) {}

void TextMenu::Show() {
    std::fprintf(m_out, "%s\n", Narrow(m_strTitle).c_str());
    for (size_t i = 0; i < m_types.size(); ++i) {
        std::fprintf(m_out, "  %2zu  %s\n", i + 1, Narrow(m_types[i].name).c_str());
    }
    std::fputs("   l  load a workspace      s  save the workspace\n"
               "   w  the open windows      q  quit\n",
               m_out);
    Prompt();
}

void TextMenu::Prompt() {
    std::fputs(m_asking == Asking::LoadPath   ? "workspace to load: "
               : m_asking == Asking::SavePath ? "save the workspace as: "
                                              : "> ",
               m_out);
    std::fflush(m_out);
}

void TextMenu::Path(Asking what, const std::string& path) {
    m_asking = Asking::Entry;
    if (path.empty()) {
        std::fputs("no file named: nothing done\n", m_out);
    } else if (what == Asking::LoadPath ? m_handler.OnLoadWorkspace(Widen(path))
                                        : m_handler.OnSaveWorkspace(Widen(path))) {
        std::fprintf(m_out, "%s %s\n", what == Asking::LoadPath ? "loaded" : "saved", path.c_str());
    }
}

bool TextMenu::Take(const std::string& typed) {
    const std::string line = Trim(typed);
    if (m_asking != Asking::Entry) {
        Path(m_asking, line);
        Prompt();
        return true;
    }
    // "l FILE" and "s FILE" name the file at once.
    const char key = line.size() == 1 || (line.size() > 1 && line[1] == ' ') ? line[0] : '\0';
    const std::string rest = line.size() > 1 ? Trim(line.substr(1)) : std::string();
    char* end = nullptr;
    const unsigned long n = std::strtoul(line.c_str(), &end, 10);
    if (line.empty() || line == "?") {
        Show();
        return true;
    } else if (end && !*end && n >= 1 && n <= m_types.size()) {
        m_handler.OnOpenWindow(m_types[n - 1].commandId);
    } else if (key == 'q') {
        return false;
    } else if (key == 'w') {
        const std::vector<std::u16string> open = m_handler.OpenWindowNames();
        if (open.empty()) {
            std::fputs("no window is open\n", m_out);
        }
        for (const std::u16string& name : open) {
            std::fprintf(m_out, "  %s\n", Narrow(name).c_str());
        }
    } else if (key == 'l' || key == 's') {
        const Asking what = key == 'l' ? Asking::LoadPath : Asking::SavePath;
        if (rest.empty()) {
            m_asking = what;
        } else {
            Path(what, rest);
        }
    } else {
        std::fprintf(m_out, "not a menu entry: %s (? shows the menu)\n", line.c_str());
    }
    Prompt();
    return true;
}

bool MenuAvailable() {
    return isatty(STDIN_FILENO) != 0;
}

void RunMenu(const std::u16string& title, const std::vector<MenuWindowType>& types,
             MenuHandler& handler) {
    TextMenu menu(title, types, handler, stdout);
    menu.Show();
    std::string pending;
    for (;;) {
        if (!PumpMessages()) {
            return;
        }
        pollfd p{STDIN_FILENO, POLLIN, 0};
        if (poll(&p, 1, kPollMs) <= 0) {
            continue;
        }
        char buffer[256];
        const ssize_t got = read(STDIN_FILENO, buffer, sizeof buffer);
        if (got < 0 && (errno == EINTR || errno == EAGAIN)) {
            continue;
        }
        if (got <= 0) {
            std::fputc('\n', stdout);
            return; // end of input: as quit
        }
        pending.append(buffer, static_cast<size_t>(got));
        for (size_t nl; (nl = pending.find('\n')) != std::string::npos;) {
            const std::string line = pending.substr(0, nl);
            pending.erase(0, nl + 1);
            if (!menu.Take(line)) {
                return;
            }
        }
    }
}

} // namespace platform
