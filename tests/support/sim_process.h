// The simulator program on a pseudo-terminal, started for one test and
// stopped with it (POSIX).
#pragma once

#include <chrono>
#include <csignal>
#include <poll.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

class SimProcess {
public:
    explicit SimProcess(const std::vector<std::string>& args) {
        int out[2];
        if (pipe(out) != 0) {
            return;
        }
        m_pid = fork();
        if (m_pid == 0) {
            dup2(out[1], 1);
            close(out[0]);
            close(out[1]);
            std::vector<char*> argv;
            static std::string program = KOBSIM_PATH;
            argv.push_back(program.data());
            std::vector<std::string> copy = args;
            for (auto& a : copy) {
                argv.push_back(a.data());
            }
            argv.push_back(nullptr);
            execv(program.c_str(), argv.data());
            _exit(127);
        }
        close(out[1]);
        m_fd = out[0];
        // The first line names the slave side.
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        char c;
        while (std::chrono::steady_clock::now() < deadline) {
            pollfd p{m_fd, POLLIN, 0};
            if (poll(&p, 1, 100) <= 0) {
                continue;
            }
            if (read(m_fd, &c, 1) != 1 || c == '\n') {
                break;
            }
            m_strPath += c;
        }
    }
    ~SimProcess() {
        if (m_pid > 0) {
            kill(m_pid, SIGTERM);
            waitpid(m_pid, nullptr, 0);
        }
        if (m_fd >= 0) {
            close(m_fd);
        }
    }
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    const std::string& Path() const { return m_strPath; }

private:
    pid_t m_pid = -1;
    int m_fd = -1;
    std::string m_strPath;
};
