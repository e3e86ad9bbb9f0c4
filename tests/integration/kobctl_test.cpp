// kobctl and kobsim as a user meets them: what they refuse, what they print
// for scripts, and that a run touches neither another run's box nor the
// user's own files.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <unistd.h>

#include "platform/profile/profile.h"
#include "support/sim_process.h"

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

// The user's profile of the programs started here.
const std::string kBase = platform::TempDirectory() + "kobctl-test-" + std::to_string(getpid());
const std::string kProfile = kBase + ".ini";

// Shell command lines run all at once, without a terminal; "kobctl" and
// "kobsim" at their start stand for the programs built.
std::vector<Result> RunAll(const std::vector<std::string>& commands) {
    std::string line;
    for (size_t n = 0; n < commands.size(); ++n) {
        std::string c = commands[n];
        c.replace(0, 6, c.rfind("kobctl", 0) == 0 ? KOBCTL_PATH : KOBSIM_PATH);
        const std::string f = kBase + std::to_string(n);
        line += "KOBLABVIEW_INI=" + kProfile + " " + c + " >" + f + ".out 2>" + f +
                ".err </dev/null; echo $? >" + f + ".rc & ";
    }
    EXPECT_EQ(std::system((line + "wait").c_str()), 0);
    std::vector<Result> results;
    for (size_t n = 0; n < commands.size(); ++n) {
        const std::string f = kBase + std::to_string(n);
        results.push_back(
            {std::atoi(Contents(f + ".rc").c_str()), Contents(f + ".out"), Contents(f + ".err")});
        for (const char* ext : {".rc", ".out", ".err"}) {
            std::remove((f + ext).c_str());
        }
    }
    return results;
}

} // namespace

TEST(Kobctl, ConcurrentRunsEachReportTheirOwnBoxAndLeaveTheProfile) {
    SimProcess one({"--model", "1"});
    SimProcess two({"--model", "2"});
    std::ofstream(kProfile) << "[Settings]\nPort=2\n";
    const std::string run = "kobctl identify --com --json --device ";
    for (int pair = 0; pair < 10; ++pair) {
        auto r = RunAll({run + one.Path(), run + two.Path()});
        EXPECT_NE(r[0].out.find("\"model\":\"KX7710-3B\""), std::string::npos) << r[0].err;
        EXPECT_NE(r[1].out.find("\"model\":\"KX7710-3B2\""), std::string::npos) << r[1].err;
    }
    EXPECT_EQ(Contents(kProfile), "[Settings]\nPort=2\n");
    // Asked to, a run stores its line.
    EXPECT_EQ(RunAll({"kobctl identify --com --save-port --device " + one.Path()})[0].rc, 0);
    EXPECT_NE(Contents(kProfile).find("COM1=" + one.Path()), std::string::npos);
    std::remove(kProfile.c_str());
}

TEST(Kobctl, ScopeJsonAndCsvCarryTheSameDoubles) {
    SimProcess box({"--fast"});
    const std::string csv = kBase + ".csv";
    auto r = RunAll({"kobctl scope --json --timebase 0 --device " + box.Path() + " --csv " + csv});
    EXPECT_EQ(r[0].out.find('\n'), r[0].out.size() - 1) << r[0].err; // one object
    std::istringstream lines(Contents(csv));
    std::string line, a;
    std::getline(lines, line);
    EXPECT_EQ(line, "t_s,a_V,b_V");
    while (std::getline(lines, line)) {
        line.erase(0, line.find(',') + 1);
        a += (a.empty() ? "" : ",") + line.substr(0, line.find(','));
    }
    EXPECT_NE(r[0].out.find("\"A\":{\"full_scale_V\":5,\"volts\":[" + a + "]}"), std::string::npos);
    std::remove(csv.c_str());
}

TEST(Kobctl, ToolsAnswerTheirOptionsPlainly) {
    const char* kNoLine = "kobctl: serial device /dev/null (9600 baud, 8N2) cannot be opened";
    struct Case {
        const char* command; // "kobctl ..." or "kobsim ..."
        int rc;
        const char* out; // expected in standard output
        const char* err; // expected in standard error
    };
    const Case cases[] = {
        {"kobctl scope --png", 2, "", "kobctl scope: --png needs a value\n"},
        {"kobctl identify --device ''", 2, "", "kobctl: --device needs a value\n"},
        {"kobctl identify --device /dev/null", 1, "", kNoLine},
        {"kobctl meter --help", 0, "units of 10 ms", ""},
        {"kobctl formula --points 2 -- -X", 0, "1 3.1415926535897931 -3.1415926535897931\n", ""},
        {"kobctl formula ' '", 2, "", "the formula is empty"},
        {"kobctl formula 'X X'", 1, "", "  X X\n    ^\n"},
        {"kobctl formula \"$(printf 'X\\001')\"", 1, "", "  X\\x01\n   ^\n"},
        {"kobsim --help", 0, "  0x66 meter read", ""},
        {"kobsim --log /nonexistent/dir/log", 2, "", "/nonexistent/dir/log cannot be written"},
    };
    for (const Case& c : cases) {
        Result r = RunAll({c.command})[0];
        EXPECT_EQ(r.rc, c.rc) << c.command;
        EXPECT_NE(r.out.find(c.out), std::string::npos) << c.command << ": " << r.out;
        EXPECT_NE(r.err.find(c.err), std::string::npos) << c.command << ": " << r.err;
    }
}
