// kobpanel: the host application of the instrument windows. It makes the
// panel resources current, connects to the box like kobctl, opens windows
// through the interface device's routed command ids, loads and saves
// workspaces, and without a display (or with --png) runs headless and
// writes pictures of its windows.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "device/kobface.h"
#include "device/stream.h"
#include "framework/archive.h"
#include "framework/exception.h"
#include "framework/wstr.h"
#include "platform/gfx/gfx.h"
#include "platform/resource/resource.h"
#include "platform/serial/serial.h"
#include "platform/thread/thread.h"
#include "platform/window/menu.h"
#include "platform/window/window.h"
#include "tools/kobpanel/window_types.h"
#include "vi/basevi.h"
#include "vi/scope/scopevi.h"

#ifndef KOB_VERSION
#define KOB_VERSION "0"
#endif

namespace {

const char kUsage[] =
    "usage: kobpanel [options]\n"
    "  --port COMn        the serial port COMn (the profile's \"Ports\" section maps it)\n"
    "  --device PATH      a serial device path as the line to the box\n"
    "  --usb              the USB interface\n"
    "  --open TYPE        opens the instrument window of that type (repeatable)\n"
    "  --load FILE        loads a workspace (its windows and settings)\n"
    "  --save FILE        saves the workspace after the windows have been refreshed once\n"
    "  --click X,Y        clicks at client coordinates of the window opened last before it\n"
    "                     on the command line (repeatable)\n"
    "  --png FILE         headless: writes each window's picture; with several windows\n"
    "                     the type number goes before the extension (scope-51.png)\n"
    "  --wait MS          headless: how long the worker refreshes before the pictures\n"
    "                     are taken (default 600)\n"
    "  --export FILE      headless: writes the oscilloscope's record after the wait\n"
    "                     (.png, .svg, .pdf or .csv; repeatable)\n"
    "  --resources DIR    the panel resources (default: KobPanels beside the program)\n"
    "  --list             prints the window types and ends\n"
    "  --help, --version\n"
    "Without a display (or with --png) kobpanel runs headless. Otherwise its menu opens\n"
    "windows and loads and saves workspaces: on Windows a menu bar on its main window,\n"
    "on Linux numbered entries on the terminal (when standard input is one; without it\n"
    "kobpanel ends when the last window is closed).\n";

struct Options {
    std::string port, device, load, save, png, resources;
    bool usb = false;
    std::vector<uint32_t> open;
    struct Click {
        size_t window; // index into open: the window opened last before the click
        platform::Point at;
    };
    std::vector<Click> clicks;
    std::vector<std::string> exports;
    long waitMs = 600;
};

bool ParseLong(const std::string& s, long lo, long hi, long& out) {
    char* end = nullptr;
    errno = 0;
    const long v = std::strtol(s.c_str(), &end, 10);
    if (s.empty() || *end || errno || v < lo || v > hi)
        return false;
    out = v;
    return true;
}

// 2 on a usage error (message printed), 0 to go on, 1 when done (--help).
int Parse(int argc, char** argv, Options& o) {
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&](std::string& out) {
            if (i + 1 >= argc || !*argv[i + 1]) {
                std::fprintf(stderr, "kobpanel: %s needs a value\n", a.c_str());
                return false;
            }
            out = argv[++i];
            return true;
        };
        std::string v;
        long n = 0;
        if (a == "--help" || a == "-h") {
            std::fputs(kUsage, stdout);
            return 1;
        } else if (a == "--version") {
            std::printf("kobpanel %s\n", KOB_VERSION);
            return 1;
        } else if (a == "--list") {
            for (const WindowTypeName& t : kWindowTypes)
                std::printf("%3u  %s\n", t.type, t.name);
            return 1;
        } else if (a == "--usb") {
            o.usb = true;
        } else if (a == "--port" || a == "--device" || a == "--load" || a == "--save" ||
                   a == "--png" || a == "--resources") {
            if (!value(v))
                return 2;
            (a == "--port"     ? o.port
             : a == "--device" ? o.device
             : a == "--load"   ? o.load
             : a == "--save"   ? o.save
             : a == "--png"    ? o.png
                               : o.resources) = v;
        } else if (a == "--open") {
            if (!value(v))
                return 2;
            if (!ParseLong(v, 0, 899, n) || !FindWindowType(static_cast<uint32_t>(n))) {
                std::fprintf(stderr, "kobpanel: --open %s: not a window type (--list shows them)\n",
                             v.c_str());
                return 2;
            }
            o.open.push_back(static_cast<uint32_t>(n));
        } else if (a == "--click") {
            if (!value(v))
                return 2;
            const size_t comma = v.find(',');
            long x = 0, y = 0;
            if (comma == std::string::npos || !ParseLong(v.substr(0, comma), 0, 10000, x) ||
                !ParseLong(v.substr(comma + 1), 0, 10000, y)) {
                std::fprintf(stderr, "kobpanel: --click %s: expected X,Y in pixels\n", v.c_str());
                return 2;
            }
            if (o.open.empty()) {
                std::fprintf(stderr,
                             "kobpanel: --click needs a window opened before it with --open\n");
                return 2;
            }
            o.clicks.push_back(
                {o.open.size() - 1, {static_cast<int32_t>(x), static_cast<int32_t>(y)}});
        } else if (a == "--export") {
            if (!value(v))
                return 2;
            o.exports.push_back(v);
        } else if (a == "--wait") {
            if (!value(v))
                return 2;
            if (!ParseLong(v, 0, 600000, o.waitMs)) {
                std::fprintf(stderr, "kobpanel: --wait %s: expected milliseconds 0-600000\n",
                             v.c_str());
                return 2;
            }
        } else {
            std::fprintf(stderr, "kobpanel: unknown option %s (--help lists them)\n", a.c_str());
            return 2;
        }
    }
    if (o.usb + !o.port.empty() + !o.device.empty() > 1) {
        std::fprintf(stderr, "kobpanel: --port, --device and --usb name one line each; give one\n");
        return 2;
    }
    return 0;
}

std::u16string Wide(const std::string& s) {
    return std::u16string(s.begin(), s.end()); // paths and names here are ASCII or UTF-8 bytes
}

std::unique_ptr<CStreamIO> MakeLine(const Options& o) {
    if (o.usb)
        return std::make_unique<CKobUsb>();
    const std::string target = !o.device.empty() ? o.device : o.port;
    platform::SetSerialOpener([target](const std::string& name) {
        return platform::OpenSystemSerialPort(target.empty() ? name : target);
    });
    return std::make_unique<CStreamCOM>();
}

bool ReadFile(const std::filesystem::path& path, std::vector<uint8_t>& out) {
    std::ifstream f(path, std::ios::binary);
    if (!f)
        return false;
    out.assign(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
    return !f.bad();
}

bool WriteFile(const std::filesystem::path& path, const std::vector<uint8_t>& data) {
    std::filesystem::path tmp = path;
    tmp += ".tmp";
    {
        std::ofstream f(tmp, std::ios::binary | std::ios::trunc);
        if (!f)
            return false;
        f.write(reinterpret_cast<const char*>(data.data()),
                static_cast<std::streamsize>(data.size()));
        if (!f.flush()) {
            f.close();
            std::error_code ec;
            std::filesystem::remove(tmp, ec);
            return false;
        }
    }
    // The old workspace stays whole until the new one is complete.
    std::error_code ec;
    std::filesystem::rename(tmp, path, ec);
    return !ec;
}

// Loads a workspace, replacing the open windows; false (told on standard
// error) when the file cannot be read or is no workspace.
bool LoadWorkspace(CKobface& face, const std::filesystem::path& path) {
    std::vector<uint8_t> bytes;
    if (!ReadFile(path, bytes)) {
        std::fprintf(stderr, "kobpanel: %s cannot be read\n", path.string().c_str());
        return false;
    }
    try {
        CArchive ar(bytes.data(), bytes.size());
        face.SerializeWorkspace(ar);
    } catch (const CException&) {
        std::fprintf(stderr, "kobpanel: %s is not a workspace this program can load\n",
                     path.string().c_str());
        face.CloseAllWindows();
        return false;
    }
    return true;
}

bool SaveWorkspace(CKobface& face, const std::filesystem::path& path) {
    std::vector<uint8_t> bytes;
    CArchive ar(bytes);
    face.SerializeWorkspace(ar);
    if (!WriteFile(path, bytes)) {
        std::fprintf(stderr, "kobpanel: %s cannot be written\n", path.string().c_str());
        return false;
    }
    return true;
}

const char* TypeName(uint32_t type) {
    const WindowTypeName* t = FindWindowType(type);
    return t ? t->name : "";
}

// The menu's choices, carried out as the command line's.
class PanelMenu : public platform::MenuHandler {
public:
    explicit PanelMenu(CKobface& face) : m_face(face) {}
    static std::vector<platform::MenuWindowType> Types() {
        std::vector<platform::MenuWindowType> types;
        for (const WindowTypeName& t : kWindowTypes)
            types.push_back({kWindowCommandFirst + t.type, Widen(t.name)});
        return types;
    }
    void OnOpenWindow(uint32_t commandId) override {
        // Routed as the host's menu commands are; an open window is raised.
        m_face.OnCommand(commandId);
    }
    bool OnLoadWorkspace(const std::u16string& path) override {
        return LoadWorkspace(m_face, std::filesystem::path(path));
    }
    bool OnSaveWorkspace(const std::u16string& path) override {
        return SaveWorkspace(m_face, std::filesystem::path(path));
    }
    std::vector<std::u16string> OpenWindowNames() override {
        std::vector<std::u16string> names;
        for (CBaseVI* w : m_face.OpenWindows())
            names.push_back(Widen(std::to_string(w->m_nType) + "  " + TypeName(w->m_nType)));
        return names;
    }

private:
    CKobface& m_face;
};

// Keeps the windows' thread answering for ms (the worker's notifications
// arrive through it).
void PumpFor(uint32_t ms) {
    const uint32_t start = platform::TickCount();
    while (platform::TickCount() - start < ms) {
        platform::PumpMessages();
        platform::SleepMs(5);
    }
}

std::string PictureName(const std::string& png, uint32_t type, bool several) {
    if (!several)
        return png;
    const size_t dot = png.rfind('.');
    const size_t slash = png.find_last_of("/\\");
    const std::string stem = dot == std::string::npos || (slash != std::string::npos && dot < slash)
                                 ? png
                                 : png.substr(0, dot);
    const std::string ext = stem.size() == png.size() ? ".png" : png.substr(stem.size());
    return stem + "-" + std::to_string(type) + ext;
}

} // namespace

int main(int argc, char** argv) {
    Options o;
    if (const int r = Parse(argc, argv, o))
        return r == 1 ? 0 : 2;
    const bool headless = !o.png.empty() || platform::OffscreenWindows();
    if (!o.png.empty())
        platform::UseOffscreenWindows(true);

    if (!(o.resources.empty() ? platform::UseDefaultResourceModule()
                              : platform::SetResourceModule(Wide(o.resources)))) {
        std::fprintf(stderr, "kobpanel: the panel resources (KobPanels) cannot be found%s%s\n",
                     o.resources.empty() ? "" : " in ", o.resources.c_str());
        return 1;
    }

    CKobface face;
    face.SetStream(MakeLine(o).release());
    if (!face.m_pStream->Open()) {
        std::fprintf(stderr, "kobpanel: the line to the box cannot be opened\n");
        return 1;
    }
    try {
        if (!face.Identify()) {
            std::fprintf(stderr, "kobpanel: no KOBALTIX Interface answered\n");
            return 1;
        }
        face.CreateAllDevices();
    } catch (const CException& e) {
        e.ReportError();
        return 1;
    }

    int status = 0;
    if (!o.load.empty() && !LoadWorkspace(face, o.load))
        return 1;

    std::vector<CBaseVI*> opened;
    for (uint32_t type : o.open) {
        CBaseVI* w = nullptr;
        if (!face.OnCommand(10000 + type) || !(w = face.FindWindowOfType(type))) {
            std::fprintf(stderr, "kobpanel: the window of type %u did not open\n", type);
            status = 1;
        }
        opened.push_back(w);
    }
    PumpFor(50);
    for (const Options::Click& c : o.clicks) {
        CBaseVI* w = opened[c.window];
        if (w && w->IsWindow()) {
            w->Wnd()->InjectClick(c.at, 30);
            PumpFor(100);
        }
    }

    if (headless) {
        PumpFor(static_cast<uint32_t>(o.waitMs));
        if (!o.save.empty() && !SaveWorkspace(face, o.save))
            status = 1;
        auto* scope = dynamic_cast<CScopeVI*>(face.FindWindowOfType(51));
        for (const std::string& file : o.exports) {
            if (!scope || !scope->ExportRecord(Wide(file))) {
                std::fprintf(stderr, "kobpanel: %s: %s\n", file.c_str(),
                             scope ? "the record cannot be written"
                                   : "no oscilloscope window is open");
                status = 1;
            } else {
                std::printf("%s: the oscilloscope's record\n", file.c_str());
            }
        }
        if (!o.png.empty()) {
            const std::vector<CBaseVI*> windows = face.OpenWindows();
            for (CBaseVI* w : windows) {
                const std::string name = PictureName(o.png, w->m_nType, windows.size() > 1);
                if (!platform::WritePng(w->Wnd()->Snapshot(), Wide(name))) {
                    std::fprintf(stderr, "kobpanel: %s cannot be written\n", name.c_str());
                    status = 1;
                } else {
                    std::printf("%s: window %u \"%s\"\n", name.c_str(), w->m_nType,
                                TypeName(w->m_nType));
                }
            }
            if (windows.empty()) {
                std::fprintf(stderr, "kobpanel: no window is open, no picture written\n");
                status = 1;
            }
        }
    } else {
        if (platform::MenuAvailable()) {
            PanelMenu menu(face);
            platform::RunMenu(u"kobpanel: instrument windows", PanelMenu::Types(), menu);
        } else {
            platform::RunMessageLoop();
        }
        if (!o.save.empty() && !SaveWorkspace(face, o.save))
            status = 1;
    }
    face.CloseAllWindows();
    face.ForceStopWorker();
    return status;
}
