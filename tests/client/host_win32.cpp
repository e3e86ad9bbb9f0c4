// The client's surroundings on Windows: the registered KobLabVIEW.dll made
// by ProgID through COM, the box on COM1 (set up by the test's runner), and
// a user thread that reads every message box and presses its OK button, and
// answers the connection dialog as the test scripted it.
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <fstream>
#include <mutex>
#include <thread>

#include "client/host.h"

namespace client {

namespace {

constexpr int kMessageId = 101;
constexpr int kLinesId = 451;
constexpr int kRepeatId = 4;
constexpr int kSimulateId = 6;
constexpr int kExitId = 2;

// What the user thread saw, and how it answers the connection dialogs.
struct Seen {
    std::mutex mutex;
    std::vector<std::string> messages;
    std::vector<std::vector<std::string>> dialogs;
    std::vector<std::string> dialogMessages;
    std::deque<std::pair<int, int>> answers; // end code, line
    HWND answered = nullptr;
};

std::string Utf8(const wchar_t* text) {
    int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    std::string out(n > 0 ? static_cast<size_t>(n - 1) : 0, '\0');
    if (n > 1) {
        WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), n, nullptr, nullptr);
    }
    return out;
}

std::vector<std::string> ListEntries(HWND list) {
    std::vector<std::string> lines;
    LRESULT count = SendMessageW(list, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        LRESULT len = SendMessageW(list, CB_GETLBTEXTLEN, static_cast<WPARAM>(i), 0);
        std::wstring text(len > 0 ? static_cast<size_t>(len) + 1 : 1, L'\0');
        if (len > 0) {
            SendMessageW(list, CB_GETLBTEXT, static_cast<WPARAM>(i),
                         reinterpret_cast<LPARAM>(text.data()));
        }
        lines.push_back(Utf8(text.c_str()));
    }
    return lines;
}

// The connection dialog: its lines and message are recorded, the scripted
// line selected and the scripted button pressed as a user would.
void AnswerConnectionDialog(HWND wnd, Seen* seen) {
    wchar_t text[1024] = {};
    GetDlgItemTextW(wnd, kMessageId, text, 1024);
    HWND list = GetDlgItem(wnd, kLinesId);
    std::pair<int, int> answer{kExitId, 0};
    {
        std::lock_guard<std::mutex> lock(seen->mutex);
        if (seen->answered == wnd) {
            return; // pressed already, still closing
        }
        seen->answered = wnd;
        seen->dialogs.push_back(ListEntries(list));
        seen->dialogMessages.push_back(Utf8(text));
        if (!seen->answers.empty()) {
            answer = seen->answers.front();
            seen->answers.pop_front();
        }
    }
    if (answer.first == kRepeatId) {
        SendMessageW(list, CB_SETCURSEL, static_cast<WPARAM>(answer.second), 0);
    }
    HWND button = GetDlgItem(wnd, answer.first);
    if (button && IsWindowEnabled(button)) {
        SendMessageW(button, BM_CLICK, 0, 0);
    } else {
        // A button the dialog lacks or has disabled: leave as the close box does.
        SendMessageW(wnd, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    }
}

BOOL CALLBACK PressOk(HWND wnd, LPARAM param) {
    auto* impl = reinterpret_cast<Seen*>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(wnd, &pid);
    wchar_t cls[16] = {};
    GetClassNameW(wnd, cls, 16);
    if (pid != GetCurrentProcessId() || lstrcmpW(cls, L"#32770") != 0 || !IsWindowVisible(wnd)) {
        return TRUE;
    }
    if (GetDlgItem(wnd, kLinesId)) {
        AnswerConnectionDialog(wnd, impl);
        return TRUE;
    }
    // A message box shows its text in the static control 0xFFFF.
    wchar_t text[1024] = {};
    GetDlgItemTextW(wnd, 0xFFFF, text, 1024);
    {
        std::lock_guard<std::mutex> lock(impl->mutex);
        impl->messages.push_back(Utf8(text));
    }
    SendMessageW(wnd, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    return TRUE;
}

} // namespace

struct Host::Impl {
    HMODULE module = nullptr;
    std::string dir;
    std::string profile;
    Seen seen;
    int missingLine = 9;
    std::atomic<bool> stop{false};
    std::thread user;
};

Host::Host(const std::vector<std::string>&) : m_pImpl(new Impl) {
    CoInitialize(nullptr);
    char dir[MAX_PATH];
    GetTempPathA(MAX_PATH, dir);
    m_pImpl->dir = dir;
    // The connection dialog lists COM1-COM4: a line missing from it must be
    // one of those that the system does not have.
    for (int n = 2; n <= 4; ++n) {
        std::string port = "\\\\.\\COM" + std::to_string(n);
        HANDLE h =
            CreateFileA(port.c_str(), 0, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE) {
            m_pImpl->missingLine = n;
            break;
        }
        CloseHandle(h);
    }
    m_pImpl->module = LoadLibraryA(KOB_MODULE_PATH);
    m_pImpl->user = std::thread([impl = m_pImpl] {
        while (!impl->stop) {
            EnumWindows(PressOk, reinterpret_cast<LPARAM>(&impl->seen));
            Sleep(50);
        }
    });
}

Host::~Host() {
    m_pImpl->stop = true;
    m_pImpl->user.join();
    if (!m_pImpl->profile.empty()) {
        std::remove(m_pImpl->profile.c_str());
    }
    if (m_pImpl->module) {
        FreeLibrary(m_pImpl->module);
    }
    CoFreeUnusedLibrariesEx(0, 0);
    CoUninitialize();
    // Every host starts with a fresh module, as a new client process would:
    // whatever references COM still keeps are dropped.
    for (int i = 0; i < 16; ++i) {
        HMODULE left = GetModuleHandleA(KOB_MODULE_PATH);
        if (!left) {
            break;
        }
        FreeLibrary(left);
    }
    delete m_pImpl;
}

HRESULT Host::GetClassObject(REFCLSID clsid, REFIID riid, void** object) {
    using Fn = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
    auto fn = reinterpret_cast<Fn>(
        reinterpret_cast<void*>(GetProcAddress(m_pImpl->module, "DllGetClassObject")));
    return fn ? fn(clsid, riid, object) : E_FAIL;
}

HRESULT Host::Create(IKobaltix** out) {
    CLSID clsid;
    HRESULT hr = CLSIDFromProgID(L"Kobaltix.LabVIEW", &clsid);
    if (FAILED(hr)) {
        return hr;
    }
    return CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IKobaltix,
                            reinterpret_cast<void**>(out));
}

HRESULT Host::CanUnloadNow() {
    using Fn = HRESULT(STDAPICALLTYPE*)();
    auto fn = reinterpret_cast<Fn>(
        reinterpret_cast<void*>(GetProcAddress(m_pImpl->module, "DllCanUnloadNow")));
    return fn ? fn() : E_FAIL;
}

void Host::Unload() {
    CoFreeUnusedLibraries();
}

void Host::SetProfile(int port, const std::map<int, std::string>&) {
    // A new file every time: the system caches a profile by its name and
    // would not see a rewrite within the same second.
    static int counter = 0;
    if (!m_pImpl->profile.empty()) {
        std::remove(m_pImpl->profile.c_str());
    }
    m_pImpl->profile = m_pImpl->dir + "kob-client-" + std::to_string(GetCurrentProcessId()) + "-" +
                       std::to_string(++counter) + ".ini";
    SetEnvironmentVariableA("KOBLABVIEW_INI", m_pImpl->profile.c_str());
    std::ofstream ini(m_pImpl->profile, std::ios::trunc);
    ini << "[Settings]\r\nPort=" << port << "\r\n";
}

int Host::BoxLine() const {
    return 1;
}
std::string Host::BoxPath() const {
    return "COM1";
}
int Host::MissingLine() const {
    return m_pImpl->missingLine;
}
std::string Host::MissingPath() const {
    return "COM" + std::to_string(m_pImpl->missingLine);
}

std::vector<std::string> Host::BoxLog(const std::string&, int) {
    return {};
}

std::vector<std::string> Host::Messages() {
    std::lock_guard<std::mutex> lock(m_pImpl->seen.mutex);
    return m_pImpl->seen.messages;
}

bool Host::ScriptsDialogs() const {
    // Only a missing line among those the dialog lists can be told apart.
    return m_pImpl->missingLine <= 4;
}
std::vector<std::vector<std::string>> Host::Dialogs() {
    std::lock_guard<std::mutex> lock(m_pImpl->seen.mutex);
    return m_pImpl->seen.dialogs;
}
std::vector<std::string> Host::DialogMessages() {
    std::lock_guard<std::mutex> lock(m_pImpl->seen.mutex);
    return m_pImpl->seen.dialogMessages;
}
void Host::AnswerDialog(int endCode, int selection) {
    std::lock_guard<std::mutex> lock(m_pImpl->seen.mutex);
    m_pImpl->seen.answers.emplace_back(endCode, selection);
}

std::string Narrow(BSTR text) {
    return text ? Utf8(text) : std::string();
}

} // namespace client
