// The host application's menu: the instrument window types to open, loading
// and saving workspaces, the windows open now, and quitting.
// Backends: on Windows a small main window with a menu bar and the common
// file dialogs; on Linux, where Xlib has no menus, a numbered menu on the
// terminal, read between the windows' messages so that they stay live.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace platform {

struct MenuWindowType {
    uint32_t commandId; // routed to the host, which opens the window
    std::u16string name;
};

// What the user chose. Every call arrives on the thread running the menu.
class MenuHandler {
public:
    virtual ~MenuHandler() = default;
    virtual void OnOpenWindow(uint32_t commandId) = 0;
    // False when the file could not be loaded or written; the handler has
    // told the user why.
    virtual bool OnLoadWorkspace(const std::u16string& path) = 0;
    virtual bool OnSaveWorkspace(const std::u16string& path) = 0;
    // The open windows, one line each.
    virtual std::vector<std::u16string> OpenWindowNames() = 0;
};

// A menu can be shown: on Windows always, on Linux when standard input is a
// terminal.
bool MenuAvailable();

// Shows the menu and runs this thread's message loop until the user quits
// (or, on a terminal, standard input ends).
void RunMenu(const std::u16string& title, const std::vector<MenuWindowType>& types,
             MenuHandler& handler);

} // namespace platform
