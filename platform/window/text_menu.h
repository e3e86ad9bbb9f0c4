// The host's menu as numbered lines on a terminal (the Linux backend of
// menu.h): it shows the entries, takes one line of input at a time and
// asks for a file name when loading or saving.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "platform/window/menu.h"

namespace platform {

class TextMenu {
public:
    TextMenu(std::u16string title, std::vector<MenuWindowType> types, MenuHandler& handler,
             std::FILE* out);
    void Show();
    // One line the user typed (without its line end); false once the user
    // has chosen to quit.
    bool Take(const std::string& line);

private:
    enum class Asking { Entry, LoadPath, SavePath };
    void Prompt();
    void Path(Asking what, const std::string& path);

    std::u16string m_strTitle;
    std::vector<MenuWindowType> m_types;
    MenuHandler& m_handler;
    std::FILE* m_out;
    Asking m_asking = Asking::Entry;
};

} // namespace platform
