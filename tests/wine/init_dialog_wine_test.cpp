// The connection dialog of the Windows user interface, shown from the
// module's dialog templates (linked into this program as into the DLL) and
// worked by a user thread: what it shows, what each button answers, and the
// plain message box where a template is missing.
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "platform/ui/ui.h"

namespace {

constexpr int kMessageId = 101;
constexpr int kLinesId = 451;
constexpr int kRepeat = 4;
constexpr int kSimulate = 6;
constexpr int kExit = 2;

std::string Utf8(const std::wstring& text) {
    int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string out(n > 0 ? static_cast<size_t>(n - 1) : 0, '\0');
    if (n > 1) {
        WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, out.data(), n, nullptr, nullptr);
    }
    return out;
}

std::string Text(HWND wnd) {
    wchar_t text[1024] = {};
    GetWindowTextW(wnd, text, 1024);
    return Utf8(text);
}

std::string ItemText(HWND dlg, int id) {
    HWND item = GetDlgItem(dlg, id);
    return item ? Text(item) : "<none>";
}

BOOL CALLBACK FindOwnDialog(HWND wnd, LPARAM param) {
    DWORD pid = 0;
    GetWindowThreadProcessId(wnd, &pid);
    wchar_t cls[16] = {};
    GetClassNameW(wnd, cls, 16);
    if (pid == GetCurrentProcessId() && lstrcmpW(cls, L"#32770") == 0 && IsWindowVisible(wnd)) {
        *reinterpret_cast<HWND*>(param) = wnd;
        return FALSE;
    }
    return TRUE;
}

// Shows the dialog for the request while a user thread waits for it to
// appear and then does what act says.
platform::InitFailedAnswer Show(const platform::InitFailedRequest& request,
                                const std::function<void(HWND)>& act) {
    std::thread user([&act] {
        HWND dlg = nullptr;
        while (!dlg) {
            EnumWindows(FindOwnDialog, reinterpret_cast<LPARAM>(&dlg));
            if (!dlg) {
                Sleep(20);
            }
        }
        act(dlg);
    });
    platform::InitFailedAnswer answer = platform::DefaultUi().InitFailedDialog(request);
    user.join();
    return answer;
}

platform::InitFailedRequest Request(unsigned templateId, bool allowSimulation, int selection) {
    platform::InitFailedRequest r;
    r.templateId = templateId;
    r.withExit = templateId == 20000;
    r.allowSimulation = allowSimulation;
    r.message = u"No interface can be found on the selected communication line.";
    const char16_t* lines[] = {
        u"COM1: (Free, available for use)", u"COM2: (In use or does not exist)",
        u"COM3: (In use or does not exist)", u"COM4: (In use or does not exist)", u"USB Interface"};
    for (const char16_t* line : lines) {
        r.lines[r.lineCount++] = line;
    }
    r.selection = selection;
    return r;
}

std::vector<std::string> Entries(HWND dlg) {
    std::vector<std::string> out;
    HWND list = GetDlgItem(dlg, kLinesId);
    LRESULT count = SendMessageW(list, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        wchar_t text[256] = {};
        SendMessageW(list, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text));
        out.push_back(Utf8(text));
    }
    return out;
}

void Click(HWND dlg, int id) {
    SendMessageW(GetDlgItem(dlg, id), BM_CLICK, 0, 0);
}

TEST(ConnectionDialog, ShowsTheRequestAndRepeatsOnTheChosenLine) {
    struct Seen {
        std::string caption, message, repeat, simulate, exit;
        std::vector<std::string> lines;
        LRESULT selection = -2;
        bool simulateEnabled = true;
    } seen;
    auto answer = Show(Request(20000, false, 1), [&seen](HWND dlg) {
        seen.caption = Text(dlg);
        seen.message = ItemText(dlg, kMessageId);
        seen.repeat = ItemText(dlg, kRepeat);
        seen.simulate = ItemText(dlg, kSimulate);
        seen.exit = ItemText(dlg, kExit);
        seen.lines = Entries(dlg);
        seen.selection = SendMessageW(GetDlgItem(dlg, kLinesId), CB_GETCURSEL, 0, 0);
        seen.simulateEnabled = IsWindowEnabled(GetDlgItem(dlg, kSimulate)) != 0;
        SendMessageW(GetDlgItem(dlg, kLinesId), CB_SETCURSEL, 4, 0); // USB
        Click(dlg, kRepeat);
    });
    EXPECT_EQ(seen.caption, "Interface");
    EXPECT_EQ(seen.message, "No interface can be found on the selected communication line.");
    EXPECT_EQ(seen.repeat, "Repeat Initialising");
    EXPECT_EQ(seen.simulate, "Run Program in Simulation Mode");
    EXPECT_EQ(seen.exit, "Exit Program");
    EXPECT_EQ(seen.lines, (std::vector<std::string>{
                              "COM1: (Free, available for use)", "COM2: (In use or does not exist)",
                              "COM3: (In use or does not exist)",
                              "COM4: (In use or does not exist)", "USB Interface"}));
    EXPECT_EQ(seen.selection, 1);
    EXPECT_FALSE(seen.simulateEnabled);
    EXPECT_EQ(answer.endCode, kRepeat);
    EXPECT_EQ(answer.selection, 4);
}

// How each way out of the dialog answers: the button's end code and the
// line selected then.
TEST(ConnectionDialog, EveryWayOutGivesItsAnswer) {
    std::string shown;
    struct Case {
        const char* what;
        unsigned templateId;
        bool allowSimulation;
        int selection;
        std::function<void(HWND)> act;
        int endCode;
        LRESULT answered;
    } cases[] = {
        {"exit", 20000, false, 0, [](HWND dlg) { Click(dlg, kExit); }, kExit, 0},
        // Without "Exit Program" the close box is the way out.
        {"close box", 20001, false, 2, [](HWND dlg) { SendMessageW(dlg, WM_CLOSE, 0, 0); }, kExit,
         2},
        {"simulation", 20001, true, 0, [](HWND dlg) { Click(dlg, kSimulate); }, kSimulate, 0},
        // A click forged past the disabled button leaves the dialog open.
        {"forged simulation", 20000, false, 0,
         [](HWND dlg) {
             SendMessageW(dlg, WM_COMMAND, MAKEWPARAM(kSimulate, BN_CLICKED), 0);
             Click(dlg, kExit);
         },
         kExit, 0},
        // A stored line outside the list selects nothing: the caller keeps its own.
        {"line outside", 20000, false, 7, [](HWND dlg) { Click(dlg, kRepeat); }, kRepeat, CB_ERR},
        // A missing template falls back to a message box with the message.
        {"no template", 20009, true, 3,
         [&shown](HWND box) {
             shown = ItemText(box, 0xFFFF);
             SendMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
         },
         kExit, 3},
    };
    for (const Case& c : cases) {
        auto answer = Show(Request(c.templateId, c.allowSimulation, c.selection), c.act);
        EXPECT_EQ(answer.endCode, c.endCode) << c.what;
        EXPECT_EQ(answer.selection, c.answered) << c.what;
    }
    EXPECT_EQ(shown.rfind("No interface can be found on the selected communication line.", 0), 0u)
        << shown;
    EXPECT_NE(shown.find("not available"), std::string::npos) << shown;
}

// Whether a control's text fits inside it in the dialog's font.
bool Fits(HWND control) {
    wchar_t text[256] = {};
    int n = GetWindowTextW(control, text, 256);
    HDC dc = GetDC(control);
    HGDIOBJ old =
        SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(control, WM_GETFONT, 0, 0)));
    SIZE size{};
    GetTextExtentPoint32W(dc, text, n, &size);
    SelectObject(dc, old);
    ReleaseDC(control, dc);
    RECT rect{};
    GetClientRect(control, &rect);
    return size.cx > 0 && size.cx + 8 <= rect.right - rect.left;
}

INT_PTR CALLBACK Quiet(HWND, UINT msg, WPARAM, LPARAM) {
    return msg == WM_INITDIALOG ? TRUE : FALSE;
}

// Every language has the four templates: the list only in 20000 and 20001,
// "Exit Program" only in 20000 and 20002, the other controls in all.
TEST(ConnectionDialog, TheFourTemplatesExistInEveryLanguage) {
    HMODULE module = GetModuleHandleW(nullptr);
    const WORD languages[] = {1031, 1033, 1036, 3082};
    std::vector<std::string> exitTexts;
    for (WORD lang : languages) {
        for (WORD id = 20000; id <= 20003; ++id) {
            SCOPED_TRACE("language " + std::to_string(lang) + " template " + std::to_string(id));
            HRSRC res = FindResourceExW(module, MAKEINTRESOURCEW(5), MAKEINTRESOURCEW(id), lang);
            ASSERT_NE(res, nullptr);
            auto* tmpl = static_cast<LPCDLGTEMPLATEW>(LockResource(LoadResource(module, res)));
            ASSERT_NE(tmpl, nullptr);
            HWND dlg = CreateDialogIndirectParamW(module, tmpl, nullptr, Quiet, 0);
            ASSERT_NE(dlg, nullptr);
            const bool withList = id == 20000 || id == 20001;
            const bool withExit = id == 20000 || id == 20002;
            EXPECT_EQ(GetDlgItem(dlg, kLinesId) != nullptr, withList);
            EXPECT_EQ(GetDlgItem(dlg, kExit) != nullptr, withExit);
            EXPECT_NE(GetDlgItem(dlg, kMessageId), nullptr);
            EXPECT_NE(ItemText(dlg, kRepeat), "<none>");
            EXPECT_NE(ItemText(dlg, kSimulate), "<none>");
            EXPECT_EQ((GetWindowLongW(GetDlgItem(dlg, kRepeat), GWL_STYLE) & 0x0F),
                      BS_DEFPUSHBUTTON);
            for (int button : {kRepeat, kSimulate, kExit}) {
                if (HWND b = GetDlgItem(dlg, button)) {
                    EXPECT_TRUE(Fits(b)) << ItemText(dlg, button);
                }
            }
            if (id == 20000) {
                exitTexts.push_back(ItemText(dlg, kExit));
            }
            DestroyWindow(dlg);
        }
    }
    // Each language speaks its own.
    EXPECT_EQ(exitTexts, (std::vector<std::string>{"Programm beenden", "Exit Program",
                                                   "Quitter le programme", "Salir del programa"}));
}

} // namespace
