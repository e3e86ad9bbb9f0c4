// The connection dialog of the Windows user interface, shown from the
// module's dialog templates (linked into this program as into the DLL) and
// worked by a user thread: what it shows, what each button answers, and the
// plain message box where a template is missing.
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "platform/ui/ui.h"
#include "support/own_dialogs.h"

namespace {

using owndlg::kExitId;
using owndlg::kLinesId;
using owndlg::kMessageId;
using owndlg::kRepeatId;
using owndlg::kSimulateId;
const char kMessage[] = "No interface can be found on the selected communication line.";

void Click(HWND dlg, int id) {
    SendMessageW(GetDlgItem(dlg, id), BM_CLICK, 0, 0);
}

TEST(ConnectionDialog, ShowsTheRequestAndEveryWayOutGivesItsAnswer) {
    struct Case {
        const char* what;
        unsigned templateId;
        bool allowSimulation;
        int selection;
        std::function<void(HWND)> act;
        int endCode;
        LRESULT answered;
    } cases[] = {
        {"repeat on USB", 20000, false, 1,
         [](HWND dlg) {
             SendMessageW(GetDlgItem(dlg, kLinesId), CB_SETCURSEL, 4, 0);
             Click(dlg, kRepeatId);
         },
         kRepeatId, 4},
        {"exit", 20000, false, 0, [](HWND dlg) { Click(dlg, kExitId); }, kExitId, 0},
        // Without "Exit Program" the close box is the way out.
        {"close box", 20001, false, 2, [](HWND dlg) { SendMessageW(dlg, WM_CLOSE, 0, 0); }, kExitId,
         2},
        {"simulation", 20001, true, 0, [](HWND dlg) { Click(dlg, kSimulateId); }, kSimulateId, 0},
        // A click forged past the disabled button leaves the dialog open.
        {"forged simulation", 20000, false, 0,
         [](HWND dlg) {
             SendMessageW(dlg, WM_COMMAND, MAKEWPARAM(kSimulateId, BN_CLICKED), 0);
             Click(dlg, kExitId);
         },
         kExitId, 0},
        // A stored line outside the list selects nothing: the caller keeps its own.
        {"line outside", 20000, false, 7, [](HWND dlg) { Click(dlg, kRepeatId); }, kRepeatId,
         CB_ERR},
        // A missing template falls back to a message box with the message.
        {"no template", 20009, true, 3,
         [](HWND box) { SendMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0); }, kExitId,
         3},
    };
    const std::vector<std::string> lines = {
        "COM1: (Free, available for use)", "COM2: (In use or does not exist)",
        "COM3: (In use or does not exist)", "COM4: (In use or does not exist)", "USB Interface"};
    for (const Case& c : cases) {
        platform::InitFailedRequest r;
        r.templateId = c.templateId;
        r.withExit = c.templateId == 20000;
        r.allowSimulation = c.allowSimulation;
        r.message = std::u16string(kMessage, kMessage + sizeof kMessage - 1);
        for (const std::string& line : lines) {
            r.lines[r.lineCount++] = std::u16string(line.begin(), line.end());
        }
        r.selection = c.selection;
        // What the user saw of the dialog before acting.
        std::string caption, message;
        std::vector<std::string> seen;
        LRESULT selection = -2;
        bool simulateEnabled = false, acted = false;
        platform::InitFailedAnswer answer;
        {
            owndlg::User user([&](HWND dlg) {
                HWND list = GetDlgItem(dlg, kLinesId);
                if (std::exchange(acted, true)) {
                    return;
                }
                caption = owndlg::Text(dlg);
                message = owndlg::Text(dlg, list ? kMessageId : 0xFFFF);
                selection = SendMessageW(list, CB_GETCURSEL, 0, 0);
                simulateEnabled = IsWindowEnabled(GetDlgItem(dlg, kSimulateId));
                seen = owndlg::Lines(list);
                c.act(dlg);
            });
            answer = platform::DefaultUi().InitFailedDialog(r);
        }
        SCOPED_TRACE(c.what);
        EXPECT_EQ(answer.endCode, c.endCode);
        EXPECT_EQ(answer.selection, c.answered);
        if (c.templateId == 20009) {
            EXPECT_EQ(message.rfind(kMessage, 0), 0u) << message;
            EXPECT_NE(message.find("not available"), std::string::npos) << message;
            continue;
        }
        EXPECT_EQ(caption, "Interface");
        EXPECT_EQ(message, kMessage);
        EXPECT_EQ(seen, lines);
        EXPECT_EQ(selection, c.selection < 5 ? c.selection : CB_ERR);
        EXPECT_EQ(simulateEnabled, c.allowSimulation);
    }
}

INT_PTR CALLBACK Quiet(HWND, UINT msg, WPARAM, LPARAM) {
    return msg == WM_INITDIALOG ? TRUE : FALSE;
}

// Every language has the four templates: the list only in 20000 and 20001,
// "Exit Program" only in 20000 and 20002, in the language's own words.
TEST(ConnectionDialog, TheFourTemplatesExistInEveryLanguage) {
    HMODULE module = GetModuleHandleW(nullptr);
    const std::pair<WORD, const char*> languages[] = {{1031, "Programm beenden"},
                                                      {1033, "Exit Program"},
                                                      {1036, "Quitter le programme"},
                                                      {3082, "Salir del programa"}};
    for (auto [lang, exitText] : languages) {
        for (WORD id = 20000; id <= 20003; ++id) {
            SCOPED_TRACE("language " + std::to_string(lang) + " template " + std::to_string(id));
            HRSRC res = FindResourceExW(module, MAKEINTRESOURCEW(5), MAKEINTRESOURCEW(id), lang);
            ASSERT_NE(res, nullptr);
            HWND dlg = CreateDialogIndirectParamW(
                module, static_cast<LPCDLGTEMPLATEW>(LockResource(LoadResource(module, res))),
                nullptr, Quiet, 0);
            ASSERT_NE(dlg, nullptr);
            EXPECT_EQ(GetDlgItem(dlg, kLinesId) != nullptr, id <= 20001);
            EXPECT_EQ(owndlg::Text(dlg, kExitId), id % 2 == 0 ? exitText : "<none>");
            DestroyWindow(dlg);
        }
    }
}

} // namespace
