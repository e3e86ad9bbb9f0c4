// kobpanel's menu on a terminal: what each typed line asks of the host.
#include <gtest/gtest.h>

#include <cstdio>

#include "framework/wstr.h"
#include "platform/window/text_menu.h"

namespace {

struct Host : platform::MenuHandler {
    void OnOpenWindow(uint32_t id) override { calls.push_back("open " + std::to_string(id)); }
    bool OnLoadWorkspace(const std::u16string& path) override {
        calls.push_back("load " + Narrow(path));
        return true;
    }
    bool OnSaveWorkspace(const std::u16string& path) override {
        calls.push_back("save " + Narrow(path));
        return false;
    }
    std::vector<std::u16string> OpenWindowNames() override {
        calls.push_back("list");
        return {u"11  Digital I/O"};
    }
    std::vector<std::string> calls;
};

} // namespace

TEST(TextMenu, TypedLinesOpenWindowsLoadSaveListAndQuit) {
    Host host;
    std::FILE* out = std::tmpfile();
    ASSERT_NE(out, nullptr);
    platform::TextMenu menu(u"kobpanel", {{10011, u"Digital I/O"}, {10014, u"Relays"}}, host, out);
    struct Step {
        const char* typed;
        bool goesOn;
        std::vector<std::string> calls; // all so far
    } steps[] = {
        {" 2 ", true, {"open 10014"}},
        {"3", true, {"open 10014"}}, // no third entry
        {"0", true, {"open 10014"}},
        {"l", true, {"open 10014"}}, // asks for the file
        {"a b.kws", true, {"open 10014", "load a b.kws"}},
        {"s /tmp/x.kws", true, {"open 10014", "load a b.kws", "save /tmp/x.kws"}},
        {"s", true, {"open 10014", "load a b.kws", "save /tmp/x.kws"}},
        {"", true, {"open 10014", "load a b.kws", "save /tmp/x.kws"}}, // no name: nothing
        {"w", true, {"open 10014", "load a b.kws", "save /tmp/x.kws", "list"}},
        {"quit", true, {"open 10014", "load a b.kws", "save /tmp/x.kws", "list"}},
        {"q", false, {"open 10014", "load a b.kws", "save /tmp/x.kws", "list"}},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.typed);
        EXPECT_EQ(menu.Take(s.typed), s.goesOn);
        EXPECT_EQ(host.calls, s.calls);
    }
    std::fclose(out);
}
