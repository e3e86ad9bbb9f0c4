// termios backend: raw 9600 8N2 without flow control, read time-outs as the
// Windows comm settings the box was built for.
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include "platform/profile/profile.h"
#include "platform/serial/serial.h"

namespace platform {

namespace {

constexpr int kIntervalMs = 50;    // between two bytes
constexpr int kPerByteMs = 50;     // total, per byte requested
constexpr int kConstantMs = 1000;  // total, on top
constexpr int kWritePerByteMs = 5; // write time-outs
constexpr int kWriteConstantMs = 1000;

int64_t NowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

class PosixSerialPort : public SerialPort {
public:
    explicit PosixSerialPort(int fd) : m_fd(fd) {}
    ~PosixSerialPort() override {
        // Exclusive use ends with us, or the next user of the line is locked
        // out while the far end stays open.
        ioctl(m_fd, TIOCNXCL);
        close(m_fd);
    }

    bool Configure(uint32_t, uint32_t) override {
        termios t{};
        if (tcgetattr(m_fd, &t) != 0) {
            return false;
        }
        cfmakeraw(&t);
        t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CRTSCTS);
        t.c_cflag |= CS8 | CSTOPB | CLOCAL | CREAD;
        t.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
        t.c_cc[VMIN] = 0;
        t.c_cc[VTIME] = 0;
        cfsetispeed(&t, B9600);
        cfsetospeed(&t, B9600);
        tcsetattr(m_fd, TCSANOW, &t); // as on Windows, the outcome is not checked
        return true;
    }

    long Read(void* buffer, size_t count) override {
        auto* out = static_cast<uint8_t*>(buffer);
        size_t got = 0;
        const int64_t deadline = NowMs() + kPerByteMs * static_cast<int64_t>(count) + kConstantMs;
        while (got < count) {
            int64_t now = NowMs();
            int64_t wait = deadline - now;
            if (got > 0 && wait > kIntervalMs) {
                wait = kIntervalMs;
            }
            if (wait <= 0) {
                break;
            }
            pollfd p{m_fd, POLLIN, 0};
            int r = poll(&p, 1, static_cast<int>(wait));
            if (r < 0) {
                if (errno == EINTR) {
                    continue;
                }
                return -1;
            }
            if (r == 0) {
                if (got > 0) {
                    break; // the gap between two bytes ran out
                }
                continue;
            }
            if (p.revents & POLLIN) {
                ssize_t n = read(m_fd, out + got, count - got);
                if (n > 0) {
                    got += static_cast<size_t>(n);
                    continue;
                }
                if (n < 0 && (errno == EINTR || errno == EAGAIN)) {
                    continue;
                }
                return -1; // end of file: the other side hung up
            }
            if (p.revents & (POLLHUP | POLLERR | POLLNVAL)) {
                return -1;
            }
        }
        return static_cast<long>(got);
    }

    bool Write(const void* buffer, size_t count) override {
        const auto* in = static_cast<const uint8_t*>(buffer);
        size_t done = 0;
        const int64_t deadline =
            NowMs() + kWritePerByteMs * static_cast<int64_t>(count) + kWriteConstantMs;
        while (done < count) {
            ssize_t n = write(m_fd, in + done, count - done);
            if (n > 0) {
                done += static_cast<size_t>(n);
                continue;
            }
            if (n < 0 && errno != EAGAIN && errno != EINTR) {
                return false;
            }
            int64_t wait = deadline - NowMs();
            if (wait <= 0) {
                return false;
            }
            pollfd p{m_fd, POLLOUT, 0};
            if (poll(&p, 1, static_cast<int>(wait)) < 0 && errno != EINTR) {
                return false;
            }
            if (p.revents & (POLLHUP | POLLERR | POLLNVAL)) {
                return false;
            }
        }
        return true;
    }

    void Purge() override { tcflush(m_fd, TCIOFLUSH); }

    uint32_t InQueue() override {
        int n = 0;
        if (ioctl(m_fd, FIONREAD, &n) != 0 || n < 0) {
            return 0;
        }
        return static_cast<uint32_t>(n);
    }

private:
    int m_fd;
};

// Only a terminal is a line: a regular file, a pipe or a disk opened by
// mistake must never receive a byte.
bool IsTerminal(int fd) {
    struct stat st {};
    termios t{};
    return fstat(fd, &st) == 0 && S_ISCHR(st.st_mode) && tcgetattr(fd, &t) == 0;
}

int OpenDevice(const std::string& name) {
    std::string path = SerialDevicePath(name);
    if (path.empty()) {
        return -1;
    }
    int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd >= 0 && !IsTerminal(fd)) {
        close(fd);
        return -1;
    }
    return fd;
}

} // namespace

std::string SerialDevicePath(const std::string& name) {
    if (!name.empty() && name[0] == '/') {
        return name;
    }
    if (name.size() < 4 || name.size() > 6 || name.compare(0, 3, "COM") != 0 ||
        name.find_first_not_of("0123456789", 3) != std::string::npos) {
        return {};
    }
    int n = std::stoi(name.substr(3));
    if (n < 1) {
        return {};
    }
    return ProfileGetString("Ports", name, "/dev/ttyS" + std::to_string(n - 1));
}

std::unique_ptr<SerialPort> OpenSystemSerialPort(const std::string& name) {
    int fd = OpenDevice(name);
    if (fd < 0) {
        return nullptr;
    }
    // Exclusive, as a Windows port opened without sharing.
    if (ioctl(fd, TIOCEXCL) != 0) {
        close(fd);
        return nullptr;
    }
    return std::make_unique<PosixSerialPort>(fd);
}

bool ProbeSerialPort(const std::string& name) {
    int fd = OpenDevice(name);
    if (fd < 0) {
        return false;
    }
    close(fd);
    return true;
}

} // namespace platform
