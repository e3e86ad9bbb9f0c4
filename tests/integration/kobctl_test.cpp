// kobctl and kobsim as a user meets them: what they refuse, what they print
// for scripts, and that a run touches neither another run's box nor the
// user's own files.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <sstream>
#include <thread>

#include "support/sim_process.h"
#include "support/temp_profile.h"

namespace {

std::string Contents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

struct Result {
    int rc;
    std::string out;
    std::string err;
};

// Runs "kobctl ARGS" (or another program) through the shell, without a
// terminal, with the user profile at `profile`.
class Shell {
public:
    Shell() : m_base(m_profile.Path()) {
        std::ofstream(m_profile.Path()) << "[Settings]\nPort=2\n";
    }
    ~Shell() {
        for (int i = 0; i < m_nFiles; ++i) {
            std::remove(File(i).c_str());
        }
    }
    const std::string& Profile() const { return m_profile.Path(); }
    // One command line per entry, all running at once.
    std::vector<Result> RunTogether(const std::vector<std::string>& commands) {
        std::string line;
        std::vector<int> files;
        for (const std::string& c : commands) {
            int n = m_nFiles;
            m_nFiles += 2;
            line += "KOBLABVIEW_INI='" + Profile() + "' " + c + " >'" + File(n) + "' 2>'" +
                    File(n + 1) + "' </dev/null; echo $? >'" + File(n) + ".rc' & ";
            files.push_back(n);
        }
        line += "wait";
        EXPECT_EQ(std::system(line.c_str()), 0);
        std::vector<Result> results;
        for (int n : files) {
            results.push_back({std::atoi(Contents(File(n) + ".rc").c_str()), Contents(File(n)),
                               Contents(File(n + 1))});
            std::remove((File(n) + ".rc").c_str());
        }
        return results;
    }
    Result Kobctl(const std::string& args) {
        return RunTogether({std::string(KOBCTL_PATH) + " " + args})[0];
    }

private:
    std::string File(int n) const { return m_base + "." + std::to_string(n); }
    TempProfile m_profile{"kobctl-user"};
    std::string m_base;
    int m_nFiles = 0;
};

std::vector<double> Numbers(const std::string& text, const std::string& after) {
    std::vector<double> out;
    size_t at = text.find(after);
    if (at == std::string::npos) {
        return out;
    }
    const char* p = text.c_str() + at + after.size();
    for (char* end = nullptr;; p = end + 1) {
        out.push_back(std::strtod(p, &end));
        if (*end != ',') {
            break;
        }
    }
    return out;
}

} // namespace

TEST(Kobctl, WhatIsNoSerialLineIsLeftUntouchedWithOneMessage) {
    Shell shell;
    const std::string file = shell.Profile() + ".line";
    std::ofstream(file, std::ios::binary) << "vm\n";
    std::vector<std::string> errors;
    for (const char* command : {"identify", "identify --com", "scope", "meter"}) {
        Result r = shell.Kobctl(std::string(command) + " --device " + file);
        EXPECT_EQ(r.rc, 1) << command;
        errors.push_back(r.err);
    }
    EXPECT_EQ(Contents(file), "vm\n");
    EXPECT_NE(errors[0].find(file), std::string::npos);
    EXPECT_NE(errors[0].find("cannot be opened"), std::string::npos);
    EXPECT_EQ(errors[0].find('\n'), errors[0].size() - 1);
    for (const std::string& e : errors) {
        EXPECT_EQ(e, errors[0]);
    }
    std::remove(file.c_str());
}

TEST(Kobctl, ConcurrentRunsEachReportTheirOwnBoxAndLeaveTheProfile) {
    SimProcess one({"--model", "1"});
    SimProcess two({"--model", "2"});
    Shell shell;
    const std::string before = Contents(shell.Profile());
    const std::string run = KOBCTL_PATH " identify --com --json --device ";
    for (int pair = 0; pair < 10; ++pair) {
        auto r = shell.RunTogether({run + one.Path(), run + two.Path()});
        EXPECT_NE(r[0].out.find("\"model\":\"KX7710-3B\""), std::string::npos) << r[0].err;
        EXPECT_NE(r[1].out.find("\"model\":\"KX7710-3B2\""), std::string::npos) << r[1].err;
        EXPECT_EQ(r[0].rc + r[1].rc, 0);
    }
    EXPECT_EQ(Contents(shell.Profile()), before);
    // Asked to, a run stores its line.
    EXPECT_EQ(shell.Kobctl("identify --com --save-port --device " + one.Path()).rc, 0);
    EXPECT_NE(Contents(shell.Profile()).find("COM1=" + one.Path()), std::string::npos);
}

TEST(Kobctl, ScopeJsonAndCsvCarryTheSameDoubles) {
    SimProcess box({"--fast"});
    Shell shell;
    const std::string csv = shell.Profile() + ".csv";
    Result r = shell.Kobctl("scope --json --timebase 0 --device " + box.Path() + " --csv " + csv);
    ASSERT_EQ(r.rc, 0) << r.err;
    EXPECT_EQ(r.out.find('\n'), r.out.size() - 1); // one line, one object
    std::vector<double> json = Numbers(r.out, "\"A\":{\"full_scale_V\":5,\"volts\":[");
    std::vector<double> table;
    std::istringstream lines(Contents(csv));
    std::string line;
    std::getline(lines, line);
    EXPECT_EQ(line, "t_s,a_V,b_V");
    while (std::getline(lines, line)) {
        table.push_back(std::strtod(line.c_str() + line.find(',') + 1, nullptr));
    }
    ASSERT_GT(json.size(), 100u);
    EXPECT_EQ(table, json);
    std::remove(csv.c_str());

    r = shell.Kobctl("meter --json --time 1 --buffer 64 --device " + box.Path());
    ASSERT_EQ(r.rc, 0) << r.err;
    EXPECT_EQ(r.out.rfind("{\"box\":\"KX7710-3B2", 0), 0u);
    EXPECT_NE(r.out.find("\"B\":{\"mean_V\":"), std::string::npos);
}

TEST(Kobctl, ToolsAnswerTheirOptionsPlainly) {
    struct Case {
        const char* command; // "kobctl ..." or "kobsim ..."
        int rc;
        const char* out; // expected in standard output
        const char* err; // expected in standard error
    };
    const Case cases[] = {
        {"kobctl scope --png", 2, "", "kobctl scope: --png needs a value\n"},
        {"kobctl identify --device ''", 2, "", "kobctl: --device needs a value\n"},
        {"kobctl meter --speed 3", 2, "", "unknown option --speed"},
        {"kobctl --help", 0, "kobctl meter", ""},
        {"kobctl scope --help", 0, "--trigger none|A|B", ""},
        {"kobctl meter --help", 0, "units of 10 ms", ""},
        {"kobctl --version", 0, "kobctl 1.", ""},
        {"kobctl formula --points 2 -- -X", 0, "1 3.1415926535897931 -3.1415926535897931\n", ""},
        {"kobctl formula ' '", 2, "", "the formula is empty"},
        {"kobctl formula X --from 2 --to 1", 2, "", "--from must not be above --to"},
        {"kobctl formula 'X X'", 1, "", "  X X\n    ^\n"},
        {"kobctl formula \"$(printf 'X\\001')\"", 1, "", "  X\\x01\n   ^\n"},
        {"kobsim --help", 0, "  0x66 meter read", ""},
        {"kobsim --bogus", 2, "", "kobsim: unknown option --bogus"},
        {"kobsim --version 1x", 2, "", "kobsim: --version takes a number"},
        {"kobsim --log /nonexistent/dir/log", 2, "",
         "kobsim: --log: /nonexistent/dir/log cannot be written"},
    };
    Shell shell;
    for (const Case& c : cases) {
        std::string command = c.command;
        command.replace(0, 6, command.rfind("kobctl", 0) == 0 ? KOBCTL_PATH : KOBSIM_PATH);
        Result r = shell.RunTogether({command})[0];
        EXPECT_EQ(r.rc, c.rc) << c.command;
        EXPECT_NE(r.out.find(c.out), std::string::npos) << c.command << ": " << r.out;
        EXPECT_NE(r.err.find(c.err), std::string::npos) << c.command << ": " << r.err;
    }
}

TEST(Kobsim, SigtermEndsALongPacedReply) {
    // A minute of paced garbage after the identity, then SIGTERM.
    SimProcess box({"--line-rate", "--fault", "0x02:garbage:50000"});
    int line = open(box.Path().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(line, 0);
    ASSERT_EQ(write(line, "\x02", 1), 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    box.Signal(SIGTERM);
    EXPECT_TRUE(box.Exited(3000));
    close(line);
}
