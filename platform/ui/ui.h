// Message boxes, the default beep and the wait cursor.
// Every call goes through a replaceable handler: the default one on Windows
// shows real boxes; on POSIX it writes to stderr and answers as a user who
// cannot be asked would. Tests install a scripted handler.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

// The message-box styles and results the system uses, with their Win32 values.
inline constexpr unsigned kMbOk = 0x0;
inline constexpr unsigned kMbOkCancel = 0x1;
inline constexpr unsigned kMbYesNo = 0x4;
inline constexpr unsigned kMbIconStop = 0x10;
inline constexpr unsigned kMbIconExclamation = 0x30;
inline constexpr int kIdOk = 1;
inline constexpr int kIdCancel = 2;
inline constexpr int kIdYes = 6;
inline constexpr int kIdNo = 7;

// What the connection dialog is asked to show; the lines are the list
// entries in order, selection the preselected index (may be out of range).
struct InitFailedRequest {
    unsigned templateId = 0; // 20000 with "Exit Program", 20001 without
    std::u16string message;
    std::u16string lines[6];
    int lineCount = 0;
    int selection = 0;
    bool allowSimulation = false;
    bool withExit = true;
};
// The dialog's answer: its end code and the line selected at that moment.
struct InitFailedAnswer {
    int endCode = 2;
    int selection = 0;
};

class UiHandler {
public:
    virtual ~UiHandler() = default;
    virtual int ShowBox(const std::u16string& text, const std::u16string& caption,
                        unsigned style) = 0;
    virtual void Beep(unsigned type) = 0;
    virtual void WaitCursor(bool on) = 0;
    virtual InitFailedAnswer InitFailedDialog(const InitFailedRequest& request) = 0;
};

// Installs a handler (null restores the default); returns the previous one.
UiHandler* SetUiHandler(UiHandler* handler);
UiHandler& Ui();
// The platform's own handler (the default).
UiHandler& DefaultUi();

// A message box with the module's caption.
int ShowMessage(const std::u16string& text, unsigned style = kMbOk);
// The system default beep (MessageBeep(0)).
void DefaultBeep();

// The user's language as a Windows LANGID (1033 when it cannot be told).
uint16_t UserLanguage();

// The wait cursor for the lifetime of the object.
class WaitCursor {
public:
    WaitCursor() { Ui().WaitCursor(true); }
    ~WaitCursor() { Ui().WaitCursor(false); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

} // namespace platform
