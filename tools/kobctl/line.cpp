#include "tools/kobctl/line.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>

#include "platform/profile/profile.h"
#include "platform/serial/serial.h"
#include "platform/usb/usb.h"

namespace {

using Clock = std::chrono::steady_clock;
const Clock::time_point g_start = Clock::now();

// Bytes of one direction are gathered into one line until the direction
// changes, so a reply reads as one line.
struct TraceState {
    const char* direction = nullptr;
    double startMs = 0;
    std::string hex;
} g_trace;

double NowMs() {
    return std::chrono::duration<double, std::milli>(Clock::now() - g_start).count();
}

void FlushTrace() {
    if (g_trace.direction && !g_trace.hex.empty()) {
        std::printf("    %9.3f ms %s%s\n", g_trace.startMs, g_trace.direction, g_trace.hex.c_str());
        std::fflush(stdout);
    }
    g_trace.hex.clear();
    g_trace.direction = nullptr;
}

void TraceBytes(const char* direction, const uint8_t* data, size_t count) {
    if (count == 0) {
        return;
    }
    if (g_trace.direction != direction || g_trace.hex.size() >= 3 * 32) {
        FlushTrace();
        g_trace.direction = direction;
        g_trace.startMs = NowMs();
    }
    char buf[4];
    for (size_t i = 0; i < count; ++i) {
        std::snprintf(buf, sizeof buf, " %02X", data[i]);
        g_trace.hex += buf;
    }
    if (direction[0] == '-') {
        FlushTrace(); // what the host sends is one write
    }
}

const char kSent[] = "host -> box:";
const char kReceived[] = "box -> host:";

class TraceSerialPort : public platform::SerialPort {
public:
    explicit TraceSerialPort(std::unique_ptr<platform::SerialPort> inner)
        : m_inner(std::move(inner)) {}
    ~TraceSerialPort() override { FlushTrace(); }
    bool Configure(uint32_t in, uint32_t out) override { return m_inner->Configure(in, out); }
    long Read(void* buffer, size_t count) override {
        long n = m_inner->Read(buffer, count);
        if (n > 0) {
            TraceBytes(kReceived, static_cast<const uint8_t*>(buffer), static_cast<size_t>(n));
        }
        if (n >= 0 && static_cast<size_t>(n) < count) {
            FlushTrace();
            std::printf("    (time-out: %ld of %zu bytes arrived)\n", n, count);
        }
        return n;
    }
    bool Write(const void* buffer, size_t count) override {
        TraceBytes(kSent, static_cast<const uint8_t*>(buffer), count);
        return m_inner->Write(buffer, count);
    }
    void Purge() override { m_inner->Purge(); }
    uint32_t InQueue() override { return m_inner->InQueue(); }

private:
    std::unique_ptr<platform::SerialPort> m_inner;
};

class TraceUsbPipes : public platform::UsbPipes {
public:
    explicit TraceUsbPipes(std::unique_ptr<platform::UsbPipes> inner) : m_inner(std::move(inner)) {}
    ~TraceUsbPipes() override { FlushTrace(); }
    long ReadPacket(uint8_t* packet) override {
        long n = m_inner->ReadPacket(packet);
        if (n > 0) {
            TraceBytes(kReceived, packet, static_cast<size_t>(n));
        }
        return n;
    }
    long Write(const uint8_t* data, size_t count) override {
        TraceBytes(kSent, data, count);
        return m_inner->Write(data, count);
    }

private:
    std::unique_ptr<platform::UsbPipes> m_inner;
};

} // namespace

void FlushLineTrace() {
    FlushTrace();
}

bool ParseLineOptions(Args& args, LineOptions& o) {
    Args rest;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--") {
            // What follows is the command's own, whatever it looks like.
            rest.insert(rest.end(), args.begin() + static_cast<long>(i), args.end());
            break;
        }
        if (a == "--trace") {
            o.trace = true;
        } else if (a == "--usb") {
            o.usb = true;
        } else if (a == "--save-port") {
            o.savePort = true;
        } else if (a == "--port" || a == "--device") {
            // An empty path would quietly stand for the stored line.
            if (i + 1 >= args.size() || args[i + 1].empty()) {
                std::fprintf(stderr, "kobctl: %s needs a value\n", a.c_str());
                return false;
            }
            (a == "--port" ? o.port : o.device) = args[++i];
        } else {
            rest.push_back(a);
        }
    }
    if (!o.port.empty()) {
        bool ok = o.port.size() >= 4 && o.port.compare(0, 3, "COM") == 0 &&
                  o.port.find_first_not_of("0123456789", 3) == std::string::npos;
        if (!ok) {
            std::fprintf(stderr, "kobctl: --port takes a name such as COM1\n");
            return false;
        }
    }
    if ((o.usb ? 1 : 0) + (o.port.empty() ? 0 : 1) + (o.device.empty() ? 0 : 1) > 1) {
        std::fprintf(stderr, "kobctl: choose one of --port, --device and --usb\n");
        return false;
    }
    args = rest;
    return true;
}

std::unique_ptr<CStreamIO> MakeStream(const LineOptions& o) {
    bool usb = o.usb || (o.port.empty() && o.device.empty() &&
                         platform::ProfileGetInt("Settings", "Port", 1) == 5);
    if (usb) {
        if (o.trace) {
            platform::SetUsbOpener([](const platform::UsbIdentity& id) {
                auto p = platform::OpenSystemUsbPipes(id);
                return p ? std::unique_ptr<platform::UsbPipes>(new TraceUsbPipes(std::move(p)))
                         : nullptr;
            });
        }
        return std::make_unique<CKobUsb>();
    }
    // The serial stream asks for the profile's port; the options decide
    // which device that really is.
    std::string target = !o.device.empty() ? o.device : o.port;
    bool trace = o.trace;
    platform::SetSerialOpener([target, trace](const std::string& name) {
        auto p = platform::OpenSystemSerialPort(target.empty() ? name : target);
        if (p && trace) {
            return std::unique_ptr<platform::SerialPort>(new TraceSerialPort(std::move(p)));
        }
        return p;
    });
    return std::make_unique<CStreamCOM>();
}

std::string DescribeLine(const LineOptions& o) {
    if (o.usb) {
        return "the USB interface";
    }
    if (!o.device.empty()) {
        return "serial device " + o.device + " (9600 baud, 8N2)";
    }
    std::string port = !o.port.empty()
                           ? o.port
                           : "COM" + std::to_string(platform::ProfileGetInt("Settings", "Port", 1));
    if (port == "COM5") {
        return "the USB interface";
    }
    return "serial port " + port + " = " + platform::SerialDevicePath(port) + " (9600 baud, 8N2)";
}

namespace {

void StoreLine(const LineOptions& line) {
    if (line.usb) {
        platform::ProfileWriteInt("Settings", "Port", 5);
    } else if (!line.port.empty()) {
        platform::ProfileWriteInt("Settings", "Port", std::atoi(line.port.c_str() + 3));
    } else if (!line.device.empty()) {
        platform::ProfileWriteInt("Settings", "Port", 1);
        platform::ProfileWriteString("Ports", "COM1", line.device);
    }
}

// The profile of this run alone, removed when kobctl ends.
struct RunProfile {
    std::string path;
    ~RunProfile() {
        if (!path.empty()) {
            std::remove(path.c_str());
        }
    }
} g_runProfile;

} // namespace

bool ChooseLineInProfile(const LineOptions& line) {
    if (!line.usb && line.port.empty() && line.device.empty()) {
        return true; // the stored line, as for any client
    }
    if (line.savePort) {
        StoreLine(line);
    }
    if (g_runProfile.path.empty()) {
        // A copy of the user's settings, so that two runs at once cannot
        // take each other's line and the user's own file stays as it was.
        std::ifstream in(platform::ProfilePath(), std::ios::binary);
        std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        std::string name = platform::TempDirectory() + "kobctl-XXXXXX";
        int fd = mkstemp(name.data());
        if (fd < 0) {
            std::fprintf(stderr, "kobctl: no private profile can be made in %s\n",
                         platform::TempDirectory().c_str());
            return false;
        }
        g_runProfile.path = name;
        bool written = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
        close(fd);
        if (!written) {
            std::fprintf(stderr, "kobctl: the private profile %s cannot be written\n",
                         name.c_str());
            return false;
        }
        // The module reads its profile from there as well.
        setenv("KOBLABVIEW_INI", name.c_str(), 1);
        platform::SetProfilePath(name);
    }
    StoreLine(line);
    return true;
}

std::string LineFailure(const LineOptions& line, bool notOpened) {
    std::string text = notOpened ? DescribeLine(line) +
                                       " cannot be opened: it does not exist, is not a serial "
                                       "line, or another program uses it"
                                 : "no box answered on " + DescribeLine(line);
    return "kobctl: " + text;
}

bool TakeValue(const char* command, const Args& args, size_t& i, std::string& out) {
    if (i + 1 >= args.size()) {
        std::fprintf(stderr, "kobctl %s: %s needs a value\n", command, args[i].c_str());
        return false;
    }
    out = args[++i];
    return true;
}

bool UnknownOption(const char* command, const std::string& option) {
    std::fprintf(stderr, "kobctl %s: unknown option %s (kobctl %s --help lists them)\n", command,
                 option.c_str(), command);
    return false;
}

bool TakeNumber(const char* command, const Args& args, size_t& i, long lo, long hi, long& out) {
    char* end = nullptr;
    const bool given = i + 1 < args.size() && !args[i + 1].empty();
    long v = given ? std::strtol(args[i + 1].c_str(), &end, 10) : 0;
    if (!given || *end || v < lo || v > hi) {
        std::fprintf(stderr, "kobctl %s: %s takes a number from %ld to %ld\n", command,
                     args[i].c_str(), lo, hi);
        return false;
    }
    out = v;
    ++i;
    return true;
}
