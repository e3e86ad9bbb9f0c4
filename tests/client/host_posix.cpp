// The client's surroundings on POSIX: libKobLabVIEW.so opened with dlopen,
// the simulator on a pseudo-terminal, a scripted user handed to the module.
#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <stdexcept>

#include "client/host.h"
#include "platform/profile/profile.h"
#include "support/scripted_ui.h"
#include "support/sim_process.h"

namespace client {

using GetClassObjectFn = HRESULT (*)(REFCLSID, REFIID, void**);
using CanUnloadNowFn = HRESULT (*)();
using SetUiFn = platform::UiHandler* (*)(platform::UiHandler*);

struct Host::Impl {
    explicit Impl(const std::vector<std::string>& boxArgs)
        : log(LogPath()), box(WithLog(boxArgs, log)) {}
    static std::string LogPath() {
        static int counter = 0;
        return platform::TempDirectory() + "kob-client-" + std::to_string(getpid()) + "-" +
               std::to_string(++counter) + ".log";
    }
    static std::vector<std::string> WithLog(std::vector<std::string> args, const std::string& log) {
        args.push_back("--log");
        args.push_back(log);
        return args;
    }
    std::string log;
    SimProcess box;
    ScriptedUi ui;
    void* module = nullptr;
    GetClassObjectFn getClassObject = nullptr;
    CanUnloadNowFn canUnloadNow = nullptr;
    SetUiFn setUi = nullptr;
    std::string profile;
};

Host::Host(const std::vector<std::string>& boxArgs) : m_pImpl(new Impl(boxArgs)) {
    static int counter = 0;
    m_pImpl->profile = platform::TempDirectory() + "kob-client-" + std::to_string(getpid()) + "-" +
                       std::to_string(++counter) + ".ini";
    setenv("KOBLABVIEW_INI", m_pImpl->profile.c_str(), 1);
    // A fresh module for every host: its static interface device starts anew.
    m_pImpl->module = dlopen(KOB_MODULE_PATH, RTLD_NOW | RTLD_LOCAL);
    if (!m_pImpl->module) {
        throw std::runtime_error(dlerror());
    }
    m_pImpl->getClassObject =
        reinterpret_cast<GetClassObjectFn>(dlsym(m_pImpl->module, "DllGetClassObject"));
    m_pImpl->canUnloadNow =
        reinterpret_cast<CanUnloadNowFn>(dlsym(m_pImpl->module, "DllCanUnloadNow"));
    m_pImpl->setUi = reinterpret_cast<SetUiFn>(dlsym(m_pImpl->module, "KobSetUiHandler"));
    if (!m_pImpl->getClassObject || !m_pImpl->canUnloadNow || !m_pImpl->setUi) {
        throw std::runtime_error("libKobLabVIEW.so lacks an export");
    }
    m_pImpl->setUi(&m_pImpl->ui);
}

Host::~Host() {
    Unload();
    std::remove(m_pImpl->profile.c_str());
    std::remove(m_pImpl->log.c_str());
    unsetenv("KOBLABVIEW_INI");
    delete m_pImpl;
}

void Host::Unload() {
    if (m_pImpl->module) {
        m_pImpl->setUi(nullptr);
        dlclose(m_pImpl->module);
        m_pImpl->module = nullptr;
    }
}

std::vector<std::string> Host::BoxLog(const std::string& until, int waitMs) {
    std::vector<std::string> lines;
    for (int t = 0;; t += 20) {
        lines.clear();
        bool found = until.empty();
        std::ifstream in(m_pImpl->log);
        for (std::string line; std::getline(in, line);) {
            found = found || line.find(until) != std::string::npos;
            lines.push_back(line);
        }
        if (found || t >= waitMs) {
            return lines;
        }
        usleep(20000);
    }
}

HRESULT Host::GetClassObject(REFCLSID clsid, REFIID riid, void** object) {
    return m_pImpl->getClassObject(clsid, riid, object);
}

HRESULT Host::Create(IKobaltix** out) {
    IClassFactory* factory = nullptr;
    HRESULT hr =
        GetClassObject(CLSID_Kobaltix, IID_IClassFactory, reinterpret_cast<void**>(&factory));
    if (FAILED(hr)) {
        return hr;
    }
    hr = factory->CreateInstance(nullptr, IID_IKobaltix, reinterpret_cast<void**>(out));
    factory->Release();
    return hr;
}

HRESULT Host::CanUnloadNow() {
    return m_pImpl->canUnloadNow();
}

void Host::SetProfile(int port, const std::map<int, std::string>& lines) {
    std::ofstream ini(m_pImpl->profile, std::ios::trunc);
    ini << "[Settings]\nPort=" << port << "\n[Ports]\n";
    for (int n = 1; n <= 9; ++n) {
        auto it = lines.find(n);
        // Unnamed lines lead nowhere, so that the machine's own ports
        // never take part.
        ini << "COM" << n << "=" << (it != lines.end() ? it->second : MissingPath()) << "\n";
    }
}

int Host::BoxLine() const {
    return 1;
}
std::string Host::BoxPath() const {
    return m_pImpl->box.Path();
}
int Host::MissingLine() const {
    return 2;
}
std::string Host::MissingPath() const {
    return "/nonexistent/kob-no-line";
}

std::vector<std::string> Host::Messages() {
    return m_pImpl->ui.Messages();
}

bool Host::ScriptsDialogs() const {
    return true;
}

std::vector<std::vector<std::string>> Host::Dialogs() {
    std::vector<std::vector<std::string>> out;
    for (const auto& d : m_pImpl->ui.dialogs) {
        std::vector<std::string> lines;
        for (int i = 0; i < d.lineCount; ++i) {
            lines.push_back(::Narrow(d.lines[i]));
        }
        out.push_back(lines);
    }
    return out;
}

std::vector<std::string> Host::DialogMessages() {
    std::vector<std::string> out;
    for (const auto& d : m_pImpl->ui.dialogs) {
        out.push_back(::Narrow(d.message));
    }
    return out;
}

void Host::AnswerDialog(int endCode, int selection) {
    m_pImpl->ui.dialogAnswers.push_back({endCode, selection});
}

std::string Narrow(BSTR text) {
    return text ? ::Narrow(std::u16string(text, SysStringLen(text))) : std::string();
}

} // namespace client
