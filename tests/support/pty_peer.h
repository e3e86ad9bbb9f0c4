// The far end of a pseudo-terminal, for serial tests on POSIX: the test
// plays the box on the master side. SerialRig makes it COM3 of a profile of
// the test's own.
#pragma once

#include <chrono>
#include <cstdint>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <string>
#include <termios.h>
#include <unistd.h>
#include <vector>

#include "support/temp_profile.h"

class PtyPeer {
public:
    PtyPeer() {
        int slave = -1;
        char name[256] = {};
        if (openpty(&m_master, &slave, name, nullptr, nullptr) == 0) {
            termios t{};
            tcgetattr(slave, &t);
            cfmakeraw(&t);
            tcsetattr(slave, TCSANOW, &t);
            m_slave = slave; // held so the line stays up between opens
            m_strPath = name;
        }
    }
    ~PtyPeer() { HangUp(); }
    PtyPeer(const PtyPeer&) = delete;
    PtyPeer& operator=(const PtyPeer&) = delete;

    const std::string& Path() const { return m_strPath; }
    int MasterFd() const { return m_master; }
    int SlaveFd() const { return m_slave; }

    void Send(const std::vector<uint8_t>& bytes) {
        if (!bytes.empty()) {
            (void)!write(m_master, bytes.data(), bytes.size());
        }
    }
    // What the host sent, waiting up to waitMs for the first byte.
    std::vector<uint8_t> Receive(size_t max, int waitMs = 1000) {
        std::vector<uint8_t> out;
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
        while (out.size() < max) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                            deadline - std::chrono::steady_clock::now())
                            .count();
            pollfd p{m_master, POLLIN, 0};
            if (left <= 0 || poll(&p, 1, static_cast<int>(left)) <= 0 || !(p.revents & POLLIN)) {
                break;
            }
            uint8_t buf[256];
            ssize_t n = read(m_master, buf, std::min(sizeof buf, max - out.size()));
            if (n <= 0) {
                break;
            }
            out.insert(out.end(), buf, buf + n);
        }
        return out;
    }
    // Drops the line: the host's side sees a hang-up.
    void HangUp() {
        if (m_slave >= 0) {
            close(m_slave);
            m_slave = -1;
        }
        if (m_master >= 0) {
            close(m_master);
            m_master = -1;
        }
    }

private:
    int m_master = -1;
    int m_slave = -1;
    std::string m_strPath;
};

struct SerialRig {
    SerialRig() {
        profile.Set("Settings", "Port", "3");
        profile.Set("Ports", "COM3", peer.Path());
    }
    TempProfile profile;
    PtyPeer peer;
};
