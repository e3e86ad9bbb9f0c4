// The client's surroundings on Windows: the registered KobLabVIEW.dll made
// by ProgID through COM, the box on COM1 (set up by the test's runner), and
// a user who presses OK on every message box and answers the connection
// dialog as the test scripted it.
#include <windows.h>

#include <cstdio>
#include <deque>
#include <fstream>
#include <memory>
#include <mutex>

#include "client/host.h"
#include "support/own_dialogs.h"

namespace client {

struct Host::Impl {
    void See(HWND wnd);
    FARPROC Symbol(const char* name) { return GetProcAddress(module, name); }
    HMODULE module = nullptr;
    std::string profile;
    int missingLine = 0;
    std::mutex mutex;
    std::vector<std::string> messages;
    std::vector<Dialog> dialogs;
    std::deque<std::pair<int, int>> answers; // end code, line
    HWND answered = nullptr;
    std::unique_ptr<owndlg::User> user;
};

void Host::Impl::See(HWND wnd) {
    HWND list = GetDlgItem(wnd, owndlg::kLinesId);
    if (!list) {
        std::string text = owndlg::Text(wnd, 0xFFFF);
        {
            std::lock_guard<std::mutex> lock(mutex);
            messages.push_back(text);
        }
        SendMessageW(wnd, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        return;
    }
    Dialog seen{owndlg::Text(wnd, owndlg::kMessageId), owndlg::Lines(list)};
    std::pair<int, int> answer{owndlg::kExitId, 0};
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (answered == wnd) {
            return; // pressed already, still closing
        }
        answered = wnd;
        dialogs.push_back(seen);
        if (!answers.empty()) {
            answer = answers.front();
            answers.pop_front();
        }
    }
    if (answer.first == owndlg::kRepeatId) {
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

Host::Host(const std::vector<std::string>&) : m_pImpl(new Impl) {
    CoInitialize(nullptr);
    // The connection dialog lists COM1-COM4: the missing line must be one
    // of those that the system does not have.
    for (int n = 2; n <= 4 && !m_pImpl->missingLine; ++n) {
        std::string port = "\\\\.\\COM" + std::to_string(n);
        HANDLE h =
            CreateFileA(port.c_str(), 0, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE) {
            m_pImpl->missingLine = n;
        } else {
            CloseHandle(h);
        }
    }
    m_pImpl->module = LoadLibraryA(KOB_MODULE_PATH);
    m_pImpl->user = std::make_unique<owndlg::User>([impl = m_pImpl](HWND wnd) { impl->See(wnd); });
}

Host::~Host() {
    m_pImpl->user.reset();
    std::remove(m_pImpl->profile.c_str());
    FreeLibrary(m_pImpl->module);
    CoFreeUnusedLibrariesEx(0, 0);
    CoUninitialize();
    // Every host starts with a fresh module, as a new client process would:
    // whatever references COM still keeps are dropped.
    for (int i = 0; i < 16 && GetModuleHandleA(KOB_MODULE_PATH); ++i) {
        FreeLibrary(GetModuleHandleA(KOB_MODULE_PATH));
    }
    delete m_pImpl;
}

HRESULT Host::GetClassObject(REFCLSID clsid, REFIID riid, void** object) {
    using Fn = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
    auto fn = reinterpret_cast<Fn>(reinterpret_cast<void*>(m_pImpl->Symbol("DllGetClassObject")));
    return fn ? fn(clsid, riid, object) : E_FAIL;
}

HRESULT Host::Create(IKobaltix** out) {
    CLSID clsid;
    HRESULT hr = CLSIDFromProgID(L"Kobaltix.LabVIEW", &clsid);
    return FAILED(hr) ? hr
                      : CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IKobaltix,
                                         reinterpret_cast<void**>(out));
}

HRESULT Host::CanUnloadNow() {
    using Fn = HRESULT(STDAPICALLTYPE*)();
    auto fn = reinterpret_cast<Fn>(reinterpret_cast<void*>(m_pImpl->Symbol("DllCanUnloadNow")));
    return fn ? fn() : E_FAIL;
}

void Host::Unload() {
    CoFreeUnusedLibraries();
}

void Host::SetProfile(int port) {
    // A new file every time: the system caches a profile by its name and
    // would not see a rewrite within the same second.
    static int counter = 0;
    std::remove(m_pImpl->profile.c_str());
    char dir[MAX_PATH];
    GetTempPathA(MAX_PATH, dir);
    m_pImpl->profile = std::string(dir) + "kob-client-" + std::to_string(GetCurrentProcessId()) +
                       "-" + std::to_string(++counter) + ".ini";
    SetEnvironmentVariableA("KOBLABVIEW_INI", m_pImpl->profile.c_str());
    std::ofstream(m_pImpl->profile, std::ios::trunc) << "[Settings]\r\nPort=" << port << "\r\n";
}

int Host::MissingLine() const {
    return m_pImpl->missingLine;
}

std::vector<std::string> Host::BoxLog(const std::string&, int) {
    return {};
}

std::vector<std::string> Host::Messages() {
    std::lock_guard<std::mutex> lock(m_pImpl->mutex);
    return m_pImpl->messages;
}

std::vector<Dialog> Host::Dialogs() {
    std::lock_guard<std::mutex> lock(m_pImpl->mutex);
    return m_pImpl->dialogs;
}

void Host::AnswerDialog(int endCode, int selection) {
    std::lock_guard<std::mutex> lock(m_pImpl->mutex);
    m_pImpl->answers.emplace_back(endCode, selection);
}

std::string Narrow(BSTR text) {
    return text ? owndlg::Utf8(text) : std::string();
}

} // namespace client
