// The host's menu on Windows: a small main window with a menu bar (File:
// load and save a workspace through the common file dialogs, exit;
// Windows: one entry per window type). Closing it ends the message loop.
#include <windows.h>

#include <commdlg.h>

#include <string>
#include <vector>

#include "platform/com/module_win32.h"
#include "platform/resource/resource.h"
#include "platform/window/menu.h"

namespace platform {

namespace {

constexpr wchar_t kMainClass[] = L"KobPanelMain";
constexpr UINT kLoad = 1, kSave = 2, kExit = 3;
constexpr int kMainWidth = 420, kMainHeight = 90;
constexpr WORD kIcon = 5001;
constexpr wchar_t kFilter[] = L"Workspaces (*.kws)\0*.kws\0All files (*.*)\0*.*\0";

struct Menu {
    MenuHandler* handler = nullptr;
    std::vector<MenuWindowType> types;
};

std::wstring Wide(const std::u16string& s) {
    return std::wstring(s.begin(), s.end());
}

// The file the user picked, empty when the dialog was cancelled.
std::u16string AskFile(HWND owner, bool save) {
    wchar_t file[MAX_PATH] = L"";
    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = owner;
    ofn.lpstrFilter = kFilter;
    ofn.lpstrFile = file;
    ofn.nMaxFile = MAX_PATH;
    ofn.lpstrDefExt = L"kws";
    ofn.Flags = OFN_PATHMUSTEXIST | (save ? OFN_OVERWRITEPROMPT : OFN_FILEMUSTEXIST);
    const BOOL chosen = save ? GetSaveFileNameW(&ofn) : GetOpenFileNameW(&ofn);
    if (!chosen) {
        return {};
    }
    const std::wstring w(file);
    return std::u16string(w.begin(), w.end());
}

LRESULT CALLBACK MainProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    auto* menu = reinterpret_cast<Menu*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    switch (msg) {
    case WM_CREATE:
        SetWindowLongPtrW(
            hwnd, GWLP_USERDATA,
            reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams));
        return 0;
    case WM_COMMAND: {
        const UINT id = LOWORD(wp);
        if (!menu) {
            break;
        }
        if (id == kLoad || id == kSave) {
            const std::u16string path = AskFile(hwnd, id == kSave);
            if (path.empty()) {
                return 0; // cancelled
            }
            if (id == kLoad) {
                menu->handler->OnLoadWorkspace(path);
            } else {
                menu->handler->OnSaveWorkspace(path);
            }
            return 0;
        }
        if (id == kExit) {
            DestroyWindow(hwnd);
            return 0;
        }
        for (const MenuWindowType& t : menu->types) {
            if (t.commandId == id) {
                menu->handler->OnOpenWindow(id);
                return 0;
            }
        }
        break;
    }
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        break;
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

HMENU MakeMenuBar(const std::vector<MenuWindowType>& types) {
    HMENU file = CreatePopupMenu();
    AppendMenuW(file, MF_STRING, kLoad, L"&Load workspace...");
    AppendMenuW(file, MF_STRING, kSave, L"&Save workspace...");
    AppendMenuW(file, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(file, MF_STRING, kExit, L"E&xit");
    HMENU windows = CreatePopupMenu();
    for (const MenuWindowType& t : types) {
        AppendMenuW(windows, MF_STRING, t.commandId, Wide(t.name).c_str());
    }
    HMENU bar = CreateMenu();
    AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(file), L"&File");
    AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(windows), L"&Windows");
    return bar;
}

} // namespace

bool MenuAvailable() {
    return true;
}

void RunMenu(const std::u16string& title, const std::vector<MenuWindowType>& types,
             MenuHandler& handler) {
    const HINSTANCE instance = ThisModule();
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = MainProc;
    wc.hInstance = instance;
    auto panels = static_cast<HMODULE>(NativeResourceModule());
    wc.hIcon = panels ? LoadIconW(panels, MAKEINTRESOURCEW(kIcon)) : nullptr;
    wc.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512)); // IDC_ARROW
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = kMainClass;
    RegisterClassExW(&wc); // fails harmlessly when registered already

    Menu menu{&handler, types};
    HWND main = CreateWindowExW(0, kMainClass, Wide(title).c_str(),
                                WS_OVERLAPPEDWINDOW & ~WS_MAXIMIZEBOX & ~WS_THICKFRAME,
                                CW_USEDEFAULT, CW_USEDEFAULT, kMainWidth, kMainHeight, nullptr,
                                MakeMenuBar(types), instance, &menu);
    if (!main) {
        return;
    }
    ShowWindow(main, SW_SHOWNORMAL);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

} // namespace platform
