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

namespace {

std::string TempName(const char* suffix) {
    static int counter = 0;
    return platform::TempDirectory() + "kob-client-" + std::to_string(getpid()) + "-" +
           std::to_string(++counter) + suffix;
}

std::vector<std::string> WithLog(std::vector<std::string> args, const std::string& log) {
    args.insert(args.end(), {"--log", log});
    return args;
}

using SetUiFn = platform::UiHandler* (*)(platform::UiHandler*);

} // namespace

struct Host::Impl {
    explicit Impl(const std::vector<std::string>& boxArgs)
        : log(TempName(".log")), profile(TempName(".ini")), box(WithLog(boxArgs, log)) {}
    template <typename Fn> Fn Symbol(const char* name) {
        auto fn = reinterpret_cast<Fn>(dlsym(module, name));
        if (!fn) {
            throw std::runtime_error(std::string("libKobLabVIEW.so lacks ") + name);
        }
        return fn;
    }
    std::string log, profile;
    SimProcess box;
    ScriptedUi ui;
    void* module = nullptr;
};

Host::Host(const std::vector<std::string>& boxArgs) : m_pImpl(new Impl(boxArgs)) {
    setenv("KOBLABVIEW_INI", m_pImpl->profile.c_str(), 1);
    // A fresh module for every host: its static interface device starts anew.
    m_pImpl->module = dlopen(KOB_MODULE_PATH, RTLD_NOW | RTLD_LOCAL);
    if (!m_pImpl->module) {
        throw std::runtime_error(dlerror());
    }
    m_pImpl->Symbol<SetUiFn>("KobSetUiHandler")(&m_pImpl->ui);
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
        m_pImpl->Symbol<SetUiFn>("KobSetUiHandler")(nullptr);
        dlclose(m_pImpl->module);
        m_pImpl->module = nullptr;
    }
}

HRESULT Host::GetClassObject(REFCLSID clsid, REFIID riid, void** object) {
    using Fn = HRESULT (*)(REFCLSID, REFIID, void**);
    return m_pImpl->Symbol<Fn>("DllGetClassObject")(clsid, riid, object);
}

HRESULT Host::Create(IKobaltix** out) {
    IClassFactory* factory = nullptr;
    HRESULT hr =
        GetClassObject(CLSID_Kobaltix, IID_IClassFactory, reinterpret_cast<void**>(&factory));
    if (SUCCEEDED(hr)) {
        hr = factory->CreateInstance(nullptr, IID_IKobaltix, reinterpret_cast<void**>(out));
        factory->Release();
    }
    return hr;
}

HRESULT Host::CanUnloadNow() {
    return m_pImpl->Symbol<HRESULT (*)()>("DllCanUnloadNow")();
}

void Host::SetProfile(int port) {
    std::ofstream ini(m_pImpl->profile, std::ios::trunc);
    ini << "[Settings]\nPort=" << port << "\n[Ports]\n";
    // The other lines lead nowhere: the machine's own ports never take part.
    for (int n = 1; n <= 9; ++n) {
        ini << "COM" << n << "=" << (n == kBoxLine ? m_pImpl->box.Path() : "/nonexistent/kob")
            << "\n";
    }
}

int Host::MissingLine() const {
    return 2;
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

std::vector<std::string> Host::Messages() {
    return m_pImpl->ui.Messages();
}

std::vector<Dialog> Host::Dialogs() {
    std::vector<Dialog> out;
    for (const auto& d : m_pImpl->ui.dialogs) {
        out.push_back({::Narrow(d.message), {}});
        for (int i = 0; i < d.lineCount; ++i) {
            out.back().lines.push_back(::Narrow(d.lines[i]));
        }
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
