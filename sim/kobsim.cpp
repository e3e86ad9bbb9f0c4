// kobsim: the box simulator on a pseudo-terminal. Prints the slave path on
// its first line, then serves until killed.
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <poll.h>
#include <string>
#include <termios.h>
#include <thread>
#include <unistd.h>

#include "sim/analog.h"
#include "sim/box.h"
#include "sim/digital.h"
#include "sim/handheld.h"

namespace {

volatile std::sig_atomic_t g_stop = 0;
void OnSignal(int) {
    g_stop = 1;
}

using Clock = std::chrono::steady_clock;
const Clock::time_point g_start = Clock::now();
bool g_trace = false;

void Trace(const char* direction, const kobsim::Bytes& bytes) {
    if (!g_trace || bytes.empty()) {
        return;
    }
    double ms = std::chrono::duration<double, std::milli>(Clock::now() - g_start).count();
    std::fprintf(stderr, "%10.3f ms %s %s\n", ms, direction, kobsim::Hex(bytes).c_str());
}

void Usage(FILE* out) {
    std::fputs("usage: kobsim [--model 1|2] [--old-box] [--version N] [--identity TEXT]\n"
               "              [--fault CMD:KIND[:ARG][xCOUNT]]... [--trace] [--line-rate]\n"
               "              [--log FILE] [--once] [--fast]\n"
               "              [--signal-a SIGNAL] [--signal-b SIGNAL] [--dig-inputs INPUTS]\n"
               "              [--handheld FAMILY] [--handheld-reading READING]\n"
               "  --version N: firmware version in the identity (0-65535)\n"
               "  --fault: CMD is a command byte (list below); xCOUNT limits it to COUNT times\n"
               "  fault kinds: no-reply, short:N (bytes kept), wrong-ack[:BYTE], garbage[:N]\n"
               "               (bytes added), delay:MS (milliseconds), hangup\n"
               "  signals: KIND:HZ:VOLTS[:OFFSET] or dc:VOLTS, KIND sine, square, triangle, dc\n"
               "           (hertz and volts; defaults: A sine:1000:2, B sine:50:5)\n"
               "  --line-rate: replies paced at 9600 baud; --once: end after the closing command\n"
               "  --fast: scope records, meter buffers and analyser records are ready at once\n"
               "  --dig-inputs loop|count|WORD: the digital inputs (default: the outputs)\n"
               "  --handheld 1|2|3 [--handheld-reading MODE:RANGE:VALUE[:over]]: the hand-held\n"
               "      meter's family and reading (none: \"no reading\")\n",
               out);
    // The commands of both box models, so that --fault can name them.
    for (int model : {1, 2}) {
        kobsim::BoxConfig config;
        config.model = model;
        std::fprintf(out, "commands of model %d (%s):\n", model,
                     model == 2 ? "KX7710-3B2" : "KX7710-3B");
        for (const auto& [code, name] : kobsim::Box(config).KnownCommands()) {
            std::fprintf(out, "  0x%02x %s\n", code, name.c_str());
        }
    }
}

bool WriteAll(int fd, const uint8_t* data, size_t count, bool lineRate) {
    // 9600 baud with 11 bits a byte: 872.7 bytes per second.
    // Paced against a schedule, so that late wake-ups do not add up.
    const auto perByte = std::chrono::microseconds(1146);
    auto next = std::chrono::steady_clock::now();
    for (size_t done = 0; done < count;) {
        if (g_stop) {
            return true; // told to end: the rest of the reply is not sent
        }
        size_t chunk = lineRate ? 1 : count - done;
        ssize_t n = write(fd, data + done, chunk);
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN) {
                pollfd p{fd, POLLOUT, 0};
                poll(&p, 1, 100);
                continue;
            }
            return false;
        }
        done += static_cast<size_t>(n);
        if (lineRate) {
            next += perByte * n;
            std::this_thread::sleep_until(next);
        }
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    kobsim::BoxConfig config;
    std::vector<std::pair<uint8_t, kobsim::Fault>> faults;
    bool lineRate = false;
    bool once = false;
    std::string logPath;
    std::vector<std::pair<char, kobsim::Signal>> signals;
    kobsim::DigInputs digInputs;
    int handheldFamily = 1;
    std::optional<kobsim::HandheldReading> reading;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        auto value = [&](const char* what) -> std::string {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "kobsim: %s needs a value\n", what);
                std::exit(2);
            }
            return argv[++i];
        };
        if (a == "--model") {
            std::string v = value("--model");
            if (v != "1" && v != "2") {
                std::fprintf(stderr, "kobsim: --model is 1 or 2\n");
                return 2;
            }
            config.model = v[0] - '0';
        } else if (a == "--old-box") {
            config.oldBox = true;
        } else if (a == "--version") {
            std::string v = value("--version");
            char* end = nullptr;
            long n = std::strtol(v.c_str(), &end, 10);
            if (v.empty() || *end || n < 0 || n > 65535) {
                std::fprintf(stderr, "kobsim: --version takes a number from 0 to 65535\n");
                return 2;
            }
            config.version = static_cast<int>(n);
        } else if (a == "--identity") {
            config.identity = value("--identity");
        } else if (a == "--fault") {
            uint8_t cmd = 0;
            kobsim::Fault f;
            std::string error;
            if (!kobsim::ParseFault(value("--fault"), cmd, f, error)) {
                std::fprintf(stderr, "kobsim: --fault: %s\n", error.c_str());
                return 2;
            }
            faults.push_back({cmd, f});
        } else if (a == "--trace") {
            g_trace = true;
        } else if (a == "--line-rate") {
            lineRate = true;
        } else if (a == "--log") {
            logPath = value("--log");
        } else if (a == "--once") {
            once = true;
        } else if (a == "--fast") {
            config.fast = true;
        } else if (a == "--signal-a" || a == "--signal-b") {
            kobsim::Signal signal;
            std::string error;
            if (!kobsim::ParseSignal(value(a.c_str()), signal, error)) {
                std::fprintf(stderr, "kobsim: %s: %s\n", a.c_str(), error.c_str());
                return 2;
            }
            signals.push_back({a == "--signal-a" ? 'A' : 'B', signal});
        } else if (a == "--help" || a == "-h") {
            Usage(stdout);
            return 0;
        } else if (a == "--dig-inputs") {
            std::string error;
            if (!kobsim::ParseDigInputs(value("--dig-inputs"), digInputs, error)) {
                std::fprintf(stderr, "kobsim: --dig-inputs: %s\n", error.c_str());
                return 2;
            }
        } else if (a == "--handheld") {
            std::string v = value("--handheld");
            if (v != "1" && v != "2" && v != "3") {
                std::fprintf(stderr, "kobsim: --handheld is 1, 2 or 3\n");
                return 2;
            }
            handheldFamily = v[0] - '0';
        } else if (a == "--handheld-reading") {
            std::string error;
            kobsim::HandheldReading r;
            if (!kobsim::ParseHandheldReading(value("--handheld-reading"), r, error)) {
                std::fprintf(stderr, "kobsim: --handheld-reading: %s\n", error.c_str());
                return 2;
            }
            reading = r;
        } else {
            std::fprintf(stderr, "kobsim: unknown option %s (kobsim --help lists them)\n",
                         a.c_str());
            return 2;
        }
    }
    FILE* log = nullptr;
    if (!logPath.empty() && !(log = std::fopen(logPath.c_str(), "w"))) {
        std::fprintf(stderr, "kobsim: --log: %s cannot be written: %s\n", logPath.c_str(),
                     std::strerror(errno));
        return 2;
    }
    kobsim::Box box(config);
    for (const auto& [cmd, f] : faults) {
        box.AddFault(cmd, f);
    }
    for (const auto& [channel, signal] : signals) {
        box.AnalogInputs().SetSignal(channel, signal);
    }
    box.DigitalPort().SetInputs(digInputs);
    box.HandheldMeter().SetFamily(handheldFamily);
    box.HandheldMeter().SetReading(reading);

    int master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) {
        std::perror("kobsim: pseudo-terminal");
        return 1;
    }
    const char* slaveName = ptsname(master);
    // Held open so the line stays up between clients, and set raw so that
    // nothing is echoed before a client configures it.
    int slave = open(slaveName, O_RDWR | O_NOCTTY);
    if (slave < 0) {
        std::perror("kobsim: slave");
        return 1;
    }
    termios t{};
    tcgetattr(slave, &t);
    cfmakeraw(&t);
    tcsetattr(slave, TCSANOW, &t);
    std::printf("%s\n", slaveName);
    std::fflush(stdout);

    // Without SA_RESTART: a write blocked on a full line returns at once.
    struct sigaction stop {};
    stop.sa_handler = OnSignal;
    sigemptyset(&stop.sa_mask);
    sigaction(SIGTERM, &stop, nullptr);
    sigaction(SIGINT, &stop, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    size_t logged = 0;
    int rc = 0;
    bool sawClient = false;
    while (!g_stop) {
        pollfd p{master, POLLIN, 0};
        int r = poll(&p, 1, 200);
        if (r < 0 && errno != EINTR) {
            break;
        }
        if (r > 0 && (p.revents & POLLIN)) {
            uint8_t buf[4096];
            ssize_t n = read(master, buf, sizeof buf);
            if (n <= 0) {
                continue;
            }
            sawClient = true;
            Trace("host -> box", kobsim::Bytes(buf, buf + n));
            kobsim::Output out = box.Feed(buf, static_cast<size_t>(n));
            // A late reply is waited for in slices, so that SIGTERM ends it.
            const auto due = Clock::now() + std::chrono::milliseconds(out.delayMs);
            while (!g_stop && Clock::now() < due) {
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
            Trace("box -> host", out.bytes);
            if (!WriteAll(master, out.bytes.data(), out.bytes.size(), lineRate)) {
                rc = 1;
                break;
            }
            auto lines = box.Log();
            for (; logged < lines.size(); ++logged) {
                if (log) {
                    std::fprintf(log, "%s\n", lines[logged].c_str());
                    std::fflush(log);
                }
            }
            if (out.hangUp) {
                break; // dropping the line: the pseudo-terminal goes away
            }
            if (once && box.Closed()) {
                break;
            }
        }
    }
    (void)sawClient;
    if (log) {
        std::fclose(log);
    }
    close(slave);
    close(master);
    return rc;
}
